// Creates the crash reporter as the uninstaller does, then faults.
#include "BugSplat.h"

namespace {

MiniDmpSender g_crashReporter("Ostrel", "VektUninstaller", "0.0.0.0", nullptr, 0x22);

}  // namespace

int main()
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
