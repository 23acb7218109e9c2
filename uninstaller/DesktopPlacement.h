// Where the uninstaller's dialogs appear.
#pragma once

#include <windows.h>

// Moves the window to the middle of the desktop without resizing it.
void CentreOnDesktop(HWND window);
