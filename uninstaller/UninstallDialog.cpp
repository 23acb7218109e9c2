#include "UninstallDialog.h"

#include <stdexcept>

#include "DesktopPlacement.h"
#include "DialogProcedureGuard.h"
#include "DialogTextIds.h"
#include "ErrorDialog.h"
#include "PatchApplier.h"
#include "base/Check.h"
#include "base/Localizer.h"
#include "resource.h"

using namespace OstrelInstallEngine;

namespace {

const int kNoState = 6;
const int kProgressRange = 10000;

std::wstring Text(int id)
{
    return Localizer::GetInstance()->GetString(id);
}

}  // namespace

UninstallDialog* UninstallDialog::s_instance = nullptr;

INT_PTR CALLBACK UninstallDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return DialogProcedureGuard::Run([&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            if (s_instance != nullptr) {
                throw std::logic_error("Initializing UninstallDialog twice!");
            }
            s_instance = new UninstallDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            s_instance->OnCommand(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            s_instance->OnClose();
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
        }
    });
}

UninstallDialog* UninstallDialog::Instance()
{
    return s_instance;
}

HWND UninstallDialog::ErrorBoxOwner()
{
    return s_instance != nullptr && IsWindow(s_instance->m_dialog) ? s_instance->m_dialog : nullptr;
}

UninstallDialog::UninstallDialog(HWND dialog)
    : m_uninstallButton(dialog, IDC_UNINSTALL_BUTTON, true),
      m_cancelButton(dialog, IDC_CANCEL_BUTTON, true),
      m_progressBar(dialog, IDC_PROGRESS_BAR, true),
      m_text(dialog, IDC_INSTRUCTION_TEXT, true),
      m_deletePersonalCheckBox(dialog, IDC_DELETE_PERSONAL_CHECK, true),
      m_lastShownState(kNoState),
      m_dialog(dialog)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_UNINSTALLER));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    m_progressBar.SetRange(0, kProgressRange);
    m_progressBar.SetProgress(0);
    CentreOnDesktop(dialog);
}

void UninstallDialog::UpdateUI(AsyncInstallerState state, bool force)
{
    if (state == AIS_INSTALLING) {
        ShowProgress();
    }
    if (state == m_lastShownState && !force) {
        return;
    }
    m_lastShownState = state;
    switch (state) {
    case AIS_READY_TO_INSTALL:
        ShowReady();
        break;
    case AIS_INSTALLING:
        ShowInstalling();
        break;
    case AIS_FINISHED:
        ShowFinished();
        break;
    case AIS_CLOSING:
        OSTREL_FAIL(10089);
    case AIS_CANCELLED:
        OSTREL_FAIL(10088);
    case AIS_ERROR:
        ShowError();
        break;
    default:
        break;
    }
}

// Esc arrives as IDCANCEL, and counts only where the Cancel button could be
// pressed.
void UninstallDialog::OnCommand(int controlId)
{
    if (controlId == IDC_CANCEL_BUTTON || (controlId == IDCANCEL && m_cancelButton.IsEnabled())) {
        Close();
    } else if (controlId == IDC_UNINSTALL_BUTTON) {
        StartOrFinish();
    }
}

// Closing while the worker runs would end the process in the middle of the
// uninstall, without its rollback: the close command waits for the end.
void UninstallDialog::OnClose()
{
    if (PatchApplier::Instance()->GetState() == AIS_INSTALLING) {
        return;
    }
    DestroyWindow(m_dialog);
}

void UninstallDialog::StartOrFinish()
{
    switch (m_lastShownState) {
    case AIS_READY_TO_INSTALL:
        PatchApplier::Instance()->SetProperty("DeletePersonalDir",
                                              m_deletePersonalCheckBox.IsChecked());
        PatchApplier::Instance()->Start();
        m_uninstallButton.SetEnabled(false);
        m_cancelButton.SetEnabled(false);
        break;
    case AIS_FINISHED:
    case AIS_ERROR:
        Close();
        break;
    default:
        OSTREL_FAIL(10087);
    }
}

void UninstallDialog::ShowProgress()
{
    double progress = 0.0;
    std::wstring statusText;
    PatchApplier::Instance()->GetStatus(&progress, &statusText);
    m_progressBar.SetProgress(static_cast<int>(progress * kProgressRange + 0.5));
}

void UninstallDialog::ShowReady()
{
    m_uninstallButton.SetText(Text(IDS_UNINSTALL_BUTTON));
    m_uninstallButton.SetEnabled(true);
    m_cancelButton.SetText(Text(IDS_CANCEL_BUTTON));
    m_cancelButton.SetEnabled(true);
    m_text.SetText(Text(IDS_INSTRUCTION));
    m_deletePersonalCheckBox.SetText(Text(IDS_DELETE_PERSONAL_QUESTION));
    m_deletePersonalCheckBox.SetVisible(true);
    m_deletePersonalCheckBox.SetChecked(false);
    m_progressBar.SetVisible(false);
}

void UninstallDialog::ShowInstalling()
{
    m_uninstallButton.SetEnabled(false);
    m_cancelButton.SetEnabled(false);
    m_deletePersonalCheckBox.SetVisible(false);
    m_progressBar.SetVisible(true);
    SetCloseCommandEnabled(false);
}

void UninstallDialog::ShowFinished()
{
    m_uninstallButton.SetText(Text(IDS_FINISH_BUTTON));
    m_uninstallButton.SetEnabled(true);
    m_cancelButton.SetEnabled(false);
    m_text.SetText(Text(IDS_SUCCESS));
    m_deletePersonalCheckBox.SetVisible(false);
    m_progressBar.SetVisible(true);
    m_progressBar.SetProgress(kProgressRange);
    SetCloseCommandEnabled(true);
    if (PatchApplier::Instance()->HasProblems()) {
        ShowProblems();
    }
}

void UninstallDialog::ShowError()
{
    m_uninstallButton.SetText(Text(IDS_FINISH_BUTTON));
    m_uninstallButton.SetEnabled(true);
    m_cancelButton.SetEnabled(false);
    m_deletePersonalCheckBox.SetVisible(false);
    SetCloseCommandEnabled(true);
    MessageBoxW(m_dialog, PatchApplier::Instance()->GetErrorText().c_str(), nullptr,
                MB_ICONEXCLAMATION);
    Close();
}

void UninstallDialog::ShowProblems()
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(m_dialog, GWLP_HINSTANCE));
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROBLEMS_DIALOG), m_dialog,
                                           ErrorDialog::DialogProc, 0);
    DialogProcedureGuard::RethrowPending();
    OSTREL_CHECK_LAST_ERROR_AS((result != 0) && (result != -1),
                               "(eulaResult != NULL) && (eulaResult != -1)", 10086);
}

// The greyed close command of the window menu tells the user why the close
// box does nothing while the uninstall runs.
void UninstallDialog::SetCloseCommandEnabled(bool enabled)
{
    EnableMenuItem(GetSystemMenu(m_dialog, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void UninstallDialog::Close()
{
    SendMessageW(m_dialog, WM_CLOSE, 0, 0);
}
