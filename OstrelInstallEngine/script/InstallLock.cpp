#include "script/InstallLock.h"

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/GenericException.h"
#include "base/Localizer.h"

namespace OstrelInstallEngine {

namespace {

const wchar_t kMutexName[] = L"Global\\OstrelInstallEngineMutex";
const SIZE_T kLockThreadStackSize = 1024;
const DWORD kShutdownWaitMilliseconds = 1000;

}  // namespace

InstallLock::~InstallLock()
{
    Shutdown();
}

void InstallLock::Create()
{
    m_lockRequest = lrtNone;
    m_lockResult = -1;
    m_lockError = -1;
    m_mutexHandle.Set(CreateMutexW(nullptr, FALSE, kMutexName));
    OSTREL_CHECK_LAST_ERROR(m_mutexHandle != NULL, 10381);
    m_lockRequestEventHandle.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OSTREL_CHECK_LAST_ERROR(m_lockRequestEventHandle != NULL, 10370);
    m_lockResultEventHandle.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OSTREL_CHECK_LAST_ERROR(m_lockResultEventHandle != NULL, 10371);
    m_lockThreadHandle.Set(
        CreateThread(nullptr, kLockThreadStackSize, &LockThreadProc, this, 0, nullptr));
    OSTREL_CHECK_LAST_ERROR(m_lockThreadHandle != NULL, 10372);
}

DWORD WINAPI InstallLock::LockThreadProc(void* parameter)
{
    return static_cast<InstallLock*>(parameter)->RunLockThread();
}

DWORD InstallLock::RunLockThread()
{
    m_lockResult = 0;
    if (!SetEvent(m_lockResultEventHandle.Get())) {
        return GetLastError();
    }
    for (;;) {
        if (m_lockRequest == lrtExit) {
            return 0;
        }
        if (WaitForSingleObject(m_lockRequestEventHandle.Get(), INFINITE) == WAIT_FAILED) {
            return GetLastError();
        }
        m_lockResult = 0;
        m_lockError = 0;
        Perform(static_cast<LockRequest>(m_lockRequest));
        if (!ResetEvent(m_lockRequestEventHandle.Get()) ||
            !SetEvent(m_lockResultEventHandle.Get())) {
            return GetLastError();
        }
    }
}

void InstallLock::Perform(LockRequest request)
{
    switch (request) {
    case lrtLock:
    case lrtTryLock: {
        const DWORD result =
            WaitForSingleObject(m_mutexHandle.Get(), request == lrtLock ? INFINITE : 0);
        m_lockResult = static_cast<LONG>(result);
        if (result == WAIT_FAILED) {
            m_lockError = static_cast<LONG>(GetLastError());
        }
        break;
    }
    case lrtUnlock:
        if (!ReleaseMutex(m_mutexHandle.Get())) {
            m_lockResult = static_cast<LONG>(WAIT_FAILED);
            m_lockError = static_cast<LONG>(GetLastError());
        }
        break;
    case lrtExit:
        break;
    default:
        m_lockResult = -1;
        m_lockError = -1;
        break;
    }
}

void InstallLock::ThrowThreadEnded(int exitCodeFailedCode, int threadEndedCode)
{
    DWORD exitCode = 0;
    OSTREL_CHECK_LAST_ERROR_AS(::GetExitCodeThread(m_lockThreadHandle.Get(), &exitCode),
                               "::GetExitCodeThread(m_lockThreadHandle, &exitCode)",
                               exitCodeFailedCode);
    OSTREL_FAIL_ERROR(threadEndedCode, exitCode);
}

void InstallLock::WaitForLockThread(int failedWaitCode, int exitCodeFailedCode,
                                    int threadEndedCode)
{
    const HANDLE handles[] = {m_lockResultEventHandle.Get(), m_lockThreadHandle.Get()};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    OSTREL_CHECK_LAST_ERROR(result != WAIT_FAILED, failedWaitCode);
    if (result == WAIT_OBJECT_0 + 1) {
        ThrowThreadEnded(exitCodeFailedCode, threadEndedCode);
    }
}

DWORD InstallLock::PerformLockOperation(LockRequest request)
{
    WaitForLockThread(10373, 10374, 10375);
    OSTREL_CHECK_LAST_ERROR_AS(::ResetEvent(m_lockResultEventHandle.Get()),
                               "::ResetEvent(m_lockResultEventHandle)", 10376);
    m_lockRequest = request;
    OSTREL_CHECK_LAST_ERROR_AS(::SetEvent(m_lockRequestEventHandle.Get()),
                               "::SetEvent(m_lockRequestEventHandle)", 10377);
    const HANDLE handles[] = {m_lockResultEventHandle.Get(), m_lockThreadHandle.Get()};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    OSTREL_CHECK_LAST_ERROR(result != WAIT_FAILED, 10378);
    const DWORD posted = WaitForSingleObject(m_lockResultEventHandle.Get(), 0);
    if (posted == WAIT_FAILED || posted == WAIT_TIMEOUT) {
        ThrowThreadEnded(10379, 10380);
    }
    return static_cast<DWORD>(m_lockResult);
}

void InstallLock::Acquire(bool wait)
{
    const DWORD result = PerformLockOperation(wait ? lrtLock : lrtTryLock);
    OSTREL_CHECK_ERROR(result != WAIT_FAILED, 10366, m_lockError);
    if (result == WAIT_TIMEOUT) {
        throw GenericException(Localizer::Text(kMsgInstallLockHeld),
                               Localizer::Text(kMsgInstallLockHeldSummary),
                               L"OstrelInstallEngine mutex locked", 10367);
    }
    OSTREL_CHECK((result == WAIT_OBJECT_0) || (result == WAIT_ABANDONED), 10368);
    m_held = true;
}

void InstallLock::Release()
{
    OSTREL_CHECK_ERROR(PerformLockOperation(lrtUnlock) != WAIT_FAILED, 10369, m_lockError);
    m_held = false;
}

void InstallLock::Shutdown()
{
    m_lockRequest = lrtExit;
    if (m_lockRequestEventHandle.IsValid()) {
        SetEvent(m_lockRequestEventHandle.Get());
    }
    if (m_lockThreadHandle.IsValid()) {
        if (WaitForSingleObject(m_lockThreadHandle.Get(), kShutdownWaitMilliseconds) ==
            WAIT_TIMEOUT) {
            TerminateThread(m_lockThreadHandle.Get(), 0xFFFFFFFF);
        }
        m_lockThreadHandle.Close();
    }
    m_lockRequestEventHandle.Close();
    m_lockResultEventHandle.Close();
    m_mutexHandle.Close();
    m_held = false;
}

}  // namespace OstrelInstallEngine
