// Game Explorer registration from a script against Wine's gameux: the game
// shows in the GameUX key, a failed install takes it off again, removal takes
// the entry, the upgrade key and the task folder and may be repeated.
// Without the Game Explorer (gameux switched off in a child process) the
// upgrade key with its two values stands in, and removal takes it away.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "ChildTestRun.h"
#include "IntegrationScript.h"
#include "TestSupport.h"
#include "base/Util.h"

namespace {

using IntegrationTest::IntegrationScript;
using IntegrationTest::LuaWide;
using OstrelTest::FixturePath;
using OstrelTest::PathExists;

const char kGuid[] = "{5D6E7F80-9A1B-4C2D-8E3F-405162738495}";
const wchar_t kGameUxKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\GameUX\\";

bool KeyExists(const std::wstring& subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring GameKey()
{
    return std::wstring(kGameUxKey) + L"Games\\" + OstrelInstallEngine::Widen(kGuid);
}

std::wstring UpgradeKey()
{
    return std::wstring(kGameUxKey) + L"GamesToFindOnWindowsUpgrade\\" +
           OstrelInstallEngine::Widen(kGuid);
}

std::string AddInfo()
{
    return std::string("props.Result = install.AddGameExplorerInfo(\"") + kGuid + "\", " +
           LuaWide(FixturePath("integrations/OstrelTestGame.exe")) + ", " +
           LuaWide(FixturePath("integrations")) + ") and L\"true\" or L\"false\"\n";
}

std::string AddTasks()
{
    const std::string game = LuaWide(FixturePath("integrations/OstrelTestGame.exe"));
    return std::string("install.AddGameExplorerPlayTask(\"") + kGuid + "\", L\"Play\", 0, " +
           game + ", " + LuaWide(FixturePath("integrations")) + ", L\"-windowed\")\n" +
           "install.AddGameExplorerSupportTask(\"" + kGuid + "\", L\"Readme\", 1, " +
           LuaWide(FixturePath("integrations/TestProduct.msi")) + ")\n";
}

const std::string kRemoveInfo = std::string("uninstall.RemoveGameExplorerInfo(\"") + kGuid + "\")\n";
const std::string kFail = "util.FailWithError(L\"m\", L\"s\", L\"e\", 1)\n";

std::string Execute(const std::string& body)
{
    return "function Execute()\n" + body + "end\n";
}

std::wstring TaskFolder(IntegrationScript& script)
{
    return script.Package().GetProp("CommonAppDataDir") + L"\\Microsoft\\Windows\\GameExplorer\\" +
           OstrelInstallEngine::Widen(kGuid);
}

// Registration with its task shortcuts, rollback of a failed install,
// removal twice without problems.
TEST(GameExplorerScriptApiTest, RegistersRollsBackAndRemoves)
{
    {
        IntegrationScript failing(Execute(AddInfo() + AddTasks() + kFail));
        EXPECT_NE(nullptr, failing.ExecuteFailure());
        EXPECT_EQ(L"true", failing.Prop("Result"));
        EXPECT_FALSE(KeyExists(GameKey()));
        EXPECT_FALSE(PathExists(TaskFolder(failing)));
    }
    std::wstring taskFolder;
    {
        IntegrationScript install(Execute(AddInfo() + AddTasks()));
        taskFolder = TaskFolder(install);
        const std::wstring earlierTask = taskFolder + L"\\PlayTasks\\7";
        SHCreateDirectoryExW(nullptr, earlierTask.c_str(), nullptr);
        install.Package().Execute();
        EXPECT_EQ(L"true", install.Prop("Result"));
        EXPECT_TRUE(KeyExists(GameKey()));
        EXPECT_FALSE(PathExists(earlierTask)) << "tasks of an earlier install stay";
        EXPECT_TRUE(PathExists(taskFolder + L"\\PlayTasks\\0\\Play.lnk"));
        EXPECT_TRUE(PathExists(taskFolder + L"\\SupportTasks\\1\\Readme.lnk"));
    }
    IntegrationScript removal(Execute(kRemoveInfo + kRemoveInfo));
    removal.Package().Execute();
    EXPECT_FALSE(KeyExists(GameKey()));
    EXPECT_FALSE(PathExists(taskFolder));
    EXPECT_TRUE(removal.Package().GetErrors().empty());
}

std::wstring UpgradeValue(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, UpgradeKey().c_str(), name, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return value;
}

DWORD UpgradeValueCount()
{
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UpgradeKey().c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    return count;
}

// Runs in the child without gameux: the upgrade key stands in for the
// registration, goes at rollback and at removal.
TEST(GameExplorerScriptApiTest, WithoutGameExplorerChild)
{
    if (!OstrelTest::RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutGameExplorer";
    }
    {
        IntegrationScript failing(Execute(AddInfo() + kFail));
        EXPECT_NE(nullptr, failing.ExecuteFailure());
        EXPECT_FALSE(KeyExists(UpgradeKey()));
    }
    {
        IntegrationScript install(Execute(AddInfo()));
        install.Package().Execute();
        EXPECT_EQ(L"false", install.Prop("Result"));
    }
    EXPECT_EQ(2u, UpgradeValueCount());
    EXPECT_EQ(FixturePath("integrations/OstrelTestGame.exe"), UpgradeValue(L"GDFBinaryPath"));
    EXPECT_EQ(FixturePath("integrations"), UpgradeValue(L"GameInstallPath"));

    IntegrationScript removal(Execute(kRemoveInfo));
    removal.Package().Execute();
    EXPECT_FALSE(KeyExists(UpgradeKey()));
    EXPECT_TRUE(removal.Package().GetErrors().empty());
}

TEST(GameExplorerScriptApiTest, WithoutGameExplorer)
{
    EXPECT_EQ(0u,
              OstrelTest::RunTestsWithoutDlls(L"GameExplorerScriptApiTest.WithoutGameExplorerChild", {L"gameux"}));
}

}  // namespace
