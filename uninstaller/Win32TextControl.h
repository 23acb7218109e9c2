// A control that shows one text: a static text, a button or a check box.
#pragma once

#include <string>

#include "Win32Control.h"

class Win32TextControl : public Win32Control {
public:
    Win32TextControl(HWND dialog, int controlId, bool enabled)
        : Win32Control(dialog, controlId, enabled)
    {
    }

    void SetText(const std::wstring& text);
};
