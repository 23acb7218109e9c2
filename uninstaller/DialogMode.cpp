#include "DialogMode.h"

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <string>

#include "DialogProcedureGuard.h"
#include "DialogTextIds.h"
#include "EngineStartup.h"
#include "PatchApplier.h"
#include "SystemLibraries.h"
#include "UninstallDialog.h"
#include "base/Exception.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "resource.h"

using namespace OstrelInstallEngine;

namespace {

int ReportCreateDialogFailure()
{
    char text[32];
    std::snprintf(text, sizeof(text), "Error %d", static_cast<int>(GetLastError()));
    MessageBoxA(nullptr, text, "CreateDialog", MB_ICONEXCLAMATION);
    return 1;
}

void RefreshDialog(bool force)
{
    UninstallDialog::Instance()->UpdateUI(PatchApplier::Instance()->GetState(), force);
}

// Polls the installer on every pass, message or not, so that the bar moves
// while the worker runs and nothing is queued.
int RunMessageLoop(HWND dialog)
{
    MSG message = {};
    bool done = false;
    while (!done) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            const BOOL result = GetMessageW(&message, nullptr, 0, 0);
            if (result == -1) {
                return 1;
            }
            done = result == 0;
            if (!IsWindow(dialog) || !IsDialogMessageW(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        DialogProcedureGuard::RethrowPending();
        RefreshDialog(false);
        Sleep(10);
    }
    return static_cast<int>(message.wParam);
}

// comctl32 is loaded at run time, in dialog mode only: loading it registers
// window classes, which starts the desktop process, and a quiet run must not
// leave such a process behind in its chain.
void InitProgressBarClass()
{
    HMODULE commonControls = LoadSystemLibrary(L"comctl32.dll");
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(commonControls, "InitCommonControlsEx")));
    if (init != nullptr) {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        init(&controls);
    }
}

int ShowDialog(HINSTANCE instance)
{
    InitUninstallerEngine();
    const std::wstring title = Localizer::GetInstance()->GetString(IDS_WINDOW_TITLE);

    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_UNINSTALL_DIALOG), nullptr,
                                     UninstallDialog::DialogProc, 0);
    DialogProcedureGuard::RethrowPending();
    if (dialog == nullptr) {
        return ReportCreateDialogFailure();
    }
    SetWindowTextW(dialog, title.c_str());
    InitProgressBarClass();

    RefreshDialog(true);
    return RunMessageLoop(dialog);
}

}  // namespace

int RunDialogMode(HINSTANCE instance)
{
    LoadSystemLibrary(L"Riched32.dll");
    // The progress bar's class must exist before the dialog is created.
    LoadSystemLibrary(L"comctl32.dll");
    try {
        return ShowDialog(instance);
    } catch (const Exception& error) {
        PrintFormatted(stderr, L"%s", error.GetEnglishDescription().c_str());
        // An engine that cannot start (another install holds the lock, the
        // package is broken) tells the player why nothing happens.
        MessageBoxW(UninstallDialog::ErrorBoxOwner(), error.GetDisplayMessage().c_str(), nullptr,
                    MB_ICONEXCLAMATION);
        return 1;
    } catch (const std::exception& error) {
        PrintFormatted(stderr, L"%hs", error.what());
        return 1;
    }
}
