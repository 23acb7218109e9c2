#include "RunCleanup.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwctype>

#include "PatchApplier.h"
#include "base/UniqueHandle.h"
#include "transactions/SystemStateManager.h"

using OstrelInstallEngine::UniqueFindHandle;

namespace {

void DeleteAtRestart(const std::wstring& path)
{
    MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

std::wstring UpperCase(std::wstring text)
{
    for (wchar_t& character : text) {
        character = static_cast<wchar_t>(towupper(character));
    }
    return text;
}

std::wstring TempPath()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

void RemoveTreeNowOrAtRestart(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (find.IsValid()) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeNowOrAtRestart(path);
                continue;
            }
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(path.c_str())) {
                DeleteAtRestart(path);
            }
        } while (FindNextFileW(find.Get(), &entry));
    }
    find.Close();
    if (!RemoveDirectoryW(folder.c_str())) {
        DeleteAtRestart(folder);
    }
}

}  // namespace

std::wstring GetExecutablePath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(path, length);
}

bool IsInsideTempPath(const std::wstring& folder, const std::wstring& tempPath)
{
    return !tempPath.empty() && UpperCase(folder).find(UpperCase(tempPath)) != std::wstring::npos;
}

void ScheduleRunningCopyRemoval(bool includeExecutable)
{
    const std::wstring executable = GetExecutablePath();
    if (executable.empty()) {
        return;
    }
    std::wstring folder = executable;
    PathRemoveFileSpecW(&folder[0]);
    folder.resize(wcslen(folder.c_str()));
    // The temp directory itself is never marked, only a folder inside it.
    const std::wstring tempPath = TempPath();
    const bool isBootstrapCopy =
        IsInsideTempPath(folder + L"\\", tempPath) && folder.size() + 1 > tempPath.size();
    if (includeExecutable || isBootstrapCopy) {
        DeleteAtRestart(executable);
    }
    if (isBootstrapCopy) {
        DeleteAtRestart(folder);
    }
}

void RemoveEngineTempFolder()
{
    PatchApplier* applier = PatchApplier::Instance();
    if (applier != nullptr && !applier->GetEngineTempFolder().empty()) {
        RemoveTreeNowOrAtRestart(applier->GetEngineTempFolder());
    }
    // A killed run's folder holds only its temp files (the backups of files
    // it replaced lie beside those files, not in it): nothing of value goes.
    for (const std::wstring& folder :
         OstrelInstallEngine::SystemStateManager::FindTempFoldersOfEndedRuns()) {
        RemoveTreeNowOrAtRestart(folder);
    }
}
