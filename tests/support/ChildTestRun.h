// Runs cases of the current test program in a child process whose
// environment differs: more Wine DLL overrides (to take a platform service
// away) and a marker variable that lets those cases run there only.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelTest {

const wchar_t kChildTestMarker[] = L"OSTREL_TEST_IN_CHILD";

inline bool RunningAsChildTest()
{
    return GetEnvironmentVariableW(kChildTestMarker, nullptr, 0) != 0;
}

// The child's exit code: 0 when every selected case passed.
inline DWORD RunTestsInChild(const std::wstring& gtestFilter, const std::wstring& dllOverrides)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t inherited[1024] = {};
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", inherited, 1024);
    const std::wstring overrides = std::wstring(inherited) + L";" + dllOverrides;
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
    SetEnvironmentVariableW(kChildTestMarker, L"1");
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + gtestFilter;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &started)) {
        WaitForSingleObject(started.hProcess, INFINITE);
        GetExitCodeProcess(started.hProcess, &exitCode);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    SetEnvironmentVariableW(kChildTestMarker, nullptr);
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", inherited);
    return exitCode;
}

}  // namespace OstrelTest
