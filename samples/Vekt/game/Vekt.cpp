// Vekt, the sample game. The binary carries the game's definition for Game
// Explorer; run with "--run-ms <n>" it stays alive for n milliseconds, which
// is what tests need of a running game.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    const char* option = "--run-ms ";
    if (std::strncmp(commandLine, option, std::strlen(option)) == 0) {
        Sleep(static_cast<DWORD>(std::strtoul(commandLine + std::strlen(option), nullptr, 10)));
    }
    return 0;
}
