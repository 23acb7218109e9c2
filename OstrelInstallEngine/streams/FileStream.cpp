#include "streams/FileStream.h"

#include <algorithm>

#include "base/Check.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

namespace {

const int kOpenFailedSummaryId = 1000010010;
const int kOpenFailedMessageId = 1000010011;
const int kReadFailedSummaryId = 1000010009;
const int kReadFailedMessageId = 1000010004;

}  // namespace

FileStream::~FileStream()
{
    if (m_fileHandle.IsValid()) {
        try {
            FileStream::Close();
        } catch (const Exception&) {
        }
    }
}

void FileStream::Open(const std::wstring& path)
{
    OSTREL_CHECK(m_fileHandle == INVALID_HANDLE_VALUE, 10326);
    UniqueFileHandle handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!handle.IsValid()) {
        const DWORD error = GetLastError();
        throw Win32Exception(Localizer::Text(kOpenFailedMessageId, path),
                             Localizer::Text(kOpenFailedSummaryId, path),
                             FormatWide(L"Error opening file \"%s\"", path.c_str()), 10008,
                             L"CreateFile", error);
    }
    m_fileHandle = std::move(handle);
    m_fileName = path;
    try {
        MeasureSize();
    } catch (const Exception&) {
        m_fileHandle.Close();
        m_fileName.clear();
        throw;
    }
}

void FileStream::MeasureSize()
{
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(m_fileHandle.Get(), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        ThrowFileError(L"SetFilePointer", L"Error setting file pointer in file \"%s\"", 10009,
                       GetLastError());
    }
    OSTREL_CHECK(high == 0, 10011);
    m_streamSize = low;
    m_position = 0;
    SetPosition(0);
}

void FileStream::ThrowFileError(const wchar_t* functionName, const wchar_t* englishFormat,
                                int code, DWORD error) const
{
    throw Win32Exception(Localizer::Text(kReadFailedMessageId, m_fileName),
                         Localizer::Text(kReadFailedSummaryId, m_fileName),
                         FormatWide(englishFormat, m_fileName.c_str()), code, functionName, error);
}

void FileStream::Close()
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10325);
    if (!m_fileHandle.Close()) {
        ThrowFileError(L"CloseHandle", L"Error closing file \"%s\"", 10007, GetLastError());
    }
    m_fileName.clear();
}

uint32_t FileStream::Read(void* buffer, uint32_t size)
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10338);
    const uint32_t expectedSize = std::min(size, m_streamSize - std::min(m_position, m_streamSize));
    DWORD readSize = 0;
    if (!ReadFile(m_fileHandle.Get(), buffer, size, &readSize, nullptr)) {
        ThrowFileError(L"ReadFile", L"Error reading file \"%s\"", 10006, GetLastError());
    }
    OSTREL_CHECK(readSize == expectedSize, 10327);
    m_position += expectedSize;
    return readSize;
}

bool FileStream::AtEof()
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10327);
    return m_position >= m_streamSize;
}

uint32_t FileStream::GetSize()
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10328);
    return m_streamSize;
}

uint32_t FileStream::GetPosition()
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10329);
    return m_position;
}

void FileStream::SetPosition(uint32_t pos)
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10330);
    OSTREL_CHECK(pos <= m_streamSize, 10331);
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD setPos = SetFilePointer(m_fileHandle.Get(), static_cast<LONG>(pos), &high,
                                        FILE_BEGIN);
    if (setPos == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        ThrowFileError(L"SetFilePointer", L"Error setting file pointer in file \"%s\"", 10221,
                       GetLastError());
    }
    OSTREL_CHECK(setPos == pos, 10005);
    m_position = pos;
}

}  // namespace OstrelInstallEngine
