// OstrelDebugView <command line>: starts the command, prints every line that
// it and the processes it starts send to the debug-output channel as they
// arrive, and ends when the last of them has ended (Wine's services that one
// of them woke up may run on; they are not waited for). The exit code comes from
// the quiet uninstaller's last line: 0 "SUCCESS", 1 the fixed failure text,
// 2 any other "ERROR" (or no final line at all).
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/Util.h"
#include "common/DebugChannelListener.h"
#include "common/PipedCommand.h"
#include "common/ProcessFamily.h"

using OstrelInstallEngine::PrintFormatted;

namespace {

const DWORD kReceiveWaitMs = 50;
// Senders hand over their last message without waiting for it to be read.
const DWORD kQuietAfterEndMs = 500;
const int kNoOutcome = 2;

// The argument string after the program's own name.
std::wstring CommandAfterProgramName()
{
    const wchar_t* rest = GetCommandLineW();
    if (*rest == L'"') {
        rest = wcschr(rest + 1, L'"');
        rest = rest != nullptr ? rest + 1 : L"";
    } else {
        while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') {
            ++rest;
        }
    }
    while (*rest == L' ' || *rest == L'\t') {
        ++rest;
    }
    return rest;
}

class LinePrinter {
public:
    // Messages are not cut at line ends, and senders interleave.
    void Add(DWORD processId, const std::string& text)
    {
        std::string& pending = m_pending[processId];
        pending += text;
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            PrintLine(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }

    void Flush()
    {
        for (auto& [processId, pending] : m_pending) {
            if (!pending.empty()) {
                PrintLine(pending);
                pending.clear();
            }
        }
    }

    int Outcome() const { return m_outcome; }

private:
    void PrintLine(std::string line)
    {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        fputs(line.c_str(), stdout);
        fputc('\n', stdout);
        fflush(stdout);
        if (line == "SUCCESS") {
            m_outcome = 0;
        } else if (line == "ERROR\tAn error occurred during uninstall") {
            m_outcome = 1;
        } else if (line.compare(0, 6, "ERROR\t") == 0) {
            m_outcome = 2;
        }
    }

    std::map<DWORD, std::string> m_pending;
    int m_outcome = kNoOutcome;
};

// The command's standard output and error are forwarded as they come; a
// service that inherits the pipe may hold it open after the chain, and a
// dialog-mode relaunch may not inherit it at all, so its end is no end of the
// chain.

// Forwards what the chain has written to its standard handles so far; false
// once every holder of the pipe has ended.
bool ForwardCommandOutput(HANDLE outputRead)
{
    DWORD available = 0;
    while (PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr)) {
        char buffer[4096];
        DWORD read = 0;
        if (available == 0 || !ReadFile(outputRead, buffer, sizeof(buffer), &read, nullptr)) {
            return available == 0;
        }
        fwrite(buffer, 1, read, stdout);
        fflush(stdout);
    }
    return false;
}

}  // namespace

int main()
{
    const std::wstring command = CommandAfterProgramName();
    if (command.empty()) {
        fputs("Usage: OstrelDebugView <command line>\n", stderr);
        return kNoOutcome;
    }
    DebugChannelListener listener;
    std::wstring failure;
    if (!listener.Open(&failure)) {
        PrintFormatted(stderr, L"OstrelDebugView: %s\n", failure.c_str());
        return kNoOutcome;
    }
    PipedCommand started;
    if (!StartPipedCommand(command, &started)) {
        PrintFormatted(stderr, L"OstrelDebugView: cannot start %s (error %lu)\n", command.c_str(),
                       GetLastError());
        return kNoOutcome;
    }
    ProcessFamily family(started.processId);
    LinePrinter printer;
    DWORD processId = 0;
    std::string text;
    bool running = true;
    bool outputOpen = true;
    while (running) {
        family.Refresh();
        if (listener.Receive(kReceiveWaitMs, &processId, &text) && family.Contains(processId)) {
            printer.Add(processId, text);
        }
        outputOpen = outputOpen && ForwardCommandOutput(started.outputRead.Get());
        running = family.AnyMemberRunning();
    }
    // Other processes may go on talking; only a quiet spell of the family's
    // own ends the wait.
    for (DWORD quietSince = GetTickCount(); GetTickCount() - quietSince < kQuietAfterEndMs;) {
        if (listener.Receive(kReceiveWaitMs, &processId, &text) && family.Contains(processId)) {
            printer.Add(processId, text);
            quietSince = GetTickCount();
        }
    }
    if (outputOpen) {
        ForwardCommandOutput(started.outputRead.Get());
    }
    printer.Flush();
    return printer.Outcome();
}
