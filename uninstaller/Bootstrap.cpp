#include "Bootstrap.h"

#include <windows.h>
#include <strsafe.h>

#include <cstdio>
#include <vector>

#include "LauncherProcess.h"
#include "QuietMode.h"
#include "RunCleanup.h"
#include "StandardHandles.h"
#include "base/Exception.h"
#include "base/Platform.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"
#include "transactions/RunTempFolder.h"

namespace {

// A quiet start may have nobody at the screen (a deployment tool, SYSTEM):
// its failures are lines for the debug channel, and its exit code is that of
// an ERROR line with a text.
const int kQuietFailureExitCode = 2;
bool g_quiet = false;

std::wstring g_tempFolder;
// "\<name>" of the copy in the temp folder.
std::wstring g_copyName;

void ShowError(const std::wstring& text)
{
    if (g_quiet) {
        OstrelInstallEngine::PrintFormatted(stdout, L"ERROR\t%s\n", EscapeProtocolText(text).c_str());
    } else {
        MessageBoxW(nullptr, text.c_str(), L"Uninstall Error", MB_ICONEXCLAMATION);
    }
}

int FailureExitCode()
{
    return g_quiet ? kQuietFailureExitCode : 1;
}

// Neither shlwapi nor COM before the copy runs: under Wine either brings in the
// window system, 20 to 30 ms of every uninstall's start.
bool StartsAtRoot(const std::wstring& path)
{
    return !path.empty() && (path[0] == L'\\' || (path.size() > 1 && path[1] == L':'));
}

// "C:\Games\Uninstall.exe": "C:\Games\" and "Uninstall.exe".
std::wstring FolderWithBackslash(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring FileNameOf(const std::wstring& path)
{
    return path.substr(path.rfind(L'\\') + 1);
}

bool IsUsableTempFolder(const std::wstring& folder)
{
    const size_t firstBackslash = folder.find(L'\\');
    return StartsAtRoot(folder) &&
           firstBackslash != std::wstring::npos && firstBackslash != folder.rfind(L'\\') &&
           folder.compare(0, 2, L"\\\\") != 0;
}

int StartCopy(const std::wstring& copyPath, bool quiet)
{
    // The quotes keep blanks of the path out of the child's argument string.
    std::wstring commandLine = L"\"" + copyPath + L"\"" +
                               (quiet ? L" bootstrapped-quiet" : L" bootstrapped");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetSavedStandardHandles().input;
    startup.hStdOutput = GetSavedStandardHandles().output;
    startup.hStdError = GetSavedStandardHandles().error;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(copyPath.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        ShowError(L"Could not launch uninstaller: " + copyPath);
        return FailureExitCode();
    }
    const OstrelInstallEngine::UniqueHandle child(process.hProcess), mainThread(process.hThread);
    // A deployment tool waits for this process and trusts its exit code.
    return quiet ? WaitForCopyOutcome(mainThread.Get()) : 0;
}

// The temp path, or an error box: a path of MAX_PATH or more would leave the
// system's buffer unfilled.
bool GetTempPathOrShowError(std::wstring* tempPath)
{
    DWORD error = ERROR_SUCCESS;
    if (!OstrelInstallEngine::TryGetTempPath(tempPath, &error)) {
        ShowError(L"Could not get temp folder path.");
        return false;
    }
    return true;
}

}  // namespace

int InitTempDir()
{
    std::wstring tempPath;
    if (!GetTempPathOrShowError(&tempPath)) {
        return 1;
    }
    try {
        g_tempFolder = tempPath + OstrelInstallEngine::MakeGuidString();
    } catch (const OstrelInstallEngine::Exception&) {
        ShowError(L"Could not create temp folder: " + tempPath);
        return 1;
    }
    if (g_tempFolder.size() >= MAX_PATH) {
        ShowError(L"InitializetempDir: StringCchPrintf failed");
        return 1;
    }
    if (!IsUsableTempFolder(g_tempFolder)) {
        ShowError(L"Bad formatting on generated Temp Folder: " + g_tempFolder);
        return 1;
    }
    if (!OstrelInstallEngine::RunTempFolder::CreatePrivateFolder(g_tempFolder)) {
        ShowError(L"Could not create temp folder: " + g_tempFolder);
        return 1;
    }
    return 0;
}

int CopyCrashReporterFiles(std::wstring sourceDirectory, std::wstring targetDirectory)
{
    for (const wchar_t* name : CrashReporterFileNames()) {
        if (!CopyFileW((sourceDirectory + name).c_str(), (targetDirectory + name).c_str(), FALSE)) {
            return 1;
        }
    }
    return 0;
}

// The copy goes before its folder, so that the folder is empty when its turn
// comes at the restart.
void ScheduleDeleteOnReboot()
{
    std::vector<std::wstring> names(CrashReporterFileNames().begin(), CrashReporterFileNames().end());
    names.push_back(g_copyName);
    OstrelInstallEngine::RunTempFolder::ScheduleRemovalAtRestart(g_tempFolder, names);
}

const std::vector<const wchar_t*>& CrashReporterFileNames()
{
    static const std::vector<const wchar_t*> names = {L"\\BsSndRpt.exe", L"\\BugSplat.dll",
                                                      L"\\BugSplatRC.dll", L"\\DBGHELP.dll"};
    return names;
}

namespace {

// Steps up to the copy's start; false after an error box (or line).
bool PrepareCopy(std::wstring* copyPathOut)
{
    wchar_t modulePath[MAX_PATH];
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    const std::wstring moduleDirectory = FolderWithBackslash(modulePath);
    const std::wstring moduleName = FileNameOf(modulePath);

    std::wstring tempPath;
    if (!GetTempPathOrShowError(&tempPath)) {
        return false;
    }
    // A copy started from the temp folder must never bootstrap again.
    if (IsInsideTempPath(moduleDirectory, tempPath)) {
        ShowError(std::wstring(L"Uninstall executing from temp folder, bailing to avoid loop: ") +
                  GetCommandLineW());
        return false;
    }
    if (InitTempDir() != 0) {
        ShowError(L"Uninstall bootstrap, InitTempDir error.");
        return false;
    }
    wchar_t copyPath[MAX_PATH];
    if (FAILED(StringCchPrintfW(copyPath, MAX_PATH, L"%s\\%s", g_tempFolder.c_str(),
                                moduleName.c_str()))) {
        ShowError(L"Uninstall bootstrap, formatting error.");
        return false;
    }
    g_copyName = L"\\" + moduleName;
    // A failed copy shows as a failed launch below.
    CopyFileW(modulePath, copyPath, FALSE);
    if (CopyCrashReporterFiles(moduleDirectory, g_tempFolder) != 0) {
        ShowError(L"Uninstall bootstrap, Copying Problem.");
        return false;
    }
    ScheduleDeleteOnReboot();
    *copyPathOut = copyPath;
    return true;
}

}  // namespace

int Bootstrap(bool quiet)
{
    g_quiet = quiet;
    std::wstring copyPath;
    return PrepareCopy(&copyPath) ? StartCopy(copyPath, quiet) : FailureExitCode();
}
