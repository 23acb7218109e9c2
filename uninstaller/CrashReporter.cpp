// The crash reporter lives for the whole process, created before WinMain runs
// so that a fault anywhere, start-up included, leaves a minidump.
#include <optional>

#include "BugSplat.h"
#include "SystemLibraries.h"

namespace {

// Without its library beside the program there is no crash reporter, and the
// program still reaches its entry: the bootstrap then reports the missing
// file as a box, or as a line when quiet, instead of the system's loader
// stopping the start with a box of its own.
struct CrashReporter {
    CrashReporter()
    {
        if (IsCrashReporterLibraryPresent()) {
            sender.emplace("Ostrel", "VektUninstaller", "0.0.0.0", nullptr, 0x22);
        }
    }
    std::optional<MiniDmpSender> sender;
};

CrashReporter g_crashReporter;

}  // namespace
