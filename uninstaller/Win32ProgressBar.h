// A common-controls progress bar.
#pragma once

#include "Win32Control.h"

class Win32ProgressBar : public Win32Control {
public:
    Win32ProgressBar(HWND dialog, int controlId, bool enabled)
        : Win32Control(dialog, controlId, enabled)
    {
    }

    // Both ends must fit in 16 bits.
    void SetRange(int low, int high);
    void SetProgress(int position);
};
