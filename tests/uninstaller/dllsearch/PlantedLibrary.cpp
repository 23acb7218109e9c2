// A library planted beside a program under the name of a system DLL. Loading
// it leaves "<its path>.loaded" beside it, which the test looks for; it
// exports nothing, so a program that took it for the real one would fail.
#include <windows.h>

#include <string>

#include "base/UniqueHandle.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        std::wstring path(32768, L'\0');
        path.resize(GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size())));
        const OstrelInstallEngine::UniqueFileHandle marker(CreateFileW(
            (path + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    return TRUE;
}
