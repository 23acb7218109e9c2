#define OSTREL_BUILDING_BUGSPLAT
#include "BugSplat.h"

#include <windows.h>
#include <dbghelp.h>
#include <ntsecapi.h>
#include <strsafe.h>

#include <cstdio>
#include <string>

#include "base/UniqueHandle.h"

namespace {

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                               PMINIDUMP_EXCEPTION_INFORMATION,
                                               PMINIDUMP_USER_STREAM_INFORMATION,
                                               PMINIDUMP_CALLBACK_INFORMATION);

char g_application[64] = "application";
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

// The system's own library: the DBGHELP.dll that travels with the program is
// a placeholder, and a library of that name beside the program or on the
// search path must not be the one loaded.
HMODULE LoadSystemDbgHelp()
{
    return LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// 32 hexadecimal digits of the system's random generator. The generator lives
// in advapi32, which the program loads anyway; a GUID from ole32 would bring
// the window system into every process at its start.
bool RandomHexDigits(std::wstring* digits)
{
    unsigned char bytes[16];
    if (!RtlGenRandom(bytes, sizeof(bytes))) {
        return false;
    }
    for (unsigned char byte : bytes) {
        *digits += L"0123456789abcdef"[byte >> 4];
        *digits += L"0123456789abcdef"[byte & 0xF];
    }
    return true;
}

// A fresh name that nobody can guess in advance, so that no file or link can
// wait under it in the shared temp folder.
std::wstring DumpPath()
{
    wchar_t tempFolder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, tempFolder);
    std::wstring digits;
    if (length == 0 || length >= MAX_PATH || !RandomHexDigits(&digits)) {
        return std::wstring();
    }
    wchar_t name[160];
    if (FAILED(StringCchPrintfW(name, sizeof(name) / sizeof(name[0]), L"%hs-%lu-%s.dmp",
                                g_application, GetCurrentProcessId(), digits.c_str()))) {
        return std::wstring();
    }
    return std::wstring(tempFolder) + name;
}

// The file is made new (CREATE_NEW fails on anything already there, a link
// included), so the dump never lands in a file that another process chose.
bool WriteDump(const std::wstring& path, EXCEPTION_POINTERS* exception)
{
    const OstrelInstallEngine::UniqueModule dbgHelp(LoadSystemDbgHelp());
    if (!dbgHelp.IsValid()) {
        return false;
    }
    auto writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(dbgHelp.Get(), "MiniDumpWriteDump")));
    const OstrelInstallEngine::UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (writeDump == nullptr || !file.IsValid()) {
        return false;
    }
    MINIDUMP_EXCEPTION_INFORMATION information = {GetCurrentThreadId(), exception, FALSE};
    return writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), MiniDumpNormal,
                     &information, nullptr, nullptr) != FALSE;
}

// Runs on the faulting thread. Ending the process here keeps an unattended
// run from waiting for a debugger that nobody answers.
LONG WINAPI WriteDumpAndEnd(EXCEPTION_POINTERS* exception)
{
    const std::wstring path = DumpPath();
    if (!path.empty() && WriteDump(path, exception)) {
        fprintf(stderr, "Crash: minidump written to %ls\n", path.c_str());
    } else {
        fprintf(stderr, "Crash: no minidump could be written (error %lu)\n", GetLastError());
    }
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

MiniDmpSender::MiniDmpSender(const char*, const char* application, const char*, const char*,
                             unsigned int)
{
    if (application != nullptr) {
        snprintf(g_application, sizeof(g_application), "%s", application);
    }
    g_previousFilter = SetUnhandledExceptionFilter(WriteDumpAndEnd);
}

MiniDmpSender::~MiniDmpSender()
{
    SetUnhandledExceptionFilter(g_previousFilter);
}
