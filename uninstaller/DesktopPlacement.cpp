#include "DesktopPlacement.h"

void CentreOnDesktop(HWND window)
{
    RECT desktop;
    RECT bounds;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &bounds);
    const int x = ((desktop.right - desktop.left) - (bounds.right - bounds.left)) / 2;
    const int y = ((desktop.bottom - desktop.top) - (bounds.bottom - bounds.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
