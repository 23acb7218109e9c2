// Dialog mode ("bootstrapped"): the uninstall dialog and its message loop.
#pragma once

#include <windows.h>

// Runs the dialog until it is closed; the result is the process exit code.
// The caller has already marked the running copy for deletion at restart.
int RunDialogMode(HINSTANCE instance);
