// The uninstaller's application object: the embedded "UNINSTALL.ZIP" package,
// the installer package that hosts its script and the asynchronous installer
// over it. One per process, created by Init and never destroyed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "script/AsyncInstaller.h"
#include "script/InstallerPackage.h"
#include "base/Stream.h"
#include "streams/ZipFilePackage.h"

class PatchApplier {
public:
    // Creates the instance: opens the archive resource, layers its three string
    // tables into the localizer and opens "uninstall.lua". A second call throws
    // std::logic_error "Initializing PatchApplier more than once"; a failed
    // construction leaves no instance and passes its exception on.
    static void Init();
    // Null before Init.
    static PatchApplier* Instance();

    // Owned by the caller.
    std::unique_ptr<OstrelInstallEngine::Stream> OpenFile(const std::string& name);

    // Prepare on this thread; Start on the worker when still ready to install.
    void Start();
    // Waits up to the given time for the worker that Start began; true once it
    // has ended (its final state is then set). Without a worker it only waits.
    bool WaitForWorker(DWORD milliseconds);
    OstrelInstallEngine::AsyncInstallerState GetState();
    OstrelInstallEngine::AsyncInstallerState GetStatus(double* progress, std::wstring* text);
    // The display message of the installer's stored error; empty when there is none.
    std::wstring GetErrorText();

    bool HasProblems();
    // The display summary of each recorded problem, in recording order.
    std::vector<std::wstring> GetProblemTexts();

    // Writes a boolean into the script's props table (the dialog's "DeletePersonalDir").
    void SetProperty(const std::string& name, bool value);

    // Files that the process which launched this one holds until it ends:
    // the script's removals of them, and of folders that hold only them, wait
    // for PerformDeferredRemovals.
    void SetFilesHeldByLauncher(const std::vector<std::wstring>& paths);
    // Once the launcher has ended; what fails goes at the next restart. Silent.
    void PerformDeferredRemovals();

    // Removes the engine's private temporary folder now (what is held, at the
    // next restart): the package is never closed, so the folder's owner is
    // told when the run is over. Silent.
    void RemoveEngineTempFolder();

private:
    PatchApplier();

    static PatchApplier* s_instance;

    OstrelInstallEngine::ZipFilePackage m_zipPackage;
    OstrelInstallEngine::InstallerPackage m_installerPackage;
    std::unique_ptr<OstrelInstallEngine::AsyncInstaller> m_asyncInstaller;
    // Owned by the asynchronous installer; null until Start begins a worker.
    HANDLE m_workerThread = nullptr;
};
