#include "RunCleanup.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwctype>

#include "PatchApplier.h"
#include "base/Exception.h"
#include "base/Platform.h"
#include "transactions/RunTempFolder.h"

namespace {

std::wstring UpperCase(std::wstring text)
{
    for (wchar_t& character : text) {
        character = static_cast<wchar_t>(towupper(character));
    }
    return text;
}

}  // namespace

bool IsInsideTempPath(const std::wstring& folder, const std::wstring& tempPath)
{
    return !tempPath.empty() && UpperCase(folder).find(UpperCase(tempPath)) != std::wstring::npos;
}

void ScheduleInPlaceCopyRemoval()
{
    std::wstring executable;
    try {
        executable = OstrelInstallEngine::GetExecutableFilePath();
    } catch (const OstrelInstallEngine::Exception&) {
        return;
    }
    const std::wstring folder = executable.substr(0, executable.rfind(L'\\') + 1);
    std::wstring tempPath;
    DWORD error = ERROR_SUCCESS;
    if (!OstrelInstallEngine::TryGetTempPath(&tempPath, &error) ||
        !IsInsideTempPath(folder, tempPath)) {
        MoveFileExW(executable.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

void RemoveRunTempFolders()
{
    PatchApplier* applier = PatchApplier::Instance();
    if (applier != nullptr) {
        applier->RemoveEngineTempFolder();
    }
    OstrelInstallEngine::RunTempFolder::RemoveFoldersOfEndedRuns();
}
