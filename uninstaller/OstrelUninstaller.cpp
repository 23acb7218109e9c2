// Entry of the uninstaller. A user's start (any argument string but the tokens
// below) or "quiet" bootstraps a copy in the temp folder; the copy, started
// with "bootstrapped" or "bootstrapped-quiet", does the work.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "Bootstrap.h"
#include "DebugOutputRedirect.h"
#include "DialogMode.h"
#include "LauncherProcess.h"
#include "QuietMode.h"
#include "RunCleanup.h"
#include "StandardHandles.h"
#include "SystemLibraries.h"
#include "base/Exception.h"
#include "base/Util.h"

namespace {

int RunMode(HINSTANCE instance, const char* commandLine)
{
    // Tokens match exactly: letter case and trailing blanks make another
    // argument string, which bootstraps into dialog mode.
    if (strcmp(commandLine, "quiet") == 0) {
        return Bootstrap(true);
    }
    if (strcmp(commandLine, "bootstrapped-quiet") == 0) {
        // Found first: the launcher waits only until this thread ends.
        std::unique_ptr<LauncherProcess> launcher = LauncherProcess::Find();
        const int exitCode = RunQuiet(launcher ? launcher->HeldFiles() : std::vector<std::wstring>());
        if (launcher) {
            LauncherProcess::HandOff(std::move(launcher), exitCode);
        }
        return exitCode;
    }
    if (strcmp(commandLine, "bootstrapped") == 0) {
        ScheduleInPlaceCopyRemoval();
        const int exitCode = RunDialogMode(instance);
        RemoveRunTempFolders();
        return exitCode;
    }
    return Bootstrap(false);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Before anything of the program loads a library.
    RestrictDllSearchToSystemFolder();
    SaveStandardHandles();
    RedirectStdOutputToDebugger();
    // The modes report their own failures; this only keeps anything else from
    // leaving the entry raw. Standard error is the debug channel.
    try {
        return RunMode(instance, commandLine);
    } catch (const OstrelInstallEngine::Exception& error) {
        OstrelInstallEngine::PrintFormatted(stderr, L"%s", error.GetEnglishDescription().c_str());
    } catch (const std::exception& error) {
        fprintf(stderr, "%s", error.what());
    }
    return 1;
}
