// The floor of the uninstall benchmark: the plainest removal of a game, a
// loop over a list ("F\t<path>" lines with DeleteFileW, "D\t<path>" lines
// with RemoveDirectoryW) in a program that links nothing but the runtime.
//   DeleteFloor <list file>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    FILE* list = argc == 2 ? std::fopen(argv[1], "r") : nullptr;
    if (list == nullptr) {
        std::fputs("usage: DeleteFloor <list file>\n", stderr);
        return 2;
    }
    int failures = 0;
    char line[1024];
    while (std::fgets(line, sizeof(line), list) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0' || line[1] != '\t') {
            continue;
        }
        // The paths are plain ASCII, so each byte is one UTF-16 unit.
        const std::wstring path(line + 2, line + std::strlen(line));
        const BOOL removed =
            line[0] == 'F' ? DeleteFileW(path.c_str()) : RemoveDirectoryW(path.c_str());
        failures += removed ? 0 : 1;
    }
    std::fclose(list);
    return failures == 0 ? 0 : 1;
}
