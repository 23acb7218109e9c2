#include "Win32CheckBox.h"

void Win32CheckBox::SetChecked(bool checked)
{
    SendMessageW(m_handle, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32CheckBox::IsChecked() const
{
    return SendMessageW(m_handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
