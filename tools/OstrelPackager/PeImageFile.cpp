#include "PeImageFile.h"

#include <imagehlp.h>

#include <cstddef>

#include "PackagerError.h"
#include "base/Util.h"

namespace OstrelPackagerTool {

using namespace OstrelInstallEngine;

namespace {

[[noreturn]] void ThrowFailure(int code, const std::wstring& path, const wchar_t* what)
{
    throw PackagerError(code, path,
                        std::wstring(what) + L": " + GetWin32ErrorTextEnglish(GetLastError()));
}

}  // namespace

PeImageFile::PeImageFile(const std::wstring& path, bool writable)
    : m_path(path),
      m_file(CreateFileW(path.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
{
    if (!m_file.IsValid()) {
        ThrowFailure(writable ? pecWriteFailed : pecNotAnUninstaller, path,
                     L"cannot open the program");
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(m_file.Get(), &size);
    m_size = size.QuadPart;
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    WORD magic = 0;
    const LONGLONG optionalHeader = sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (!ReadAt(0, &dos, sizeof(dos)) || !ReadAt(dos.e_lfanew, &signature, sizeof(signature)) ||
        signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(dos.e_lfanew + sizeof(DWORD), &header, sizeof(header)) ||
        !ReadAt(dos.e_lfanew + optionalHeader, &magic, sizeof(magic))) {
        throw PackagerError(pecNotAnUninstaller, path, L"not a Windows program: no PE header");
    }
    const LONGLONG start = dos.e_lfanew + optionalHeader;
    const bool is64 = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    m_checksumOffset = start + (is64 ? offsetof(IMAGE_OPTIONAL_HEADER64, CheckSum)
                                     : offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum));
    const LONGLONG directoryCountOffset =
        start + (is64 ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                      : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes));
    const LONGLONG entryOffset = directoryCountOffset + sizeof(DWORD) +
                                 IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    DWORD directoryCount = 0;
    if (ReadAt(directoryCountOffset, &directoryCount, sizeof(directoryCount)) &&
        directoryCount > IMAGE_DIRECTORY_ENTRY_SECURITY &&
        entryOffset + static_cast<LONGLONG>(sizeof(IMAGE_DATA_DIRECTORY)) <=
            start + header.SizeOfOptionalHeader &&
        ReadAt(entryOffset, &m_certificateTable, sizeof(m_certificateTable))) {
        m_certificateEntryOffset = entryOffset;
    }
}

void PeImageFile::CheckSignatureIsDroppable() const
{
    const LONGLONG tableEnd =
        static_cast<LONGLONG>(m_certificateTable.VirtualAddress) + m_certificateTable.Size;
    if (IsSigned() && tableEnd != m_size) {
        throw PackagerError(
            pecNotAnUninstaller, m_path,
            L"its signature is not at the end of the file, where signing tools put it");
    }
}

void PeImageFile::DropSignature()
{
    if (!IsSigned()) {
        return;
    }
    CheckSignatureIsDroppable();
    const LONGLONG tableStart = m_certificateTable.VirtualAddress;
    m_certificateTable = {};
    WriteAt(m_certificateEntryOffset, &m_certificateTable, sizeof(m_certificateTable));
    LARGE_INTEGER end = {};
    end.QuadPart = tableStart;
    if (!SetFilePointerEx(m_file.Get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.Get())) {
        ThrowFailure(pecWriteFailed, m_path, L"cannot cut the signature off");
    }
    m_size = tableStart;
}

void PeImageFile::UpdateChecksum(const std::wstring& path)
{
    DWORD headerSum = 0;
    DWORD checksum = 0;
    if (MapFileAndCheckSumW(path.c_str(), &headerSum, &checksum) != CHECKSUM_SUCCESS) {
        ThrowFailure(pecWriteFailed, path, L"cannot compute the checksum");
    }
    // The sum leaves out its own field, so writing it changes nothing else.
    PeImageFile image(path, true);
    image.WriteAt(image.m_checksumOffset, &checksum, sizeof(checksum));
}

bool PeImageFile::ReadAt(LONGLONG offset, void* buffer, DWORD count) const
{
    LARGE_INTEGER at = {};
    at.QuadPart = offset;
    DWORD read = 0;
    return offset >= 0 && SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) &&
           ReadFile(m_file.Get(), buffer, count, &read, nullptr) && read == count;
}

void PeImageFile::WriteAt(LONGLONG offset, const void* buffer, DWORD count)
{
    LARGE_INTEGER at = {};
    at.QuadPart = offset;
    DWORD written = 0;
    if (!SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) ||
        !WriteFile(m_file.Get(), buffer, count, &written, nullptr) || written != count) {
        ThrowFailure(pecWriteFailed, m_path, L"cannot write the program's header");
    }
}

}  // namespace OstrelPackagerTool
