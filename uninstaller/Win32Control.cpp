#include "Win32Control.h"

#include <stdexcept>

Win32Control::Win32Control(HWND dialog, int controlId, bool enabled)
    : m_handle(GetDlgItem(dialog, controlId))
{
    if (!enabled) {
        SetEnabled(false);
    }
}

void Win32Control::SetEnabled(bool enabled)
{
    if (m_handle == nullptr) {
        throw std::logic_error("SetEnabled called on null control");
    }
    EnableWindow(m_handle, enabled ? TRUE : FALSE);
}

void Win32Control::SetVisible(bool visible)
{
    if (m_handle == nullptr) {
        throw std::logic_error("SetVisible called on null control");
    }
    ShowWindow(m_handle, visible ? SW_SHOW : SW_HIDE);
}
