// Runs cases of the current test program in a child process that lacks some
// platform DLLs, to show what the engine does without those services. Wine
// does not hand WINEDLLOVERRIDES from a Windows parent to its child, so the
// child is a copy of the program under a name of its own whose per-program
// overrides (HKCU\Software\Wine\AppDefaults\<name>\DllOverrides) switch the
// DLLs off. A marker variable lets the selected cases run there only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "TestSupport.h"

namespace OstrelTest {

const wchar_t kChildTestMarker[] = L"OSTREL_TEST_IN_CHILD";

inline bool RunningAsChildTest()
{
    return GetEnvironmentVariableW(kChildTestMarker, nullptr, 0) != 0;
}

// The child's exit code: 0 when every selected case passed.
inline DWORD RunTestsWithoutDlls(const std::wstring& gtestFilter,
                                 const std::vector<std::wstring>& disabledDlls)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    TempFolder folder;
    const std::wstring childName = L"OstrelChildTests.exe";
    const std::wstring child = folder.File(childName);
    CopyFileW(self, child.c_str(), FALSE);
    const std::wstring overridesKey =
        L"Software\\Wine\\AppDefaults\\" + childName + L"\\DllOverrides";
    for (const std::wstring& dll : disabledDlls) {
        WriteRegistryValue(HKEY_CURRENT_USER, overridesKey, dll, StringValue(L""));
    }
    SetEnvironmentVariableW(kChildTestMarker, L"1");
    const DWORD exitCode =
        RunAndWait(L"\"" + child + L"\" --gtest_filter=" + gtestFilter, STARTUPINFOW{}, false);
    SetEnvironmentVariableW(kChildTestMarker, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + childName).c_str());
    return exitCode;
}

}  // namespace OstrelTest
