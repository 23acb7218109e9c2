// Runs the uninstaller (or a tool around it) as a real process chain under
// Wine and collects what a person would have seen: the chain's output, the
// message boxes (read and answered) and the exit code. Also reads what a
// built uninstaller carries: its resources and the archive among them.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestConfig.h"
#include "TestSupport.h"
#include "base/UniqueHandle.h"

namespace OstrelTest {

struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
};

struct ProcessRunOptions {
    // TMP and TEMP of the chain; empty keeps the test's own.
    std::wstring tempPath;
    // OSTREL_TEST_SCENARIO of the chain (the test uninstall script's case).
    std::string scenario = "success";
    // false: the started process's children are ended as soon as it ends.
    bool waitForChildren = true;
};

struct ProcessRunResult {
    DWORD exitCode = STILL_ACTIVE;
    std::string output;
    std::vector<MessageBoxSeen> boxes;
    // A process started by the started one was seen running.
    bool childSeen = false;
    // A window other than a message box appeared; the chain was ended then.
    bool dialogSeen = false;
};

ProcessRunResult RunProcessChain(const std::wstring& commandLine, const ProcessRunOptions& options);
// The visible top-level windows of these processes.
std::vector<HWND> VisibleWindowsOf(const std::set<DWORD>& processIds);

// A quiet copy of the scenario uninstaller that holds the machine-wide install
// lock from its construction until Release, whatever the load of the machine.
class InstallLockHolder {
public:
    InstallLockHolder();
    ~InstallLockHolder();
    InstallLockHolder(const InstallLockHolder&) = delete;
    InstallLockHolder& operator=(const InstallLockHolder&) = delete;

    // Lets the holder finish; its exit code.
    DWORD Release();

private:
    TempFolder m_gateFolder;
    OstrelInstallEngine::UniqueHandle m_process;
};

// The shipped package's uninstaller, the test script's one, and the viewer.
inline std::wstring UninstallerExe() { return HostPath(OSTREL_TEST_UNINSTALLER_EXE); }
inline std::wstring ScenarioUninstallerExe() { return HostPath(OSTREL_TEST_SCENARIO_UNINSTALLER_EXE); }
inline std::wstring DebugViewExe() { return HostPath(OSTREL_TEST_DEBUG_VIEW_EXE); }
inline std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }
inline std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// The crash reporter's files that the bootstrap copies beside the executable.
const std::vector<std::wstring>& CrashReporterFiles();
// Copies a built uninstaller and those of the files beside it into the folder;
// returns the copy's path. Tests run copies: a copy in dialog mode marks
// itself for deletion at restart, and a new Wine session is a restart.
std::wstring PlaceUninstaller(const std::wstring& folder, const std::wstring& executable,
                              const std::vector<std::wstring>& files = CrashReporterFiles());

// Sub-folders of a folder (names only).
std::vector<std::wstring> SubFolders(const std::wstring& folder);
// Files of a folder (names only, sorted).
std::vector<std::wstring> FileNames(const std::wstring& folder);

// Every resource of a program by "type/name/language" ("#10/#103/1033"), with its bytes.
std::map<std::wstring, std::string> ProgramResources(const std::wstring& path);
// The entries of a zip held in memory, name -> contents, each read to its end
// and its CRC checked; the compression methods met go into methods.
std::map<std::string, std::string> ZipEntries(const std::string& archive, std::vector<int>* methods = nullptr);

}  // namespace OstrelTest
