#include "base/SystemPaths.h"

namespace OstrelInstallEngine {

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

}  // namespace OstrelInstallEngine
