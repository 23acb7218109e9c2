// Where the program's libraries come from: Windows's own from the system
// folder only, and the crash reporter that travels with the program from the
// program's folder, by full path. A library planted anywhere else (beside the
// program under a system DLL's name, in the current folder, on PATH) is never
// loaded, however the program was started and whoever runs it.
//
// The loader binds the statically imported DLLs before any of this runs; the
// build keeps that list to kernel32, msvcrt and advapi32 and delay-loads the
// rest (cmake/DelayLoad.cmake), so that every other library goes through the
// delay-load hook of SystemLibraries.cpp.
#pragma once

#include <windows.h>

#include <string>

// From here on, a library asked for by bare name (LoadLibraryW, the
// delay-loads, and what the libraries load for themselves) is looked for in
// the system folder only. Windows 7 without update KB2533623 lacks the call;
// there only the current folder leaves the search.
void RestrictDllSearchToSystemFolder();

// Whether the crash reporter's library beside the program loads (it stays
// loaded); the search is restricted first.
bool IsCrashReporterLibraryPresent();

// A library of the system folder, by bare name ("comctl32.dll"); null when it
// cannot be loaded (GetLastError tells why). The caller owns the reference.
HMODULE LoadSystemLibrary(const std::wstring& name);
