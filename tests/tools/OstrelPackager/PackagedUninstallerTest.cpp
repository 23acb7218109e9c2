// A second product of its own, start to end: its payload's tables come from
// the tool, its uninstaller is packaged from the released one, an engine
// script installs it, and the packaged uninstaller run quietly leaves the
// machine as it found it.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "TestConfig.h"
#include "TestSupport.h"

namespace {

using OstrelTest::HostPath;
using OstrelTest::ReadFileBytes;
using OstrelTest::RunProgram;
using OstrelTest::WriteFileBytes;

const wchar_t* const kSupportFiles[] = {L"LumenUninstall.exe", L"BsSndRpt.exe", L"BugSplat.dll",
                                        L"BugSplatRC.dll", L"DBGHELP.dll"};
const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7A2E5C90-4B1D-4E3F-8C6A-2D9F0B1E5A47}";
const wchar_t kProductKey[] = L"Software\\OstrelTests\\Kestrel Works\\Lumen";

const char kProductData[] = R"lua(
UninstallId = L"{7A2E5C90-4B1D-4E3F-8C6A-2D9F0B1E5A47}"
ProductKey = L"HKEY_CURRENT_USER\\Software\\OstrelTests\\Kestrel Works\\Lumen"
SupportFiles = { L"LumenUninstall.exe", L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll", L"DBGHELP.dll" }
)lua";

const char kInstallScript[] = R"lua(
function Prepare() end
function Execute()
    install.CreateDirectoryTree(props.InstallDir)
    for i = #RemovedDirectories, 1, -1 do
        install.CreateDirectory(props.InstallDir .. RemovedDirectories[i].path)
    end
    for _, entry in ipairs(RemovedFiles) do
        install.CreateFile("payload" .. wstring.toutf8(entry.path), props.InstallDir .. entry.path)
    end
    for _, name in ipairs(SupportFiles) do
        install.CreateFile(wstring.toutf8(name), props.InstallDir .. L"\\" .. name)
    end
    install.CreateRegKeyTree(ProductKey)
    install.SetRegValue(ProductKey, L"InstallState", L"1")
    install.AddUninstallInfo(UninstallId, L"Lumen", props.InstallDir .. L"\\LumenUninstall.exe",
                             props.InstallDir, L"Kestrel Works", L"1.0")
end
)lua";

const char kUninstallScript[] = R"lua(
LocID = { UNINSTALL_INFO_NOT_FOUND = 1000001002, REMOVE_FILE_ID = 1000001501, REMOVE_DIR_ID = 1000001504 }

function Prepare()
    props.InstallDir = util.GetRegValue(
        L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" .. UninstallId,
        L"InstallLocation")
    if props.InstallDir == nil then
        local text = localizer.GetString(LocID.UNINSTALL_INFO_NOT_FOUND)
        util.FailWithError(text, text, L"Lumen is not installed", 10233)
    end
end

local function RemoveEach(list, textId, remove)
    for _, entry in ipairs(list) do
        progress.StartStep(0, 1, 1, localizer.GetFormattedString(textId, wstring.sub(entry.path, 2)))
        remove(props.InstallDir .. entry.path)
        progress.EndStep()
    end
end

function Execute()
    RemoveEach(RemovedFiles, LocID.REMOVE_FILE_ID, uninstall.RemoveFile)
    for _, name in ipairs(SupportFiles) do
        uninstall.RemoveFile(props.InstallDir .. L"\\" .. name)
    end
    RemoveEach(RemovedDirectories, LocID.REMOVE_DIR_ID, uninstall.RemoveDirectory)
    uninstall.RemoveDirectory(props.InstallDir)
    uninstall.RemoveDirectory(wstring.gsub(props.InstallDir, L"\\[^\\]*$", L""))
    uninstall.RemoveUninstallInfo(UninstallId)
    uninstall.RemoveRegKeyTree(ProductKey, L"HKEY_CURRENT_USER\\Software\\OstrelTests")
end
)lua";

std::wstring CommonAppData()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_APPDATA, FALSE);
    return path;
}

bool KeyExists(HKEY root, const std::wstring& subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// What the product touches: its folders and keys, present or not.
std::vector<bool> MachineState(const std::wstring& installDir)
{
    const std::wstring publisherDir = installDir.substr(0, installDir.rfind(L'\\'));
    return {OstrelTest::PathExists(publisherDir), OstrelTest::PathExists(installDir),
            KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey), KeyExists(HKEY_CURRENT_USER, kProductKey),
            KeyExists(HKEY_CURRENT_USER, L"Software\\OstrelTests\\Kestrel Works")};
}

// Runs a program with a pipe as its standard output and reads it to the end,
// which comes when every process holding it has ended: the bootstrap hands it
// to its copy, so this outlasts the relaunch. The first process's exit code.
int RunToTheEndOfTheChain(std::wstring commandLine)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 0xFFFFFFFF;
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    char buffer[256];
    DWORD count = 0;
    while (started && ReadFile(readEnd, buffer, sizeof(buffer), &count, nullptr) && count > 0) {
    }
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return static_cast<int>(exitCode);
}

std::wstring Packager()
{
    return L"\"" + HostPath(OSTREL_TEST_PACKAGER_EXE) + L"\" ";
}

TEST(PackagedUninstallerTest, SecondProductInstallsAndUninstallsQuietly)
{
    OstrelTest::TempFolder staging;
    const std::wstring installDir = CommonAppData() + L"\\Kestrel Works\\Lumen";
    const std::vector<bool> before = MachineState(installDir);
    ASSERT_FALSE(before[1]) << "Lumen is installed already";

    const std::wstring payload = staging.File(L"payload");
    for (const wchar_t* folder : {L"", L"\\data", L"\\data\\maps"}) {
        CreateDirectoryW((payload + folder).c_str(), nullptr);
    }
    for (const wchar_t* file : {L"\\Lumen.exe", L"\\Readme.txt", L"\\data\\maps\\one.map"}) {
        WriteFileBytes(payload + file, "Lumen");
    }
    std::string tables;
    ASSERT_EQ(0, RunProgram(Packager() + L"tables \"" + payload + L"\"", &tables)) << tables;

    const std::wstring package = staging.File(L"package");
    CreateDirectoryW(package.c_str(), nullptr);
    for (const char* table : {"OstrelInstallEngine.ucs", "OstrelUninstaller.ucs", "Uninstaller.ucs"}) {
        WriteFileBytes(package + L"\\" + std::wstring(table, table + strlen(table)),
                       ReadFileBytes(OstrelTest::SourcePath(std::string("uninstall_package/") + table)));
    }
    WriteFileBytes(package + L"\\Uninstall.lua", kProductData + tables + kUninstallScript);
    std::string output;
    const std::wstring uninstaller = HostPath(OSTREL_TEST_UNINSTALLER_EXE);
    ASSERT_EQ(0, RunProgram(Packager() + L"build \"" + uninstaller + L"\" \"" + package + L"\" \"" +
                                staging.File(L"LumenUninstall.exe") + L"\"",
                            &output))
        << output;
    const std::wstring uninstallerDir = uninstaller.substr(0, uninstaller.rfind(L'\\') + 1);
    for (const wchar_t* name : kSupportFiles) {
        if (std::wstring(name) != L"LumenUninstall.exe") {
            CopyFileW((uninstallerDir + name).c_str(), staging.File(name).c_str(), FALSE);
        }
    }
    WriteFileBytes(staging.File(L"install.lua"), kProductData + tables + kInstallScript);

    ASSERT_EQ(0, RunProgram(L"\"" + OstrelTest::ScriptHostPath() + L"\" \"" + staging.Path() +
                                L"\" --script install.lua --prop \"InstallDir=" + installDir + L"\"",
                            &output))
        << output;
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true}), MachineState(installDir));
    EXPECT_EQ("Lumen", ReadFileBytes(installDir + L"\\data\\maps\\one.map"));

    EXPECT_EQ(0, RunToTheEndOfTheChain(L"\"" + installDir + L"\\LumenUninstall.exe\" quiet"));
    EXPECT_EQ(before, MachineState(installDir));
}

}  // namespace
