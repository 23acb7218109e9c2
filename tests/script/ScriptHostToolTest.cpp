// The script host tool runs a script folder the way the uninstaller runs its
// package and prints the outcome; tests of debug output use it too, since the
// script's debug.Print writes to the standard output of its process.
#include <gtest/gtest.h>

#include "HostTestSupport.h"
#include "TestSupport.h"

namespace {

using OstrelTest::RunProgram;
using OstrelTest::ScriptHostPath;

class ScriptHostToolTest : public testing::Test {
protected:
    int Run(const std::string& script, const std::wstring& options, std::string* output)
    {
        OstrelTest::WriteFileBytes(m_folder.File(L"uninstall.lua"), script);
        return RunProgram(L"\"" + ScriptHostPath() + L"\" \"" + m_folder.Path() + L"\" " + options,
                          output);
    }

    OstrelTest::TempFolder m_folder;
};

TEST_F(ScriptHostToolTest, SuccessfulRunPrintsItsDebugOutputAndSuccess)
{
    std::string output;
    EXPECT_EQ(0, Run("function Prepare() end\n"
                     "function Execute() debug.Print(L'a' .. L'b\\n') debug.Print(L'no newline') end",
                     L"", &output));
    EXPECT_EQ("OPENED\nab\nno newlineSUCCESS\n", output);
}

TEST_F(ScriptHostToolTest, ScriptRunsFromAZipArchive)
{
    std::string output;
    EXPECT_EQ(0, RunProgram(L"\"" + ScriptHostPath() + L"\" \"" +
                                OstrelTest::FixturePath("script-package.zip") + L"\"",
                            &output));
    EXPECT_EQ("OPENED\nfrom the archive\nSUCCESS\n", output);
}

TEST_F(ScriptHostToolTest, ProblemsAndPropsAreShown)
{
    std::string output;
    EXPECT_EQ(0, Run("function Prepare() end\n"
                     "function Execute() util.RecordError(L'm', props.Summary, L'e', 10801) end",
                     L"--prop \"Summary=Left behind\"", &output));
    EXPECT_EQ("OPENED\nPROBLEM\tLeft behind (10801)\nSUCCESS\n", output);
}

TEST_F(ScriptHostToolTest, FailuresOfEachPhaseHaveTheirExitCode)
{
    std::string output;
    EXPECT_EQ(1, Run("this is not Lua", L"", &output));
    EXPECT_EQ(0u, output.find("ERROR\tOpen\tUnexpected exception Lua exception: "));
    EXPECT_EQ(2, Run("function Prepare() util.FailWithError(L'm', L's', L'not now', 10232) end", L"", &output));
    EXPECT_EQ("OPENED\nERROR\tPrepare\tnot now (10232)\n", output);
    EXPECT_EQ(3, Run("function Prepare() end function Execute() util.FailWithError(L'm', L's', L'failed', 10233) end",
                     L"", &output));
    EXPECT_EQ(0u, output.find("OPENED\nInstall error:\nfailed (10233)\n"));
    EXPECT_NE(std::string::npos, output.find("ERROR\tExecute\tfailed (10233)\n"));
    EXPECT_EQ(4, Run("", L"--no-such-option", &output));
}

TEST_F(ScriptHostToolTest, ProgressLinesFollowTheScript)
{
    std::string output;
    EXPECT_EQ(0, Run("function Prepare() end\n"
                     "function Execute() progress.Report(1, 4, L'quarter') util.Sleep(0.2) end",
                     L"--progress", &output));
    EXPECT_NE(std::string::npos, output.find("PROGRESS\t0.2500\tquarter\n"));
    EXPECT_NE(std::string::npos, output.find("PROGRESS\t1.0000\tquarter\nSUCCESS\n"));
}

}  // namespace
