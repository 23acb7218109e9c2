// Quiet mode's lines, read back from the debug channel through OstrelDebugView,
// and its exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "TestSupport.h"
#include "UninstallerProcess.h"
#include "base/UniqueHandle.h"

namespace {

using namespace OstrelTest;
using OstrelInstallEngine::UniqueHandle;

// The lines of a chain's output (each ends with a line feed).
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines = SplitList(text, '\n');
    lines.pop_back();
    return lines;
}

// The expected lines appear in this order (others may come between them).
bool ContainsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected)
{
    size_t next = 0;
    for (const std::string& line : lines) {
        if (next < expected.size() && line == expected[next]) {
            ++next;
        }
    }
    return next == expected.size();
}

ProcessRunResult RunQuietCopy(const std::string& scenario, bool throughDebugView)
{
    const std::wstring uninstaller = Quoted(ScenarioUninstallerExe()) + L" bootstrapped-quiet";
    return RunProcessChain(throughDebugView ? Quoted(DebugViewExe()) + L" " + uninstaller : uninstaller,
                           {L"", scenario});
}

const char kFailureLine[] = "ERROR\tAn error occurred during uninstall";

// First line at 0.0000 with the empty text; changes of 0.001 or less with the
// same text write nothing, text changes always do; line feeds and backslashes
// are escaped, tabs are not; problems come just before the final line; a
// character the runtime's encoding lacks becomes '?' and the line goes on.
TEST(QuietModeTest, LinesAndExitCodes)
{
    const struct {
        std::string scenario;
        DWORD exitCode;
        size_t exactTail;  // how many of the last lines come just as expected
        std::vector<std::string> expected;
    } cases[] = {
        {"success", 0, 3,
         {"PROGRESS\t0.0000\t", "PROGRESS\t0.5000\tHalf", "PROGRESS\t0.5011\tHalf",
          "PROGRESS\t0.5011\tTwo\\nlines, a back\\\\slash and a\ttab",
          "PROBLEM\tFirst problem (10301)", "PROBLEM\tSecond\\\\problem (10302)", "SUCCESS"}},
        {"fail-execute", 1, 1, {"PROGRESS\t0.0000\t", "PROGRESS\t0.2500\tWorking", kFailureLine}},
        {"fail-prepare", 1, 1, {"PROGRESS\t0.0000\t", kFailureLine}},
        {"wide-text", 0, 1, {"PROGRESS\t0.0000\t", "PROGRESS\t0.5000\tOmega ? end", "SUCCESS"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.scenario);
        const ProcessRunResult viewed = RunQuietCopy(testCase.scenario, true);
        const std::vector<std::string> lines = Lines(viewed.output);
        ASSERT_GE(lines.size(), testCase.expected.size()) << viewed.output;
        EXPECT_EQ(testCase.expected.front(), lines.front());
        EXPECT_EQ(std::vector<std::string>(testCase.expected.end() - testCase.exactTail, testCase.expected.end()),
                  std::vector<std::string>(lines.end() - testCase.exactTail, lines.end()));
        EXPECT_TRUE(ContainsInOrder(lines, testCase.expected)) << viewed.output;
        EXPECT_FALSE(ContainsInOrder(lines, {"PROGRESS\t0.5005\tHalf"}));
        EXPECT_EQ(testCase.exitCode, viewed.exitCode);
        EXPECT_EQ(testCase.exitCode, RunQuietCopy(testCase.scenario, false).exitCode);
    }
}

// While one quiet uninstall holds the install lock, a second one ends at once
// with the exception line of 10367 and exit code 2; the first one ends as
// if it had been alone.
TEST(QuietModeTest, SecondUninstallFindsTheLockHeld)
{
    InstallLockHolder holder;
    const ProcessRunResult viewed = RunQuietCopy("success", true);
    const ProcessRunResult direct = RunQuietCopy("success", false);
    const DWORD holderExitCode = holder.Release();

    EXPECT_EQ((std::vector<std::string>{
                  "ERROR\tAnother install or uninstall is in progress. Please cancel that "
                  "installation or wait for it to finish before proceeding. If you cannot resolve "
                  "this problem, please contact Brondel technical support. (Error code 10367)"}),
              Lines(viewed.output));
    EXPECT_EQ(2u, viewed.exitCode);
    EXPECT_EQ(2u, direct.exitCode);
    EXPECT_EQ(0u, holderExitCode);
}

// A product installed for the deployment cases: a copy of the scenario
// uninstaller with the crash reporter's files in a folder of its own, and the
// key that stands for its entry in the list of installed programs.
class DeployedProduct {
public:
    DeployedProduct() : m_entry(L"DeployedProduct")
    {
        CreateDirectoryW(Folder().c_str(), nullptr);
        m_uninstaller = PlaceUninstaller(Folder(), ScenarioUninstallerExe());
    }
    ~DeployedProduct() { ForgetPendingDeletionsUnder(m_temp.Path()); }
    std::wstring Folder() const { return m_folder.File(L"Product"); }
    // The chain's TMP and TEMP, with the trailing backslash of a temp path.
    std::wstring TempPath() const { return m_temp.Path() + L"\\"; }
    const std::wstring& Uninstaller() const { return m_uninstaller; }
    bool EntryExists() const { return KeyExists(HKEY_CURRENT_USER, m_entry.Subkey()); }

    // Starts the entry's quiet command as a deployment tool does and waits for
    // that process only; its exit code.
    DWORD RunAsDeploymentTool(const std::string& scenario)
    {
        const ScopedEnvironmentVariable scenarioName(L"OSTREL_TEST_SCENARIO", std::wstring(scenario.begin(), scenario.end()));
        const ScopedEnvironmentVariable product(L"OSTREL_TEST_PRODUCT_DIR", Folder());
        const ScopedEnvironmentVariable tmp(L"TMP", m_temp.Path()), temp(L"TEMP", m_temp.Path());
        std::wstring command = Quoted(m_uninstaller) + L" quiet";
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION started = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            return STILL_ACTIVE;
        }
        const UniqueHandle process(started.hProcess), thread(started.hThread);
        DWORD exitCode = STILL_ACTIVE;
        WaitForSingleObject(process.Get(), 120000);
        GetExitCodeProcess(process.Get(), &exitCode);
        return exitCode;
    }

private:
    TempFolder m_folder, m_temp;
    TestRegistryKey m_entry;
    std::wstring m_uninstaller;
};

bool GoneWithin(const std::wstring& path, DWORD milliseconds)
{
    for (DWORD waited = 0; PathExists(path); waited += 50) {
        if (waited >= milliseconds) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// As a deployment tool runs the entry's quiet command: the process it starts
// returns once the uninstall is over (the entry is gone by then), with the
// outcome as its exit code, and the product's folder, which held that
// process's own files, goes a moment later. A run that cannot proceed (the
// preparation fails, as for a running game; another install holds the lock)
// returns non-zero and removes nothing.
TEST(QuietModeTest, DeploymentToolWaitsForTheOutcome)
{
    const struct {
        const char* scenario;
        bool lockHeld;
        DWORD exitCode;
        bool removed;
    } cases[] = {{"own-files", false, 0, true}, {"fail-prepare", false, 1, false}, {"own-files", true, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + (c.lockHeld ? ", lock held" : ""));
        DeployedProduct product;
        std::unique_ptr<InstallLockHolder> holder(c.lockHeld ? new InstallLockHolder : nullptr);
        EXPECT_EQ(c.exitCode, product.RunAsDeploymentTool(c.scenario));
        EXPECT_EQ(!c.removed, product.EntryExists());
        if (c.removed) {
            EXPECT_TRUE(GoneWithin(product.Folder(), 10000));
        } else {
            EXPECT_TRUE(PathExists(product.Uninstaller()) && PathExists(product.Folder() + L"\\BugSplat.dll"));
        }
    }
}

// Through OstrelDebugView, which waits for the whole process family: the
// uninstaller's own files, listed first, record no problem and leave nothing.
TEST(QuietModeTest, OwnFilesListedFirstLeaveNothing)
{
    DeployedProduct product;
    const ScopedEnvironmentVariable folder(L"OSTREL_TEST_PRODUCT_DIR", product.Folder());
    const ProcessRunResult viewed =
        RunProcessChain(Quoted(DebugViewExe()) + L" " + Quoted(product.Uninstaller()) + L" quiet",
                        {product.TempPath(), "own-files"});
    EXPECT_EQ(0u, viewed.exitCode) << viewed.output;
    EXPECT_EQ("SUCCESS", Lines(viewed.output).back());
    EXPECT_EQ(std::string::npos, viewed.output.find("PROBLEM")) << viewed.output;
    EXPECT_FALSE(PathExists(product.Folder()));
    EXPECT_FALSE(product.EntryExists());
}

}  // namespace
