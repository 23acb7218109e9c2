// The machine-wide install lock: the named mutex
// "Global\OstrelInstallEngineMutex", held while a package is open so that two
// installs or uninstalls of any product on this engine never run at once.
// A mutex belongs to the thread that acquired it, while the script moves
// between threads, so one dedicated lock thread does every wait and release;
// callers hand it requests through two manual-reset events.
#pragma once

#include <windows.h>

#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

class InstallLock {
public:
    enum LockRequest { lrtNone = 0, lrtLock = 1, lrtTryLock = 2, lrtUnlock = 3, lrtExit = 4 };

    InstallLock() = default;
    // Stops the lock thread if it still runs (see Shutdown).
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    // Creates the mutex, the two events and the lock thread (10381, 10370,
    // 10371, 10372). The lock is not taken yet.
    void Create();
    // Takes the lock. Without waiting, a lock held by another process fails
    // with the user-facing "Another install or uninstall is in progress." (10367).
    // A mutex abandoned by a holder that died counts as taken.
    void Acquire(bool wait);
    // Gives the lock back (10369).
    void Release();
    // Tells the lock thread to end, waits up to a second (then terminates it)
    // and closes every handle. Never throws.
    void Shutdown();

    bool HasThread() const { return m_lockThreadHandle.IsValid(); }
    // Whether this object took the lock and has not given it back.
    bool IsHeld() const { return m_held; }
    // The posted wait result of one request, made on any thread.
    DWORD PerformLockOperation(LockRequest request);

private:
    static DWORD WINAPI LockThreadProc(void* parameter);
    DWORD RunLockThread();
    void Perform(LockRequest request);
    void WaitForLockThread(int failedWaitCode, int exitCodeFailedCode, int threadEndedCode);
    [[noreturn]] void ThrowThreadEnded(int exitCodeFailedCode, int threadEndedCode);

    UniqueHandle m_mutexHandle;
    UniqueHandle m_lockThreadHandle;
    UniqueHandle m_lockRequestEventHandle;
    UniqueHandle m_lockResultEventHandle;
    volatile LONG m_lockRequest = lrtNone;
    volatile LONG m_lockResult = -1;
    volatile LONG m_lockError = -1;
    bool m_held = false;
};

}  // namespace OstrelInstallEngine
