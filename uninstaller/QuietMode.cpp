#include "QuietMode.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <exception>

#include "EngineStartup.h"
#include "PatchApplier.h"
#include "RunCleanup.h"
#include "base/Exception.h"
#include "base/Util.h"

using namespace OstrelInstallEngine;

namespace {

const DWORD kPollIntervalMs = 100;
const double kProgressThreshold = 0.001;

bool IsFinalState(AsyncInstallerState state)
{
    return state == AIS_FINISHED || state == AIS_ERROR;
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

// Lines come at most every 100 ms. The wait ends early when the worker ends,
// so that the final line follows the uninstall at once instead of a poll
// later; a progress line still due then keeps its distance from the last one.
void WriteProgressUntilFinished(PatchApplier& applier)
{
    AsyncInstallerState state = AIS_READY_TO_INSTALL;
    double progress = 0.0;
    std::wstring text;
    double lastProgress = -1.0;
    std::wstring lastText;
    // Counter zero lies long before any line.
    LARGE_INTEGER lastLineTime = {};
    for (;;) {
        state = applier.GetState();
        applier.GetStatus(&progress, &text);
        if (std::fabs(progress - lastProgress) > kProgressThreshold || text != lastText) {
            const double sinceLastLine = MillisecondsSince(lastLineTime);
            if (sinceLastLine < kPollIntervalMs) {
                Sleep(static_cast<DWORD>(std::ceil(kPollIntervalMs - sinceLastLine)));
            }
            PrintFormatted(stdout, L"PROGRESS\t%1.4lf\t%s\n", progress,
                           EscapeProtocolText(text).c_str());
            QueryPerformanceCounter(&lastLineTime);
            lastProgress = progress;
            lastText = text;
        }
        if (IsFinalState(state)) {
            return;
        }
        applier.WaitForWorker(kPollIntervalMs);
    }
}

// Problems that the uninstall tolerated still left something behind; a quiet
// run must say so as well as the dialog does.
void WriteProblems(PatchApplier& applier)
{
    for (const std::wstring& problem : applier.GetProblemTexts()) {
        PrintFormatted(stdout, L"PROBLEM\t%s\n", EscapeProtocolText(problem).c_str());
    }
}

int RunQuietUninstall(const std::vector<std::wstring>& filesHeldByLauncher)
{
    InitUninstallerEngine();
    PatchApplier& applier = *PatchApplier::Instance();
    applier.SetFilesHeldByLauncher(filesHeldByLauncher);
    applier.Start();
    WriteProgressUntilFinished(applier);
    RemoveRunTempFolders();
    WriteProblems(applier);
    if (applier.GetState() == AIS_FINISHED) {
        PrintFormatted(stdout, L"SUCCESS\n");
        return 0;
    }
    PrintFormatted(stdout, L"ERROR\tAn error occurred during uninstall\n");
    return 1;
}

}  // namespace

std::wstring EscapeProtocolText(const std::wstring& text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t character : text) {
        if (character == L'\n') {
            escaped += L"\\n";
        } else if (character == L'\\') {
            escaped += L"\\\\";
        } else {
            escaped += character;
        }
    }
    return escaped;
}

int RunQuiet(const std::vector<std::wstring>& filesHeldByLauncher)
{
    try {
        return RunQuietUninstall(filesHeldByLauncher);
    } catch (const Exception& error) {
        PrintFormatted(stdout, L"ERROR\t%s\n", EscapeProtocolText(error.GetDisplayMessage()).c_str());
    } catch (const std::exception& error) {
        PrintFormatted(stdout, L"ERROR\t%s\n", EscapeProtocolText(Widen(error.what())).c_str());
    }
    return 2;
}
