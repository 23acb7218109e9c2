// The Windows side of tools/benchmarks/run-uninstall-benchmark.sh:
//   UninstallBenchmark time chain|folder <game folder> <command line> [apparatus]
//     starts the command with its standard output and error on a pipe and
//     waits until the game folder is gone and, with "chain", every holder of
//     the pipe has ended (an uninstaller that relaunches itself returns
//     before its work is done; one that does not pass the pipe on to its
//     copy ends only with the folder). Prints "name value" lines: the seconds, the seconds to the first
//     "PROGRESS" line on the debug-output channel, to the game folder's end
//     and to the final line (SUCCESS or ERROR), and the largest peak
//     working set among the processes that the command started. The
//     apparatus is "all" (the default), "no-sampler" (no working set) or
//     "folder-only" (no sampler and no listener: only the folder is polled),
//     to find what of it slows what it times.
//   UninstallBenchmark hold-desktop <ready file>
//     keeps Wine's desktop process alive until it is ended (see HoldDesktop);
//     writes the ready file once the desktop is there.
//   UninstallBenchmark delete <list file>
//     the floor: "F\t<path>" lines with DeleteFileW, "D\t<path>" lines with
//     RemoveDirectoryW, nothing else.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/UniqueHandle.h"
#include "base/Util.h"
#include "common/CommandLine.h"
#include "common/DebugChannelListener.h"
#include "common/PipedCommand.h"
#include "common/ProcessFamily.h"

using namespace OstrelInstallEngine;

namespace {

const DWORD kPollMs = 5;
const DWORD kSampleEveryPolls = 4;
const double kGiveUpSeconds = 600;

double SecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The peak working set of each process of the command while it runs: Wine
// answers only for processes that are still alive.
class PeakSampler {
public:
    explicit PeakSampler(DWORD rootProcessId) : m_family(rootProcessId), m_root(rootProcessId) {}

    void Sample()
    {
        m_family.Refresh();
        for (DWORD processId : m_family.Members()) {
            UniqueHandle& process = m_processes[processId];
            if (!process.IsValid()) {
                process.Set(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                        processId));
            }
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof(counters);
            if (process.IsValid() &&
                GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) {
                SIZE_T& peak = processId == m_root ? m_rootPeak : m_childPeak;
                peak = std::max(peak, counters.PeakWorkingSetSize);
            }
        }
    }

    bool Contains(DWORD processId) { return m_family.Contains(processId); }
    // The relaunched copy does the work; a command that does not relaunch
    // does it itself.
    SIZE_T WorkerPeak() const { return m_childPeak != 0 ? m_childPeak : m_rootPeak; }

private:
    ProcessFamily m_family;
    DWORD m_root;
    std::map<DWORD, UniqueHandle> m_processes;
    SIZE_T m_rootPeak = 0;
    SIZE_T m_childPeak = 0;
};

bool PipeIsOpen(HANDLE outputRead)
{
    DWORD available = 0;
    if (!PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr)) {
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    if (available > 0) {
        ReadFile(outputRead, buffer, sizeof(buffer), &read, nullptr);
    }
    return true;
}

struct Apparatus {
    bool sampler = true;
    bool listener = true;
};

bool ParseApparatus(const std::wstring& name, Apparatus* apparatus)
{
    apparatus->sampler = name == L"all";
    apparatus->listener = name != L"folder-only";
    return name == L"all" || name == L"no-sampler" || name == L"folder-only";
}

int Time(bool toChainEnd, const std::wstring& gameFolder, std::wstring commandLine,
         Apparatus apparatus)
{
    DebugChannelListener listener;
    std::wstring failure;
    if (apparatus.listener && !listener.Open(&failure)) {
        PrintFormatted(stderr, L"UninstallBenchmark: %s\n", failure.c_str());
        return 1;
    }
    // The pipe is made inside the timed span too: a few microseconds.
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    PipedCommand started;
    if (!StartPipedCommand(commandLine, &started)) {
        PrintFormatted(stderr, L"UninstallBenchmark: cannot start %s\n", commandLine.c_str());
        return 1;
    }

    PeakSampler sampler(started.processId);
    double firstProgress = -1;
    double finalLine = -1;
    double folderGone = -1;
    std::string firstError;
    DWORD processId = 0;
    std::string text;
    bool pipeOpen = true;
    for (DWORD poll = 0; (toChainEnd && pipeOpen) || Exists(gameFolder); ++poll) {
        pipeOpen = pipeOpen && PipeIsOpen(started.outputRead.Get());
        if (folderGone < 0 && !Exists(gameFolder)) {
            folderGone = SecondsSince(start);
        }
        if (SecondsSince(start) > kGiveUpSeconds) {
            std::fputs("UninstallBenchmark: gave up waiting\n", stderr);
            return 1;
        }
        if (apparatus.sampler && poll % kSampleEveryPolls == 0) {
            sampler.Sample();
        }
        if (!apparatus.listener) {
            Sleep(kPollMs);
            continue;
        }
        // Without the sampler the family is never refreshed: every line
        // counts.
        if (listener.Receive(kPollMs, &processId, &text) &&
            (!apparatus.sampler || sampler.Contains(processId))) {
            if (firstProgress < 0 && text.find("PROGRESS\t") != std::string::npos) {
                firstProgress = SecondsSince(start);
            }
            if (text.find("SUCCESS") != std::string::npos ||
                text.find("ERROR\t") != std::string::npos) {
                finalLine = SecondsSince(start);
            }
            if (firstError.empty() && text.find("ERROR\t") != std::string::npos) {
                firstError = text;
            }
        }
    }
    const double seconds = SecondsSince(start);
    std::printf("seconds %.3f\nfirst_progress %.3f\nfolder_gone %.3f\nfinal_line %.3f\n"
                "peak_working_set_kb %zu\n",
                seconds, firstProgress, folderGone < 0 ? seconds : folderGone, finalLine,
                sampler.WorkerPeak() / 1024);
    if (!firstError.empty()) {
        std::printf("error %s\n", firstError.c_str());
    }
    return 0;
}

int DeleteListed(const std::wstring& listFile)
{
    FILE* list = _wfopen(listFile.c_str(), L"r");
    if (list == nullptr) {
        PrintFormatted(stderr, L"UninstallBenchmark: cannot open %s\n", listFile.c_str());
        return 1;
    }
    int failures = 0;
    char buffer[1024];
    while (std::fgets(buffer, sizeof(buffer), list) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line.size() < 3 || line[1] != '\t') {
            continue;
        }
        const std::wstring path = Widen(line.substr(2));
        const BOOL removed =
            line[0] == 'F' ? DeleteFileW(path.c_str()) : RemoveDirectoryW(path.c_str());
        if (!removed) {
            ++failures;
        }
    }
    std::fclose(list);
    std::printf("failures %d\n", failures);
    return failures == 0 ? 0 : 1;
}

// Wine's desktop process (explorer.exe /desktop) ends a moment after its last
// user has gone, and the next program that needs it starts it again with its
// own standard handles: a measured chain whose pipe the desktop then holds
// never ends. Started with its output nowhere before any measurement, this
// program is a user for the whole session, so the desktop is never restarted.
int HoldDesktop(const std::wstring& readyFile)
{
    if (GetDesktopWindow() == nullptr) {
        std::fputs("UninstallBenchmark: no desktop\n", stderr);
        return 1;
    }
    UniqueFileHandle ready(CreateFileW(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!ready.IsValid()) {
        PrintFormatted(stderr, L"UninstallBenchmark: cannot write %s\n", readyFile.c_str());
        return 1;
    }
    ready.Close();
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int main()
{
    const std::vector<std::wstring> argv = CommandLineArguments();
    const size_t argc = argv.size();
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    Apparatus apparatus;
    if (mode == L"time" && (argc == 5 || (argc == 6 && ParseApparatus(argv[5], &apparatus)))) {
        return Time(argv[2] == L"chain", argv[3], argv[4], apparatus);
    }
    if (mode == L"hold-desktop" && argc == 3) {
        return HoldDesktop(argv[2]);
    }
    if (mode == L"delete" && argc == 3) {
        return DeleteListed(argv[2]);
    }
    std::fputs("usage: UninstallBenchmark time chain|folder <game folder> <command line> "
               "[all|no-sampler|folder-only] | "
               "hold-desktop <ready file> | delete <list>\n",
               stderr);
    return 2;
}
