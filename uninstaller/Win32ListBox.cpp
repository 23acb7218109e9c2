#include "Win32ListBox.h"

void Win32ListBox::AddString(const std::wstring& text)
{
    SendMessageW(m_handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
