#include "script/AsyncInstaller.h"

#include <cstdio>

#include "base/Check.h"
#include "base/ComInitializer.h"
#include "base/Exceptions.h"
#include "script/InstallerPackage.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

std::unique_ptr<Exception> FromStandardException(const std::exception& error, int code)
{
    return std::make_unique<SanityCheckException>(FormatWide(L"std::exception: %hs", error.what()),
                                                  code);
}

}  // namespace

AsyncInstaller::AsyncInstaller(InstallerPackage* pIP) : m_package(pIP)
{
    OSTREL_CHECK(pIP != 0, 10091);
}

AsyncInstaller::~AsyncInstaller()
{
    {
        CriticalSectionLock lock(m_criticalSection);
        m_state = AIS_CLOSING;
    }
    if (m_workerThread.IsValid()) {
        WaitForSingleObject(m_workerThread.Get(), INFINITE);
    }
    m_package->SetProgressReporter(nullptr);
}

void AsyncInstaller::Prepare()
{
    CriticalSectionLock lock(m_criticalSection);
    OSTREL_CHECK(m_state == AIS_READY_TO_INSTALL, 10223);
    m_error.reset();
    try {
        m_package->Prepare();
    } catch (const Exception& error) {
        m_error = error.Clone();
        m_state = AIS_ERROR;
    } catch (const CancelInstallException&) {
        m_state = AIS_CANCELLED;
    } catch (const std::exception& error) {
        m_error = FromStandardException(error, 10002);
        m_state = AIS_ERROR;
    }
}

HANDLE AsyncInstaller::Start()
{
    CriticalSectionLock lock(m_criticalSection);
    OSTREL_CHECK((m_state != AIS_ERROR) && (m_state != AIS_FINISHED), 10092);
    // A second worker would run the script's state at the same time.
    OSTREL_CHECK(m_state != AIS_INSTALLING, 10017);
    // After a cancelled run its worker has posted its state but may not have
    // ended yet; its handle is about to be replaced.
    if (m_workerThread.IsValid()) {
        WaitForSingleObject(m_workerThread.Get(), INFINITE);
    }
    // A cancel request belongs to the run it was made in; left standing, it
    // would cancel this one at its first progress report.
    m_cancelRequested = false;
    m_state = AIS_INSTALLING;
    m_package->SetProgressReporter(this);
    m_workerThread.Set(CreateThread(nullptr, 0, &WorkerThreadProc, this, 0, nullptr));
    if (!m_workerThread.IsValid()) {
        m_state = AIS_READY_TO_INSTALL;
        m_package->SetProgressReporter(nullptr);
        OSTREL_FAIL_LAST_ERROR(10144);
    }
    return m_workerThread.Get();
}

void AsyncInstaller::RequestCancel()
{
    CriticalSectionLock lock(m_criticalSection);
    m_cancelRequested = true;
}

AsyncInstallerState AsyncInstaller::GetState()
{
    CriticalSectionLock lock(m_criticalSection);
    return m_state;
}

AsyncInstallerState AsyncInstaller::GetStatus(double* progress, std::wstring* text)
{
    CriticalSectionLock lock(m_criticalSection);
    *progress = m_progress;
    *text = m_statusText;
    return m_state;
}

const Exception* AsyncInstaller::GetError()
{
    CriticalSectionLock lock(m_criticalSection);
    return m_error.get();
}

void AsyncInstaller::ReportProgress(double progress, const std::wstring& text)
{
    CriticalSectionLock lock(m_criticalSection);
    m_progress = progress;
    m_statusText = text;
    if (m_cancelRequested) {
        m_package->Cancel();
    }
}

DWORD WINAPI AsyncInstaller::WorkerThreadProc(void* parameter)
{
    return static_cast<AsyncInstaller*>(parameter)->RunWorker();
}

DWORD AsyncInstaller::RunWorker()
{
    AsyncInstallerState resultState = AIS_FINISHED;
    std::unique_ptr<Exception> error;
    {
        try {
            m_package->Execute();
        } catch (const CancelInstallException&) {
            resultState = AIS_CANCELLED;
        } catch (const Exception& caught) {
            error = caught.Clone();
        } catch (const std::exception& caught) {
            error = FromStandardException(caught, 10094);
        } catch (...) {
            // A thread procedure is a boundary: nothing may leave it.
            error = std::make_unique<SanityCheckException>(L"Unknown exception in the installer",
                                                           10146);
        }
        // The script's operations enter COM on this thread when they need it.
        ThreadApartment::Leave();
    }
    if (error) {
        PrintFormatted(stdout, L"Install error:\n%s\n", error->GetReport().c_str());
        CriticalSectionLock lock(m_criticalSection);
        m_error = std::move(error);
        m_state = AIS_ERROR;
        return 1;
    }
    CriticalSectionLock lock(m_criticalSection);
    m_state = resultState;
    return 0;
}

}  // namespace OstrelInstallEngine
