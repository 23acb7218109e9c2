#include "Win32TextControl.h"

#include <stdexcept>

void Win32TextControl::SetText(const std::wstring& text)
{
    if (m_handle == nullptr) {
        throw std::logic_error("SetText called on null Win32TextControl");
    }
    SendMessageW(m_handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
