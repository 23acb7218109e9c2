// A two-state check box with its question as text.
#pragma once

#include "Win32TextControl.h"

class Win32CheckBox : public Win32TextControl {
public:
    Win32CheckBox(HWND dialog, int controlId, bool enabled)
        : Win32TextControl(dialog, controlId, enabled)
    {
    }

    void SetChecked(bool checked);
    // False for a missing control.
    bool IsChecked() const;
};
