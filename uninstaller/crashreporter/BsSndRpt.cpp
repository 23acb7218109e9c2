// The report sender that the crash reporter would start after a crash. Reports
// stay on the machine: it only says where the minidumps are.
#include <cstdio>

int main()
{
    std::puts("Crash reports are kept as minidumps in the temporary folder; nothing is sent.");
    return 0;
}
