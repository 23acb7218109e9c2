// A list box that shows one text per line.
#pragma once

#include <string>

#include "Win32Control.h"

class Win32ListBox : public Win32Control {
public:
    Win32ListBox(HWND dialog, int controlId, bool enabled)
        : Win32Control(dialog, controlId, enabled)
    {
    }

    void AddString(const std::wstring& text);
};
