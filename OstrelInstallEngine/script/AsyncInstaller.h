// Runs the phases of a package for a front end that must stay responsive:
// "Prepare" on the caller's thread, "Execute" on a worker thread. While the
// worker runs it is the package's progress reporter; the front end polls the
// state, the progress and the status text, and on failure finds an owned
// copy of the error here.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/CriticalSection.h"
#include "script/ProgressReporter.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

class Exception;
class InstallerPackage;

enum AsyncInstallerState {
    AIS_READY_TO_INSTALL = 0,
    AIS_INSTALLING = 1,
    AIS_FINISHED = 2,
    AIS_CLOSING = 3,
    AIS_CANCELLED = 4,
    AIS_ERROR = 5,
};

class AsyncInstaller : public ProgressReporter {
public:
    // The package is not owned (10091 when null).
    explicit AsyncInstaller(InstallerPackage* pIP);
    // Waits for a running worker to end, then detaches from the package.
    ~AsyncInstaller();
    AsyncInstaller(const AsyncInstaller&) = delete;
    AsyncInstaller& operator=(const AsyncInstaller&) = delete;

    // Runs the script's preparation on this thread. A failure does not throw:
    // the state becomes AIS_ERROR and GetError() holds it.
    void Prepare();
    // Starts the worker that runs "Execute" (10092 after an error or the end,
    // 10017 while a worker runs). The handle stays owned by this object.
    HANDLE Start();
    // Asks the script to stop at its next progress call; the run then ends
    // AIS_CANCELLED after its rollback.
    void RequestCancel();

    AsyncInstallerState GetState();
    AsyncInstallerState GetStatus(double* progress, std::wstring* text);
    // Owned here; null unless the state is AIS_ERROR.
    const Exception* GetError();

    void ReportProgress(double progress, const std::wstring& text) override;

private:
    static DWORD WINAPI WorkerThreadProc(void* parameter);
    DWORD RunWorker();

    CriticalSection m_criticalSection;
    UniqueHandle m_workerThread;
    InstallerPackage* m_package;
    AsyncInstallerState m_state = AIS_READY_TO_INSTALL;
    std::unique_ptr<Exception> m_error;
    double m_progress = 0.0;
    std::wstring m_statusText;
    bool m_cancelRequested = false;
};

}  // namespace OstrelInstallEngine
