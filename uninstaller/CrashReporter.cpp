// The crash reporter lives for the whole process, created before WinMain runs
// so that a fault anywhere, start-up included, leaves a minidump.
#include "BugSplat.h"

namespace {

MiniDmpSender g_crashReporter("Ostrel", "VektUninstaller", "0.0.0.0", nullptr, 0x22);

}  // namespace
