#include "streams/FileStream.h"

#include <algorithm>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

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
        ThrowWin32Failure(FailureSite::kFileOpen, GetLastError(), path);
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
        ThrowWin32Failure(FailureSite::kFileMeasure, GetLastError(), m_fileName);
    }
    OSTREL_CHECK(high == 0, 10011);
    m_streamSize = low;
    m_position = 0;
    SetPosition(0);
}

void FileStream::Close()
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10325);
    if (!m_fileHandle.Close()) {
        ThrowWin32Failure(FailureSite::kFileClose, GetLastError(), m_fileName);
    }
    m_fileName.clear();
}

uint32_t FileStream::Read(void* buffer, uint32_t size)
{
    OSTREL_CHECK(m_fileHandle != INVALID_HANDLE_VALUE, 10338);
    const uint32_t expectedSize = std::min(size, m_streamSize - std::min(m_position, m_streamSize));
    DWORD readSize = 0;
    if (!ReadFile(m_fileHandle.Get(), buffer, size, &readSize, nullptr)) {
        ThrowWin32Failure(FailureSite::kFileRead, GetLastError(), m_fileName);
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
        ThrowWin32Failure(FailureSite::kFileSeek, GetLastError(), m_fileName);
    }
    OSTREL_CHECK(setPos == pos, 10005);
    m_position = pos;
}

}  // namespace OstrelInstallEngine
