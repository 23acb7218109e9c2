// The process and installer-product functions against the real platform:
// Windows Installer packages built by wixl, a child program that starts a
// grandchild, and a sub-install that takes the install lock while it runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "IntegrationScript.h"
#include "TestConfig.h"
#include "TestSupport.h"

namespace {

using IntegrationTest::IntegrationScript;
using IntegrationTest::LuaWide;
using OstrelTest::FixturePath;
using OstrelTest::PathExists;
using OstrelTest::TempFolder;

const char kProduct[] = "\"{6F1C2B1E-3D5A-4C7B-9E21-0A1B2C3D4E51}\"";
const char kRebootProduct[] = "\"{7A2D3C2F-4E6B-4D8C-8F32-1B2C3D4E5F61}\"";

std::string ScriptOf(const std::string& executeBody)
{
    return "function Execute()\n" + executeBody + "\nend\n";
}

std::wstring Evaluate(const std::string& executeBody, const std::string& resultExpression)
{
    IntegrationScript script(
        ScriptOf(executeBody + "\nprops.Result = localizer.FormatString(L\"%1R%\", " +
                 resultExpression + ")"));
    script.Package().Execute();
    return script.Prop("Result");
}

std::wstring TextOf(bool value)
{
    return value ? L"true" : L"false";
}

std::string BoolText(const std::string& expression)
{
    return "(" + expression + ") and L\"true\" or L\"false\"";
}

// The report of a failed Execute: code text, localized summary, English text.
struct Failure {
    std::wstring codePrefix;
    std::wstring summary;
    std::wstring englishPrefix;
};

void ExpectFailure(const std::string& executeBody, const Failure& expected)
{
    IntegrationScript script(ScriptOf(executeBody));
    auto failure = script.ExecuteFailure();
    ASSERT_NE(nullptr, failure) << executeBody;
    EXPECT_EQ(0u, failure->GetErrorCode().find(expected.codePrefix)) << failure->what();
    EXPECT_EQ(expected.summary, failure->GetLocalizedSummary());
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(expected.englishPrefix)) << failure->what();
}

// Only the exact, case-sensitive executable name of a running process counts.
TEST(ProcessScriptApiTest, IsProcessRunningComparesExactly)
{
    const struct {
        const char* name;
        bool running;
    } cases[] = {{"OperationsTests.exe", true},
                 {"operationstests.exe", false},
                 {"OPERATIONSTESTS.EXE", false},
                 {"NoSuchProgram.exe", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(TextOf(c.running),
                  Evaluate("", BoolText(std::string("util.IsProcessRunning(L\"") + c.name + "\")")))
            << c.name;
    }
}

// util.Run returns after the grandchild has ended, with the first program's
// exit code; a program that cannot start fails 10170.
TEST(ProcessScriptApiTest, RunWaitsForEveryProcess)
{
    TempFolder reports;
    SetEnvironmentVariableW(L"OSTREL_CHILD_REPORT", reports.Path().c_str());
    const std::string child = LuaWide(FixturePath("integrations/ChildProgram.exe"));
    EXPECT_EQ(L"7", Evaluate("", "util.Run(" + child + ", L\"spawn 7\")"));
    EXPECT_TRUE(PathExists(reports.File(L"late-done")));
    EXPECT_EQ(L"4294967295", Evaluate("", "util.Run(" + child + ", L\"spawn -1\")"));

    const std::wstring missing = reports.File(L"Missing.exe");
    ExpectFailure("util.Run(" + LuaWide(missing) + ", L\"\")",
                  {L"10170:00000002", L"Unable to execute program \"" + missing + L"\".",
                   L"Error executing \"" + missing + L"\" (CreateProcessW returned "});
}

// Install, query and remove real products; a restart request sets
// props.RebootRequired (its removal asks for a restart too, which only
// ignored errors accept); removal of what is not installed fails only when
// errors are not ignored.
TEST(ProcessScriptApiTest, InstallsQueriesAndRemovesProducts)
{
    const std::string package = LuaWide(FixturePath("integrations/TestProduct.msi"));
    const std::string rebootPackage = LuaWide(FixturePath("integrations/RebootProduct.msi"));
    const std::string installed = BoolText(std::string("util.IsMsiInstalled(") + kProduct + ")");
    EXPECT_EQ(L"false", Evaluate("", installed));
    EXPECT_EQ(L"true", Evaluate("util.InstallMsi(" + package + ", L\"\")", installed));
    EXPECT_EQ(L"1.2.3", Evaluate("", std::string("util.GetMsiProperty(") + kProduct +
                                    ", L\"VersionString\")"));
    EXPECT_EQ(L"false", Evaluate("", BoolText("props.RebootRequired")));
    EXPECT_EQ(L"false", Evaluate(std::string("util.UninstallMsiByID(") + kProduct + ", false, false)",
                            installed));
    EXPECT_EQ(L"false",
              Evaluate(std::string("util.UninstallMsiByID(") + kProduct + ", true, true)", installed));

    EXPECT_EQ(L"true", Evaluate("util.InstallMsi(" + rebootPackage + ", L\"\")",
                           BoolText("props.RebootRequired")));
    EXPECT_EQ(L"false",
              Evaluate(std::string("util.UninstallMsiByID(") + kRebootProduct + ", true, true)",
                  BoolText(std::string("util.IsMsiInstalled(") + kRebootProduct + ")")));
}

// Each failure carries its code and its texts.
TEST(ProcessScriptApiTest, ProductFailures)
{
    TempFolder folder;
    const std::wstring garbage = folder.File(L"Garbage.msi");
    OstrelTest::WriteFileBytes(garbage, "not a package");
    for (const std::wstring& path : {folder.File(L"Missing.msi"), garbage}) {
        ExpectFailure("util.InstallMsi(" + LuaWide(path) + ", L\"A=1\")",
                      {L"10212:", L"Unable to install Windows Installer package \"" + path + L"\"",
                       L"Error installing MSI \"" + path +
                           L"\", params \"A=1\" (MsiInstallProductW returned "});
    }
    const std::wstring product = L"{6F1C2B1E-3D5A-4C7B-9E21-0A1B2C3D4E51}";
    ExpectFailure(std::string("util.UninstallMsiByID(") + kProduct + ", true, false)",
                  {L"10213:", L"Unable to remove Windows Installer product ID \"" + product + L"\"",
                   L"Error installing product ID \"" + product +
                       L"\" (MsiConfigureProductW returned "});
    ExpectFailure(std::string("util.GetMsiProperty(") + kProduct + ", L\"VersionString\")",
                  {L"10246:", L"Internal check failed",
                   L"Assertion failed (ProcessScriptApi:"});
}

// 1 when another process holds the install lock.
int ProbeInstallLock()
{
    std::string output;
    return OstrelTest::RunProgram(
        L"\"" + FixturePath("integrations/ChildProgram.exe") + L"\" probe", &output);
}

// The child takes the lock while a third process finds it held; the call
// returns when the child's relaunched copy has ended, holding the lock again.
// A child that cannot start gives false and the lock back.
TEST(ProcessScriptApiTest, RunSubInstallHandsTheLockOver)
{
    TempFolder reports;
    SetEnvironmentVariableW(L"OSTREL_CHILD_REPORT", reports.Path().c_str());
    IntegrationScript script(ScriptOf(
        "props.Result = " +
        BoolText("util.RunSubInstall(" + LuaWide(FixturePath("integrations/ChildProgram.exe")) +
                 ")") +
        "\nprops.Missing = " +
        BoolText("util.RunSubInstall(" + LuaWide(reports.File(L"Missing.exe")) + ")")));
    script.Package().Execute();
    EXPECT_EQ(L"true", script.Prop("Result"));
    EXPECT_EQ(L"false", script.Prop("Missing"));
    EXPECT_EQ("taken held", OstrelTest::ReadFileBytes(reports.File(L"quiet-lock")));
    EXPECT_TRUE(PathExists(reports.File(L"late-done")));
    EXPECT_EQ(1, ProbeInstallLock());
}

// A real uninstaller as the child: the call returns true once the child's
// quiet chain has removed the second product, holding the lock again. The
// child runs from a copy outside the temp folder, where it refuses to start.
TEST(ProcessScriptApiTest, RunSubInstallRunsARealUninstaller)
{
    const std::wstring built = OstrelTest::HostPath(OSTREL_TEST_SUBPRODUCT_UNINSTALLER_EXE);
    const std::wstring builtFolder = built.substr(0, built.rfind(L'\\'));
    const std::wstring folder = FixturePath("integrations");
    const std::wstring uninstaller = folder + L"\\SubProductUninstaller.exe";
    for (const wchar_t* file : {L"SubProductUninstaller.exe", L"BsSndRpt.exe", L"BugSplat.dll",
                                L"BugSplatRC.dll", L"DBGHELP.dll"}) {
        ASSERT_TRUE(CopyFileW((builtFolder + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(), FALSE));
    }
    OstrelTest::TestRegistryKey product(L"SubProduct");
    const wchar_t installed[] = L"yes";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, product.Subkey().c_str(), L"Installed",
                                             REG_SZ, installed, sizeof(installed)));

    IntegrationScript script(
        ScriptOf("props.Result = " + BoolText("util.RunSubInstall(" + LuaWide(uninstaller) + ")")));
    script.Package().Execute();
    EXPECT_EQ(L"true", script.Prop("Result"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueW(HKEY_CURRENT_USER, product.Subkey().c_str(), L"Installed",
                                                 RRF_RT_ANY, nullptr, nullptr, nullptr));
    EXPECT_EQ(1, ProbeInstallLock());
}

}  // namespace
