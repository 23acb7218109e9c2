// Runs the uninstaller (or a tool around it) as a real process chain under
// Wine and collects what a person would have seen: the chain's output, the
// message boxes (read and answered) and the exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

std::wstring UninstallerExe();          // the shipped package
std::wstring ScenarioUninstallerExe();  // the test script's package
std::wstring DebugViewExe();
std::wstring Quoted(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);

// Sub-folders of a folder (names only).
std::vector<std::wstring> SubFolders(const std::wstring& folder);
std::vector<std::wstring> FileNames(const std::wstring& folder);

// Paths marked for deletion at restart (PendingFileRenameOperations, without
// the "\??\" prefix) that lie under the folder, in registration order.
std::vector<std::wstring> PendingDeletionsUnder(const std::wstring& folder);
// Takes them out again, so that the test prefix does not collect them.
void ForgetPendingDeletionsUnder(const std::wstring& folder);

}  // namespace OstrelTest
