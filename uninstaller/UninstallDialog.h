// The main window of dialog mode (template 101): the instruction, the question
// whether saved games go too, the progress bar and the start-or-finish and
// cancel buttons. It follows the installer's state by polling (UpdateUI).
#pragma once

#include <windows.h>

#include "Win32CheckBox.h"
#include "Win32ProgressBar.h"
#include "Win32TextControl.h"
#include "script/AsyncInstaller.h"

class UninstallDialog {
public:
    // For CreateDialogParamW with template 101; WM_INITDIALOG creates the instance.
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // Null until the dialog is created; never destroyed.
    static UninstallDialog* Instance();
    // The dialog's window while it exists, else null: the owner of the boxes
    // that report a failure, so that none can fall behind the dialog.
    static HWND ErrorBoxOwner();

    // Shows the state when it differs from the last one shown, or when forced;
    // while installing, moves the bar on every call.
    void UpdateUI(OstrelInstallEngine::AsyncInstallerState state, bool force);

private:
    explicit UninstallDialog(HWND dialog);

    void OnCommand(int controlId);
    void OnClose();
    void StartOrFinish();
    void ShowProgress();
    void ShowReady();
    void ShowInstalling();
    void ShowFinished();
    void ShowError();
    void ShowProblems();
    void SetCloseCommandEnabled(bool enabled);
    void Close();

    static UninstallDialog* s_instance;

    Win32TextControl m_uninstallButton;
    Win32TextControl m_cancelButton;
    Win32ProgressBar m_progressBar;
    Win32TextControl m_text;
    Win32CheckBox m_deletePersonalCheckBox;
    // Starts at 6, which is no state.
    int m_lastShownState;
    HWND m_dialog;
};
