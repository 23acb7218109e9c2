// The script functions that drive platform services: the firewall, the Game
// Explorer (Wine's gameux), Windows Installer packages built by wixl, a child
// program that starts a grandchild, and a sub-install that takes the install
// lock while it runs.
#include <gtest/gtest.h>

#include "ChildTestRun.h"
#include "ScriptRun.h"
#include "TestConfig.h"

#include <shlobj.h>

namespace {

using namespace OstrelTest;

const std::string kFail = "util.FailWithError(L'm', L's', L'e', 77)\n";

// The report of a failed Execute: code text, localized summary, English text.
void ExpectFailure(const std::string& body, const std::wstring& codePrefix,
                   const std::wstring& summary, const std::wstring& englishPrefix)
{
    ScriptRun script(body);
    const auto failure = script.Failure();
    ASSERT_NE(nullptr, failure) << body;
    EXPECT_EQ(0u, failure->GetErrorCode().find(codePrefix)) << failure->what();
    EXPECT_EQ(0u, failure->GetLocalizedSummary().find(summary)) << failure->what();
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(englishPrefix)) << failure->what();
}

// What props.Result holds after the body, the expression formatted as text.
std::wstring Evaluate(const std::string& body, const std::string& expression)
{
    ScriptRun script(body + "\nprops.Result = localizer.FormatString(L'%1R%', " + expression + ")");
    script.Package().Execute();
    return script.Prop("Result");
}

std::string BoolText(const std::string& expression)
{
    return "(" + expression + ") and L'true' or L'false'";
}

// Add and remove succeed (Wine keeps nothing, so only the sequence shows), and the rollback
// of a failed install runs; the wrapper's checks show in the platform tests.
TEST(PlatformScriptApiTest, Firewall)
{
    const std::string add = "install.AddAppToFirewall(L'C:\\\\Game\\\\Game.exe', L'Game')\n";
    const std::string remove = "uninstall.RemoveAppFromFirewall(L'C:\\\\Game\\\\Game.exe')\n";
    EXPECT_EQ(nullptr, ScriptRun(add + remove + remove).Failure());
    EXPECT_EQ(L"77", FailureCode([&] { ScriptRun(add + kFail).Package().Execute(); }));
}

const char kGuid[] = "{5D6E7F80-9A1B-4C2D-8E3F-405162738495}";
const std::wstring kGameUx = L"Software\\Microsoft\\Windows\\CurrentVersion\\GameUX\\";
const std::wstring kGameKey = kGameUx + L"Games\\" + std::wstring(kGuid, kGuid + 38);
const std::wstring kUpgradeKey =
    kGameUx + L"GamesToFindOnWindowsUpgrade\\" + std::wstring(kGuid, kGuid + 38);
const std::string kGame = LuaWide(FixturePath("integrations/OstrelTestGame.exe"));
const std::string kGameFolder = LuaWide(FixturePath("integrations"));
const std::string kAddInfo = std::string("props.Result = install.AddGameExplorerInfo('") + kGuid +
                             "', " + kGame + ", " + kGameFolder + ") and L'true' or L'false'\n";
const std::string kAddTasks =
    std::string("install.AddGameExplorerPlayTask('") + kGuid + "', L'Play', 0, " + kGame + ", " +
    kGameFolder + ", L'-windowed')\ninstall.AddGameExplorerSupportTask('" + kGuid +
    "', L'Readme', 1, " + LuaWide(FixturePath("integrations/TestProduct.msi")) + ")\n";
const std::string kRemoveInfo = std::string("uninstall.RemoveGameExplorerInfo('") + kGuid + "')\n";

void ExpectCleanRemoval(const std::string& body)
{
    ScriptRun removal(body);
    EXPECT_EQ(nullptr, removal.Failure());
    EXPECT_TRUE(removal.Problems().empty());
}

// Registration shows in the prefix's GameUX key with its task shortcuts and
// replaces tasks of an earlier install; a failed install takes it off again;
// removal takes the entry and the task folder, also twice; a binary without a
// game definition is refused.
TEST(PlatformScriptApiTest, GameExplorer)
{
    std::wstring tasks;
    {
        ScriptRun failing(kAddInfo + kAddTasks + kFail);
        tasks = failing.Package().GetProp("CommonAppDataDir") +
                L"\\Microsoft\\Windows\\GameExplorer\\" + std::wstring(kGuid, kGuid + 38);
        EXPECT_NE(nullptr, failing.Failure());
        EXPECT_EQ(L"true", failing.Prop("Result"));
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kGameKey) || PathExists(tasks));

    SHCreateDirectoryExW(nullptr, (tasks + L"\\PlayTasks\\7").c_str(), nullptr);
    EXPECT_EQ(L"true", Evaluate(kAddInfo + kAddTasks, "props.Result"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kGameKey));
    EXPECT_FALSE(PathExists(tasks + L"\\PlayTasks\\7")) << "tasks of an earlier install stay";
    EXPECT_TRUE(PathExists(tasks + L"\\PlayTasks\\0\\Play.lnk"));
    EXPECT_TRUE(PathExists(tasks + L"\\SupportTasks\\1\\Readme.lnk"));

    ExpectCleanRemoval(kRemoveInfo + kRemoveInfo);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kGameKey) || PathExists(tasks));

    ExpectFailure(std::string("install.AddGameExplorerInfo('") + kGuid + "', " +
                      LuaWide(FixturePath("integrations/ChildProgram.exe")) + ", L'C:\\\\')",
                  L"10028:", L"Internal check failed",
                  L"GameExplorer add game failed (IGameExplorer::AddGame returned ");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kGameKey));
}

// Runs in a child without gameux: the upgrade key with its two values stands
// in for the registration, and goes at rollback and at removal.
TEST(PlatformScriptApiTest, WithoutGameExplorerChild)
{
    if (!RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutGameExplorer";
    }
    EXPECT_NE(nullptr, ScriptRun(kAddInfo + kFail).Failure());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUpgradeKey));
    EXPECT_EQ(L"false", Evaluate(kAddInfo, "props.Result"));
    const RegistryTree upgrade = TakeRegistryTree(HKEY_LOCAL_MACHINE, kUpgradeKey);
    EXPECT_EQ((RegistryTree{{L"", {{L"GDFBinaryPath", StringValue(FixturePath("integrations/OstrelTestGame.exe"))},
                                   {L"GameInstallPath", StringValue(FixturePath("integrations"))}}}}),
              upgrade);
    ExpectCleanRemoval(kRemoveInfo);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUpgradeKey));
}

TEST(PlatformScriptApiTest, WithoutGameExplorer)
{
    EXPECT_EQ(0u, RunTestsWithoutDlls(L"PlatformScriptApiTest.WithoutGameExplorerChild", {L"gameux"}));
}

// Only the exact, case-sensitive executable name of a running process counts;
// util.Run returns after the grandchild has ended, with the first program's
// exit code; a program that cannot start fails 10170. RunSubInstall's child
// takes the lock while a third process finds it held; the call returns when
// the child's relaunched copy has ended, holding the lock again; a child that
// cannot start gives false and the lock back.
TEST(PlatformScriptApiTest, Processes)
{
    for (const char* name : {"OperationsTests.exe", "operationstests.exe", "OPERATIONSTESTS.EXE",
                             "NoSuchProgram.exe"}) {
        EXPECT_EQ(std::string(name) == "OperationsTests.exe" ? L"true" : L"false",
                  Evaluate("", BoolText(std::string("util.IsProcessRunning(L'") + name + "')")))
            << name;
    }
    TempFolder reports;
    ScopedEnvironmentVariable report(L"OSTREL_CHILD_REPORT", reports.Path());
    const std::string child = LuaWide(FixturePath("integrations/ChildProgram.exe"));
    EXPECT_EQ(L"7", Evaluate("", "util.Run(" + child + ", L'spawn 7')"));
    EXPECT_TRUE(PathExists(reports.File(L"late-done")));
    EXPECT_EQ(L"4294967295", Evaluate("", "util.Run(" + child + ", L'spawn -1')"));
    const std::wstring missing = reports.File(L"Missing.exe");
    ExpectFailure("util.Run(" + LuaWide(missing) + ", L'')", L"10170:00000002",
                  L"Unable to execute program \"" + missing + L"\".",
                  L"Error executing \"" + missing + L"\" (CreateProcessW returned ");

    DeleteFileW(reports.File(L"late-done").c_str());
    ScriptRun script("props.Result = " + BoolText("util.RunSubInstall(" + child + ")") +
                     "\nprops.Missing = " + BoolText("util.RunSubInstall(" + LuaWide(missing) + ")"));
    script.Package().Execute();
    EXPECT_EQ(L"true", script.Prop("Result"));
    EXPECT_EQ(L"false", script.Prop("Missing"));
    EXPECT_EQ("taken held", ReadFileBytes(reports.File(L"quiet-lock")));
    EXPECT_TRUE(PathExists(reports.File(L"late-done")));
    std::string output;
    EXPECT_EQ(1, RunProgram(L"\"" + FixturePath("integrations/ChildProgram.exe") + L"\" probe", &output))
        << "the lock is not held again";
}

// A real uninstaller as the child: the call returns true once the child's
// quiet chain has removed the second product, holding the lock again. The
// child runs from a copy outside the temp folder, where it refuses to start.
TEST(PlatformScriptApiTest, RunSubInstallRunsARealUninstaller)
{
    const std::wstring built = HostPath(OSTREL_TEST_SUBPRODUCT_UNINSTALLER_EXE);
    const std::wstring builtFolder = built.substr(0, built.rfind(L'\\'));
    const std::wstring folder = FixturePath("integrations");
    for (const wchar_t* file : {L"SubProductUninstaller.exe", L"BsSndRpt.exe", L"BugSplat.dll",
                                L"BugSplatRC.dll", L"DBGHELP.dll"}) {
        ASSERT_TRUE(CopyFileW((builtFolder + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(),
                              FALSE));
    }
    TestRegistryKey product(L"SubProduct");
    const wchar_t installed[] = L"yes";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, product.Subkey().c_str(), L"Installed",
                                             REG_SZ, installed, sizeof(installed)));
    ScriptRun script("props.Result = " +
                     BoolText("util.RunSubInstall(" + LuaWide(folder + L"\\SubProductUninstaller.exe") + ")"));
    script.Package().Execute();
    EXPECT_EQ(L"true", script.Prop("Result"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueW(HKEY_CURRENT_USER, product.Subkey().c_str(), L"Installed",
                                                 RRF_RT_ANY, nullptr, nullptr, nullptr));
    std::string output;
    EXPECT_EQ(1, RunProgram(L"\"" + FixturePath("integrations/ChildProgram.exe") + L"\" probe", &output))
        << "the lock is not held again";
}

// Product codes are narrow strings.
const std::wstring kProductId = L"{6F1C2B1E-3D5A-4C7B-9E21-0A1B2C3D4E51}";
const std::string kProduct = "'{6F1C2B1E-3D5A-4C7B-9E21-0A1B2C3D4E51}'";
const std::string kRebootProduct = "'{7A2D3C2F-4E6B-4D8C-8F32-1B2C3D4E5F61}'";

// Install, query and remove real products; a restart request sets
// props.RebootRequired (its removal asks for a restart too, which only
// ignored errors accept); removal of what is not installed fails only when
// errors are not ignored; each failure carries its code and its texts.
TEST(PlatformScriptApiTest, Products)
{
    const std::string installed = BoolText("util.IsMsiInstalled(" + kProduct + ")");
    EXPECT_EQ(L"false", Evaluate("", installed));
    EXPECT_EQ(L"true", Evaluate("util.InstallMsi(" +
                                    LuaWide(FixturePath("integrations/TestProduct.msi")) + ", L'')",
                                installed));
    EXPECT_EQ(L"1.2.3", Evaluate("", "util.GetMsiProperty(" + kProduct + ", L'VersionString')"));
    EXPECT_EQ(L"false", Evaluate("", BoolText("props.RebootRequired")));
    EXPECT_EQ(L"false", Evaluate("util.UninstallMsiByID(" + kProduct + ", false, false)", installed));
    EXPECT_EQ(L"false", Evaluate("util.UninstallMsiByID(" + kProduct + ", true, true)", installed));

    EXPECT_EQ(L"true", Evaluate("util.InstallMsi(" +
                                    LuaWide(FixturePath("integrations/RebootProduct.msi")) + ", L'')",
                                BoolText("props.RebootRequired")));
    EXPECT_EQ(L"false", Evaluate("util.UninstallMsiByID(" + kRebootProduct + ", true, true)",
                                 BoolText("util.IsMsiInstalled(" + kRebootProduct + ")")));

    TempFolder folder;
    const std::wstring garbage = folder.File(L"Garbage.msi");
    WriteFileBytes(garbage, "not a package");
    for (const std::wstring& path : {folder.File(L"Missing.msi"), garbage}) {
        ExpectFailure("util.InstallMsi(" + LuaWide(path) + ", L'A=1')", L"10212:",
                      L"Unable to install Windows Installer package \"" + path + L"\"",
                      L"Error installing MSI \"" + path +
                          L"\", params \"A=1\" (MsiInstallProductW returned ");
    }
    ExpectFailure("util.UninstallMsiByID(" + kProduct + ", true, false)", L"10213:",
                  L"Unable to remove Windows Installer product ID \"" + kProductId + L"\"",
                  L"Error installing product ID \"" + kProductId + L"\" (MsiConfigureProductW returned ");
    ExpectFailure("util.GetMsiProperty(" + kProduct + ", L'VersionString')", L"10246:",
                  L"Internal check failed", L"Assertion failed (ProcessScriptApi:");
}

}  // namespace
