#include "SystemLibraries.h"

#include <delayimp.h>

#include <cstring>
#include <exception>

#include "base/Platform.h"
#include "base/Util.h"

namespace {

const char kCrashReporterLibrary[] = "BugSplat.dll";

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

std::wstring SystemFolderPath()
{
    std::wstring path(GetSystemDirectoryW(nullptr, 0), L'\0');
    path.resize(GetSystemDirectoryW(&path[0], static_cast<UINT>(path.size())));
    return path;
}

HMODULE LoadFromProgramFolder(const std::wstring& name)
{
    std::wstring path = OstrelInstallEngine::GetExecutableFilePath();
    path.resize(path.rfind(L'\\') + 1);
    return LoadLibraryExW((path + name).c_str(), nullptr, 0);
}

// The delay-load helper asks here before it would call LoadLibraryA with the
// bare name; a null answer lets it go on with that call, which the restricted
// search then keeps to the system folder.
FARPROC WINAPI LoadDelayedLibrary(unsigned notification, PDelayLoadInfo info) noexcept
{
    if (notification != dliNotePreLoadLibrary) {
        return nullptr;
    }
    // The first delay-load comes before the entry: the crash reporter is
    // created during static initialisation.
    RestrictDllSearchToSystemFolder();
    try {
        const std::wstring name = OstrelInstallEngine::Widen(info->szDll);
        const HMODULE library = _stricmp(info->szDll, kCrashReporterLibrary) == 0
                                    ? LoadFromProgramFolder(name)
                                    : LoadSystemLibrary(name);
        return reinterpret_cast<FARPROC>(library);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

// The helper of the C runtime reads this; defined here, it replaces the
// runtime's empty one.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedLibrary;

void RestrictDllSearchToSystemFolder()
{
    const auto restrictSearch = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                               "SetDefaultDllDirectories")));
    if (restrictSearch == nullptr || !restrictSearch(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

bool IsCrashReporterLibraryPresent()
{
    RestrictDllSearchToSystemFolder();
    try {
        return LoadFromProgramFolder(OstrelInstallEngine::Widen(kCrashReporterLibrary)) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

HMODULE LoadSystemLibrary(const std::wstring& name)
{
    HMODULE library = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without KB2533623 refuses the flag; the full path names the
    // same file there.
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        library = LoadLibraryW((SystemFolderPath() + L"\\" + name).c_str());
    }
    return library;
}
