// The part every control wrapper shares: the control's window, taken from its
// dialog by id. A template without that control leaves the handle null, and
// each operation then throws std::logic_error rather than acting on nothing.
#pragma once

#include <windows.h>

class Win32Control {
public:
    // Disables the control at once when enabled is false.
    Win32Control(HWND dialog, int controlId, bool enabled);

    void SetEnabled(bool enabled);
    void SetVisible(bool visible);
    bool IsEnabled() const { return IsWindowEnabled(m_handle) != FALSE; }
    HWND GetHandle() const { return m_handle; }

protected:
    HWND m_handle;
};
