#include "common/PipedCommand.h"

using OstrelInstallEngine::UniqueHandle;

bool StartPipedCommand(std::wstring commandLine, PipedCommand* started)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        return false;
    }
    started->outputRead.Set(read);
    UniqueHandle outputWrite(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    started->process.Set(process.hProcess);
    UniqueHandle thread(process.hThread);
    started->processId = process.dwProcessId;
    return true;
}
