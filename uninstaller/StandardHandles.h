// The standard handles the process was started with, duplicated as inheritable
// before the debug-output redirect replaces them. A relaunched copy receives
// these, so whoever waits on the first process's output pipe waits for the
// whole chain.
#pragma once

#include <windows.h>

struct StandardHandles {
    HANDLE output;
    HANDLE input;
    HANDLE error;
};

// Call once, first thing at entry. The duplicates live as long as the process.
void SaveStandardHandles();
const StandardHandles& GetSavedStandardHandles();
