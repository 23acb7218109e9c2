// Holds a file open the way a virus scanner or an editor may: shared for
// reading only, so nobody can delete it meanwhile.
//   HoldFile <path> <milliseconds>
// Prints "held" once the file is open, and ends after the given time.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "base/LocalMemory.h"
#include "base/UniqueHandle.h"

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const OstrelInstallEngine::LocalMemory arguments(argv);
    if (argc != 3) {
        std::fputs("usage: HoldFile <path> <milliseconds>\n", stderr);
        return 2;
    }
    OstrelInstallEngine::UniqueFileHandle file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        std::fprintf(stderr, "cannot open the file (error %lu)\n", GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    return 0;
}
