// Quiet mode's lines, read back from the debug channel through OstrelDebugView,
// and its exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

bool InstallLockIsHeldElsewhere()
{
    const UniqueHandle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\OstrelInstallEngineMutex"));
    const DWORD result = mutex.IsValid() ? WaitForSingleObject(mutex.Get(), 0) : WAIT_FAILED;
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        ReleaseMutex(mutex.Get());
    }
    return result == WAIT_TIMEOUT;
}

// While one quiet uninstall holds the install lock, a second one ends at once
// with the exception line of 10367 and exit code 2; the first one ends as
// if it had been alone.
TEST(QuietModeTest, SecondUninstallFindsTheLockHeld)
{
    STARTUPINFOW startup = {sizeof(startup)};
    std::wstring command = Quoted(ScenarioUninstallerExe()) + L" bootstrapped-quiet";
    PROCESS_INFORMATION started = {};
    {
        ScopedEnvironmentVariable scenario(L"OSTREL_TEST_SCENARIO", L"hold-lock");
        ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &started));
    }
    const UniqueHandle holder(started.hProcess), thread(started.hThread);
    while (!InstallLockIsHeldElsewhere() && WaitForSingleObject(holder.Get(), 50) == WAIT_TIMEOUT) {
    }

    const ProcessRunResult viewed = RunQuietCopy("success", true);
    const ProcessRunResult direct = RunQuietCopy("success", false);
    WaitForSingleObject(holder.Get(), INFINITE);
    DWORD holderExitCode = STILL_ACTIVE;
    GetExitCodeProcess(holder.Get(), &holderExitCode);

    EXPECT_EQ((std::vector<std::string>{
                  "ERROR\tAnother install or uninstall is in progress. Please cancel that "
                  "installation or wait for it to finish before proceeding. If you cannot resolve "
                  "this problem, please contact Brondel technical support. (Error code 10367)"}),
              Lines(viewed.output));
    EXPECT_EQ(2u, viewed.exitCode);
    EXPECT_EQ(2u, direct.exitCode);
    EXPECT_EQ(0u, holderExitCode);
}

}  // namespace
