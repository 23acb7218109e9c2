#define OSTREL_BUILDING_BUGSPLAT
#include "BugSplat.h"

#include <windows.h>
#include <dbghelp.h>

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

std::string DumpPath()
{
    char tempFolder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(MAX_PATH + 1, tempFolder);
    if (length == 0 || length > MAX_PATH) {
        return std::string();
    }
    char name[128];
    snprintf(name, sizeof(name), "%s-%lu-%lu.dmp", g_application, GetCurrentProcessId(),
             GetTickCount());
    return std::string(tempFolder) + name;
}

bool WriteDump(const std::string& path, EXCEPTION_POINTERS* exception)
{
    const OstrelInstallEngine::UniqueModule dbgHelp(LoadSystemDbgHelp());
    if (!dbgHelp.IsValid()) {
        return false;
    }
    auto writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(dbgHelp.Get(), "MiniDumpWriteDump")));
    const OstrelInstallEngine::UniqueFileHandle file(CreateFileA(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    const std::string path = DumpPath();
    if (!path.empty() && WriteDump(path, exception)) {
        fprintf(stderr, "Crash: minidump written to %s\n", path.c_str());
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
