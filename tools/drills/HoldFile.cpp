// Holds a file open the way a virus scanner or an editor may: shared for
// reading only, so nobody can delete it meanwhile.
//   HoldFile <path> <milliseconds>
// Prints "held" once the file is open, and ends after the given time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/UniqueHandle.h"
#include "common/CommandLine.h"

int main()
{
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (arguments.size() != 3) {
        std::fputs("usage: HoldFile <path> <milliseconds>\n", stderr);
        return 2;
    }
    OstrelInstallEngine::UniqueFileHandle file(CreateFileW(arguments[1].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        std::fprintf(stderr, "cannot open the file (error %lu)\n", GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::wcstoul(arguments[2].c_str(), nullptr, 10)));
    return 0;
}
