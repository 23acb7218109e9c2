#include "Win32ProgressBar.h"

#include <commctrl.h>

#include <stdexcept>

void Win32ProgressBar::SetRange(int low, int high)
{
    if (m_handle == nullptr) {
        throw std::logic_error("SetRange called on null Win32ProgressBar");
    }
    SendMessageW(m_handle, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32ProgressBar::SetProgress(int position)
{
    if (m_handle == nullptr) {
        throw std::logic_error("SetProgress called on null Win32ProgressBar");
    }
    SendMessageW(m_handle, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
