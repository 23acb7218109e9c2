#include "DebugOutputRedirect.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "base/UniqueHandle.h"

using OstrelInstallEngine::UniqueHandle;

namespace {

const DWORD kPumpBlockSize = 4096;
const DWORD kPumpIdleWaitMs = 100;
const DWORD kPumpStopWaitMs = 1000;
// The channel's buffer holds 4096 bytes with the sender's id and the
// terminator; a longer text would be cut there, so a block goes in pieces.
const DWORD kChannelTextLimit = 4096 - sizeof(DWORD) - 1;

struct Redirect {
    UniqueHandle pipeRead;
    UniqueHandle pipeWrite;
    UniqueHandle stopEvent;
    UniqueHandle pumpThread;
    FILE* outputStream = nullptr;
    FILE* errorStream = nullptr;
};

// Never destroyed: the exit handler below takes it down, and the pump may
// still be reading while static destructors run.
Redirect& TheRedirect()
{
    static Redirect* redirect = new Redirect();
    return *redirect;
}

void SendToDebugChannel(char* block, DWORD length)
{
    for (DWORD start = 0; start < length; start += kChannelTextLimit) {
        const DWORD end = start + kChannelTextLimit;
        if (end >= length) {
            OutputDebugStringA(block + start);
            break;
        }
        const char kept = block[end];
        block[end] = '\0';
        OutputDebugStringA(block + start);
        block[end] = kept;
    }
}

DWORD WINAPI DebugOutputPump(void*)
{
    Redirect& redirect = TheRedirect();
    char buffer[kPumpBlockSize + 1];
    DWORD lastRead = 0;
    bool stopping = false;
    for (;;) {
        // After a full block the backlog drains without waiting.
        if (lastRead < kPumpBlockSize &&
            WaitForSingleObject(redirect.stopEvent.Get(), kPumpIdleWaitMs) == WAIT_OBJECT_0) {
            stopping = true;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(redirect.pipeRead.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        lastRead = 0;
        if (available == 0) {
            if (stopping) {
                break;
            }
            continue;
        }
        const DWORD wanted = available < kPumpBlockSize ? available : kPumpBlockSize;
        if (!ReadFile(redirect.pipeRead.Get(), buffer, wanted, &lastRead, nullptr) ||
            lastRead > kPumpBlockSize) {
            break;
        }
        for (DWORD i = 0; i < lastRead; ++i) {
            if (buffer[i] == '\0') {
                buffer[i] = ' ';
            }
        }
        buffer[lastRead] = '\0';
        SendToDebugChannel(buffer, lastRead);
    }
    redirect.stopEvent.Close();
    redirect.pipeRead.Close();
    return 0;
}

void TakeDownRedirect()
{
    Redirect& redirect = TheRedirect();
    SetEvent(redirect.stopEvent.Get());
    WaitForSingleObject(redirect.pumpThread.Get(), kPumpStopWaitMs);
    if (redirect.outputStream != nullptr) {
        fclose(redirect.outputStream);
    }
    if (redirect.errorStream != nullptr) {
        fclose(redirect.errorStream);
    }
    redirect.pumpThread.Close();
    redirect.pipeWrite.Close();
}

// The runtime's stream takes over a fresh stream on the descriptor, unbuffered
// so that every formatted line leaves the process in one write.
FILE* AttachStream(FILE* runtimeStream, int descriptor)
{
    FILE* stream = _fdopen(descriptor, "w");
    if (stream != nullptr) {
        *runtimeStream = *stream;
    }
    setvbuf(runtimeStream, nullptr, _IONBF, 0);
    return stream;
}

}  // namespace

void RedirectStdOutputToDebugger()
{
    Redirect& redirect = TheRedirect();
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) {
        return;
    }
    redirect.pipeRead.Set(read);
    redirect.pipeWrite.Set(write);
    SetStdHandle(STD_OUTPUT_HANDLE, write);
    SetStdHandle(STD_ERROR_HANDLE, write);

    // A program started without standard handles has no open descriptors 1
    // and 2, so the pipe is put on them before streams are opened over them.
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(write), _O_TEXT);
    _dup2(descriptor, 1);
    _dup2(descriptor, 2);
    redirect.outputStream = AttachStream(stdout, 1);
    redirect.errorStream = AttachStream(stderr, 2);

    redirect.stopEvent.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    redirect.pumpThread.Set(CreateThread(nullptr, 0, DebugOutputPump, nullptr, 0, nullptr));
    atexit(TakeDownRedirect);
}
