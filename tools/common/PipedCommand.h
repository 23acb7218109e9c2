// A command started with its standard output and error on a fresh pipe (its
// input is this process's), as the tools that follow an uninstaller chain
// start it. Only the chain holds the pipe's write end.
#pragma once

#include <windows.h>

#include <string>

#include "base/UniqueHandle.h"

struct PipedCommand {
    DWORD processId = 0;
    // Keeps the first process's id its own while it is followed.
    OstrelInstallEngine::UniqueHandle process;
    OstrelInstallEngine::UniqueHandle outputRead;
};

// False with the system's last error when the pipe or the process cannot be
// made.
bool StartPipedCommand(std::wstring commandLine, PipedCommand* started);
