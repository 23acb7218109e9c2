#include "DebugOutputRedirect.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "base/UniqueHandle.h"

using OstrelInstallEngine::UniqueHandle;

namespace {

const DWORD kPumpBlockSize = 4096;
const DWORD kPumpStopWaitMs = 1000;
const DWORD kPumpCancelRetryMs = 10;
// The channel's buffer holds 4096 bytes with the sender's id and the
// terminator; a longer text would be cut there, so a block goes in pieces.
const DWORD kChannelTextLimit = 4096 - sizeof(DWORD) - 1;

struct Redirect {
    UniqueHandle pipeRead;
    UniqueHandle pipeWrite;
    UniqueHandle pumpThread;
    std::atomic<bool> stopping{false};
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

void ForwardBlock(char* buffer, DWORD length)
{
    for (DWORD i = 0; i < length; ++i) {
        if (buffer[i] == '\0') {
            buffer[i] = ' ';
        }
    }
    buffer[length] = '\0';
    SendToDebugChannel(buffer, length);
}

// Whatever the pipe still holds once blocking reads have ended; never waits.
void ForwardBacklog(HANDLE pipe, char* buffer)
{
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
            return;
        }
        DWORD read = 0;
        const DWORD wanted = available < kPumpBlockSize ? available : kPumpBlockSize;
        if (!ReadFile(pipe, buffer, wanted, &read, nullptr) || read == 0 || read > kPumpBlockSize) {
            return;
        }
        ForwardBlock(buffer, read);
    }
}

// Blocks in ReadFile, so a line reaches the channel as soon as it is written
// and an idle pump costs nothing; the exit handler ends the read by cancelling
// it, and the backlog is forwarded before the thread ends.
DWORD WINAPI DebugOutputPump(void*)
{
    Redirect& redirect = TheRedirect();
    char buffer[kPumpBlockSize + 1];
    while (!redirect.stopping) {
        DWORD read = 0;
        if (!ReadFile(redirect.pipeRead.Get(), buffer, kPumpBlockSize, &read, nullptr) ||
            read > kPumpBlockSize) {
            break;
        }
        ForwardBlock(buffer, read);
    }
    ForwardBacklog(redirect.pipeRead.Get(), buffer);
    redirect.pipeRead.Close();
    return 0;
}

// A cancel that comes while the pump is between reads finds nothing to
// cancel, so it is repeated until the pump has seen the stop.
void TakeDownRedirect()
{
    Redirect& redirect = TheRedirect();
    redirect.stopping = true;
    if (redirect.pumpThread.IsValid()) {
        const ULONGLONG deadline = GetTickCount64() + kPumpStopWaitMs;
        do {
            CancelSynchronousIo(redirect.pumpThread.Get());
        } while (WaitForSingleObject(redirect.pumpThread.Get(), kPumpCancelRetryMs) == WAIT_TIMEOUT &&
                 GetTickCount64() < deadline);
    }
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

    redirect.pumpThread.Set(CreateThread(nullptr, 0, DebugOutputPump, nullptr, 0, nullptr));
    atexit(TakeDownRedirect);
}
