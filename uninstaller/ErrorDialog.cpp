#include "ErrorDialog.h"

#include <stdexcept>

#include "DesktopPlacement.h"
#include "DialogProcedureGuard.h"
#include "DialogTextIds.h"
#include "PatchApplier.h"
#include "base/Localizer.h"
#include "resource.h"

using namespace OstrelInstallEngine;

ErrorDialog* ErrorDialog::s_instance = nullptr;

INT_PTR CALLBACK ErrorDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    const INT_PTR result = DialogProcedureGuard::Run([&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            if (s_instance != nullptr) {
                throw std::logic_error("Initializing ErrorDialog twice!");
            }
            s_instance = new ErrorDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                EndDialog(dialog, 1);
            }
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    });
    // A failed dialog cannot be answered; its opener rethrows the failure.
    if (DialogProcedureGuard::HasPending()) {
        EndDialog(dialog, -1);
    }
    return result;
}

ErrorDialog::ErrorDialog(HWND dialog)
    : m_okButton(dialog, IDOK, true),
      m_listBox(dialog, IDC_PROBLEMS_LIST, true),
      m_heading(dialog, IDC_PROBLEMS_HEADING, true)
{
    CentreOnDesktop(dialog);
    const Localizer* localizer = Localizer::GetInstance();
    SetWindowTextW(dialog, localizer->GetString(IDS_WINDOW_TITLE).c_str());
    m_heading.SetText(localizer->GetString(IDS_PROBLEMS_HEADING));
    m_okButton.SetText(localizer->GetString(IDS_PROBLEMS_OK_BUTTON));
    for (const std::wstring& problem : PatchApplier::Instance()->GetProblemTexts()) {
        m_listBox.AddString(problem);
    }
}
