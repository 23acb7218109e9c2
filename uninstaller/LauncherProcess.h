// The process that started a quiet copy and waits for its outcome: a
// deployment tool waits for the process it started and trusts its exit code,
// so the first process of a quiet uninstall lives until the uninstall is over
// and ends with the copy's exit code. It holds its executable and the crash
// reporter's library in the game folder until then: the copy defers their
// removal, hands the outcome over by ending its main thread with the exit
// code (the launcher waits on that thread), and removes them once the
// launcher has ended.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/UniqueHandle.h"

class LauncherProcess {
public:
    // The process that started this one, when it is a launcher of this
    // program: this executable runs from inside the temp path (a bootstrap
    // copy), and the parent is older than this process and runs a program
    // with the same name and the same bytes. Null otherwise.
    static std::unique_ptr<LauncherProcess> Find();

    // The launcher's executable and the crash reporter's files beside it.
    const std::vector<std::wstring>& HeldFiles() const { return m_heldFiles; }

    // Ends the calling (main) thread with the exit code, which the launcher
    // reads; another thread, which takes the launcher over, waits for its
    // end, carries out the removals that waited for it, and ends the process
    // with the same code.
    [[noreturn]] static void HandOff(std::unique_ptr<LauncherProcess> launcher, int exitCode);

private:
    LauncherProcess(OstrelInstallEngine::UniqueHandle process, std::wstring executable);
    static DWORD WINAPI FinishAfterLauncher(void* launcher);

    OstrelInstallEngine::UniqueHandle m_process;
    std::vector<std::wstring> m_heldFiles;
    int m_exitCode = 0;
};

// The bootstrap's side: waits for the copy's main thread and returns its exit
// code; 2 when it cannot be read.
int WaitForCopyOutcome(HANDLE copyMainThread);
