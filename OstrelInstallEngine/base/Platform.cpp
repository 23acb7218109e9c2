#include "base/Platform.h"

#include "base/Check.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

namespace {

// The longest path the system's wide functions take.
const DWORD kLongestPath = 32768;

// Read access to a file's or folder's attributes, through links, never
// standing in anyone's way.
UniqueFileHandle OpenForAttributes(const std::wstring& path)
{
    return UniqueFileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
}

}  // namespace

bool TryGetTempPath(std::wstring* path, DWORD* error)
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    if (length == 0) {
        *error = GetLastError();
        return false;
    }
    // A larger result is the size that the path needs.
    if (length >= MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    path->assign(buffer, length);
    return true;
}

std::wstring GetExecutableFilePath()
{
    // The system cuts the path to the buffer without failing, so the buffer
    // grows until the answer is shorter than it.
    std::wstring path(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], size);
        OSTREL_CHECK_LAST_ERROR(length != 0, 10392);
        if (length < size) {
            path.resize(length);
            return path;
        }
        OSTREL_CHECK(size < kLongestPath, 10392);
        path.resize(size * 2);
    }
}

std::wstring GetFinalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), 0);
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

DWORD GetAttributes(HANDLE handle)
{
    FILE_BASIC_INFO basic = {};
    return GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))
               ? basic.FileAttributes
               : INVALID_FILE_ATTRIBUTES;
}

bool GetFinalFolderPath(const std::wstring& folder, std::wstring* finalPath)
{
    const UniqueFileHandle opened = OpenForAttributes(folder);
    if (!opened.IsValid()) {
        return false;
    }
    *finalPath = GetFinalPath(opened.Get());
    return true;
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
}

bool GetFileIdentity(const std::wstring& path, FileIdentity* identity)
{
    const UniqueFileHandle file = OpenForAttributes(path);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &information)) {
        return false;
    }
    *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                 information.nFileIndexLow};
    return true;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

bool IsEntryOf(HANDLE handle, const std::wstring& folderPath, const std::wstring& name)
{
    const std::wstring expected = JoinPath(folderPath, name);
    const std::wstring actual = GetFinalPath(handle);
    return !folderPath.empty() &&
           CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

std::string ToUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

std::wstring FromUtf8(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

}  // namespace OstrelInstallEngine
