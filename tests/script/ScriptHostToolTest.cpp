// The script host tool runs a script folder the way the uninstaller runs its
// package and prints the outcome; tests of debug output use it too, since the
// script's debug.Print writes to the standard output of its process.
#include <gtest/gtest.h>

#include "HostTestSupport.h"
#include "TestSupport.h"

namespace {

using OstrelTest::RunProgram;
using OstrelTest::ScriptHostPath;

// Each phase's outcome has its exit code and its lines: debug output, problems
// with props given on the command line, progress lines, and each failure.
TEST(ScriptHostToolTest, OutcomesAndTheirExitCodes)
{
    const struct {
        const char* script;
        const wchar_t* options;
        int exitCode;
        const char* outputStart;
        const char* outputPart;  // none: the output is exactly its start
    } cases[] = {
        {"function Prepare() end\nfunction Execute() debug.Print(L'a' .. L'b\\n') debug.Print(L'no newline') end", L"", 0,
         "OPENED\nab\nno newlineSUCCESS\n", nullptr},
        {"function Prepare() end\nfunction Execute() util.RecordError(L'm', props.Summary, L'e', 10801) end",
         L"--prop \"Summary=Left behind\"", 0, "OPENED\nPROBLEM\tLeft behind (10801)\nSUCCESS\n", nullptr},
        {"function Prepare() end\nfunction Execute() progress.Report(1, 4, L'quarter') util.Sleep(0.2) end", L"--progress",
         0, "OPENED\n", "PROGRESS\t0.2500\tquarter\nPROGRESS\t1.0000\tquarter\nSUCCESS\n"},
        {"this is not Lua", L"", 1, "ERROR\tOpen\tUnexpected exception Lua exception: ", ""},
        {"function Prepare() util.FailWithError(L'm', L's', L'not now', 10232) end", L"", 2,
         "OPENED\nERROR\tPrepare\tnot now (10232)\n", nullptr},
        {"function Prepare() end function Execute() util.FailWithError(L'm', L's', L'failed', 10233) end", L"", 3,
         "OPENED\nInstall error:\nfailed (10233)\n", "ERROR\tExecute\tfailed (10233)\n"},
        {"", L"--no-such-option", 4, "", ""},
    };
    OstrelTest::TempFolder folder;
    for (const auto& c : cases) {
        OstrelTest::WriteFileBytes(folder.File(L"uninstall.lua"), c.script);
        std::string output;
        EXPECT_EQ(c.exitCode, RunProgram(L"\"" + ScriptHostPath() + L"\" \"" + folder.Path() + L"\" " + c.options, &output));
        EXPECT_EQ(0u, output.find(c.outputStart)) << output;
        EXPECT_TRUE(c.outputPart ? output.find(c.outputPart) != std::string::npos : output == c.outputStart) << output;
    }
}

// A script also runs from a zip archive.
TEST(ScriptHostToolTest, ScriptRunsFromAZipArchive)
{
    std::string output;
    EXPECT_EQ(0, RunProgram(L"\"" + ScriptHostPath() + L"\" \"" + OstrelTest::FixturePath("script-package.zip") + L"\"",
                            &output));
    EXPECT_EQ("OPENED\nfrom the archive\nSUCCESS\n", output);
}

}  // namespace
