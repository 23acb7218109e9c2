// The problems dialog (template 103): the non-fatal problems that the script
// recorded, one per line in recording order. Shown modally at most once per
// process, after a finished uninstall.
#pragma once

#include <windows.h>

#include "Win32ListBox.h"
#include "Win32TextControl.h"

class ErrorDialog {
public:
    // For DialogBoxParamW with template 103; ends the dialog with 1.
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // A second creation in one process throws std::logic_error.
    explicit ErrorDialog(HWND dialog);

    static ErrorDialog* s_instance;

    Win32TextControl m_okButton;
    Win32ListBox m_listBox;
    Win32TextControl m_heading;
};
