// The script host: loading a script, the Prepare and Execute phases, how
// failures leave them, problem recording, and the order of rollback and
// commit tasks.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "operations/ScriptApi.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::MemoryFilePackage;
using OstrelTest::ScriptPackage;

std::string Script(const std::string& body)
{
    return "props.Trace = L''\nfunction Trace(text) props.Trace = props.Trace .. text end\n" + body;
}

// How a phase fails: a Lua failure is wrapped ("Unexpected exception" and the
// Lua exception, whose code names the phase); an engine exception leaves as
// it is, even past pcall and coroutines, after the rollback ran last-first.
struct PhaseFailure {
    const char* script;
    bool execute;
    int code;
    bool wrapped;
    std::wstring english;  // the Lua message when wrapped
    std::wstring trace;
    std::wstring problem = L"";  // the one problem recorded, if any
    bool throwingReporter = false;
};

// A reporter that fails as the rollback starts.
class ThrowingReporter : public ProgressReporter {
public:
    void ReportProgress(double, const std::wstring&) override
    {
        throw GenericException(L"m", L"s", L"reporter failed", 10558);
    }
};

const PhaseFailure kPhaseFailures[] = {
    {"function Execute() end", false, 10222, true, L"m_functionObj.IsFunction()", L""},
    {"", false, 10222, true, L"m_functionObj.IsFunction()", L"<missing>"},
    {"function Prepare() end", true, 10003, true, L"m_functionObj.IsFunction()", L""},
    // The chunk is named by its own text, whose first line is not empty here.
    {"function Execute()\n install.AddRollbackTask(function() Trace(L'rolled back') end)\n error('boom')\nend", true,
     10003, true, L"[string \"props.Trace = L''...\"]:5: boom", L"rolled back"},
    // Prepare neither commits nor rolls back.
    {"function Prepare() install.AddRollbackTask(function() Trace(L'R') end)"
     " install.AddCommitTask(function() Trace(L'C') end) util.FailWithError(L'm', L's', L'e', 10232) end",
     false, 10232, false, L"e", L""},
    {"function Execute() install.AddRollbackTask(function() Trace(L'A') end)"
     " install.AddRollbackTask(function() Trace(L'B') end) install.AddCommitTask(function() Trace(L'commit') end)"
     " util.FailWithError(L'm', L's', L'e', 10555) end",
     true, 10555, false, L"e", L"BA"},
    // Later API calls of a failed phase fail the same way.
    {"function Execute() install.AddRollbackTask(function() Trace(L'R') end)"
     " local ok = pcall(util.FailWithError, L'm', L's', L'swallowed?', 10603) Trace(ok and L'ok' or L'caught')"
     " local again = pcall(install.AddRollbackTask, function() Trace(L'X') end) Trace(again and L'+' or L'-') end",
     true, 10603, false, L"swallowed?", L"caught-R"},
    {"function Execute() coroutine.resume(coroutine.create(function()"
     " util.FailWithError(L'm', L's', L'in coroutine', 10604) end)) end",
     true, 10604, false, L"in coroutine", L""},
    // The state stays usable for the rollback after an engine exception.
    {"local data = { L'x', L'y' }\nfunction Execute() install.AddRollbackTask(function()"
     " for _, item in ipairs(data) do Trace(item .. L';') end Trace(localizer.GetString(1000010003)) end)"
     " util.FailWithError(L'm', L's', L'e', 10605) end",
     true, 10605, false, L"e", L"x;y;Internal check failed"},
    // A failed undo does not stop the others, and the user learns of it as a
    // problem of the run that names what stayed, even with warnings suppressed.
    {"function Execute() install.AddRollbackTask(function() Trace(L'A') end)"
     " install.AddRollbackTask(function() error('save folder not restored', 0) end)"
     " install.AddRollbackTask(function() Trace(L'C') end) uninstall.StartSuppressWarnings()"
     " util.FailWithError(L'm', L's', L'e', 10556) end",
     true, 10556, false, L"e", L"CA", L"Unable to undo a change: save folder not restored (10016)"},
    // A failing reporter loses no undo work, and the run's own failure leaves.
    {"function Execute() install.AddRollbackTask(function() Trace(L'A') end)"
     " install.AddRollbackTask(function() Trace(L'B') end) util.FailWithError(L'm', L's', L'e', 10557) end",
     true, 10557, false, L"e", L"BA", L"", true},
};

TEST(InstallerPackageTest, PhaseFailures)
{
    for (const PhaseFailure& c : kPhaseFailures) {
        SCOPED_TRACE(c.script);
        ScriptPackage script(*c.script != '\0' ? Script(c.script) : std::string());
        EXPECT_TRUE(script.Package().IsOpen());
        ThrowingReporter reporter;
        if (c.throwingReporter) {
            script.Package().SetProgressReporter(&reporter);
        }
        auto error = CatchEngineFailure([&] { c.execute ? script.Package().Execute() : script.Package().Prepare(); });
        script.Package().SetProgressReporter(nullptr);
        ASSERT_NE(nullptr, error);
        EXPECT_EQ(std::to_wstring(c.code), error->GetErrorCode());
        if (c.wrapped) {
            EXPECT_NE(nullptr, dynamic_cast<const SanityCheckException*>(error.get()));
            const Exception* cause = error->GetCause();
            ASSERT_NE(nullptr, dynamic_cast<const LuaException*>(cause));
            EXPECT_EQ(std::to_wstring(c.code), cause->GetErrorCode());
            EXPECT_EQ(L"Lua exception: " + c.english, cause->GetEnglishMessage());
            EXPECT_EQ(L"Unexpected exception Lua exception: " + c.english, error->GetEnglishMessage());
        } else {
            EXPECT_NE(nullptr, dynamic_cast<const GenericException*>(error.get()));
            EXPECT_EQ(c.english, error->GetEnglishMessage());
            EXPECT_EQ(L"m", error->GetLocalizedMessage());
            EXPECT_EQ(L"s", error->GetLocalizedSummary());
        }
        EXPECT_EQ(c.trace, script.Prop("Trace"));
        const auto problems = script.Package().GetErrors();
        EXPECT_EQ(c.problem.empty() ? 0u : 1u, problems.size());
        if (!c.problem.empty() && problems.size() == 1) {
            EXPECT_EQ(c.problem, problems[0]->GetDisplaySummary());
            EXPECT_EQ(L"Rollback task failed: Lua exception: save folder not restored", problems[0]->GetEnglishMessage());
        }
    }
}

// Open refuses a broken or missing script and leaves the package closed (and
// the install lock free); a second Open or Close is refused.
TEST(InstallerPackageTest, OpenAndCloseFailures)
{
    MemoryFilePackage files;
    files.Add("broken.lua", "function Prepare(");
    files.Add("uninstall.lua", "");
    InstallerPackage package(&ScriptApi::Register);
    auto syntax = CatchEngineFailure([&] { package.Open(&files, "broken.lua"); });
    ASSERT_NE(nullptr, syntax);
    EXPECT_EQ(L"10188", syntax->GetErrorCode());
    EXPECT_EQ(0u, syntax->GetEnglishMessage().find(L"Unexpected exception Lua exception: "));
    EXPECT_FALSE(package.IsOpen());
    auto missing = CatchEngineFailure([&] { package.Open(&files, "missing.lua"); });
    ASSERT_NE(nullptr, missing);
    EXPECT_EQ(L"No such test file", missing->GetEnglishMessage());
    EXPECT_FALSE(package.IsOpen());

    package.Open(&files, "uninstall.lua");
    EXPECT_EQ(L"10384", OstrelTest::FailureCode([&] { package.Open(&files, "uninstall.lua"); }));
    package.Close();
    EXPECT_EQ(L"10385", OstrelTest::FailureCode([&] { package.Close(); }));
}

// Commit tasks run first to last and drop the rollback tasks; those queued by
// a commit task run in the same commit, after the others, each once.
TEST(InstallerPackageTest, CommitRunsInOrderWithTasksQueuedDuringIt)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddCommitTask(function()
        for i = 1, 200 do install.AddCommitTask(function() Trace(L"+") end) end
        Trace(L"A")
    end)
    install.AddRollbackTask(function() Trace(L"r") end)
    install.AddCommitTask(function() Trace(L"B") end)
    install.AddCommitTask(function() Trace(L"C") end)
end)lua"));
    script.Package().Execute();
    EXPECT_EQ(L"ABC" + std::wstring(200, L'+'), script.Prop("Trace"));
}

// The trace of a task that runs while Close drops the script state has to
// leave Lua: a function of the test's own records it.
std::wstring g_closeTrace;

void RecordCloseTrace(ScriptCall& call)
{
    g_closeTrace += call.WideArgument(1);
}

// Close rolls back what Prepare recorded, last first.
TEST(InstallerPackageTest, CloseRollsBackWhatPrepareRecordedLastFirst)
{
    ScriptPackage script(R"lua(
function Prepare()
    install.AddRollbackTask(function() test.Trace(L"A") end)
    install.AddRollbackTask(function() test.Trace(L"B") end)
    install.AddRollbackTask(function() test.Trace(L"C") end)
end)lua");
    script.Package().GetBinding().CreateApiTable("test");
    script.Package().GetBinding().RegisterFunction("test", "Trace", &RecordCloseTrace);
    script.Package().Prepare();
    EXPECT_EQ(L"", g_closeTrace);
    script.Package().Close();
    EXPECT_EQ(L"CBA", g_closeTrace);
    EXPECT_FALSE(script.Package().IsOpen());
}

// Props hold the system folders and flags, and what the front end sets.
TEST(InstallerPackageTest, PropsReachTheScript)
{
    ScriptPackage script(R"lua(
props.Types = L""
for _, name in ipairs({"CommonProgramsDir", "PersonalDir", "CommonDesktopDir", "DesktopDir",
                       "ProgramFilesDir", "CommonDocsDir", "CommonAppDataDir"}) do
    if type(props[name]) == "userdata" and #props[name] > 3 then props.Types = props.Types .. L"w" end
end
props.Flags = L(type(props.WindowsMCE) .. type(props.WindowsXP) .. tostring(props.RebootRequired))
function Execute() props.Seen = L(tostring(props.DeletePersonalDir)) .. L"|" .. props.InstallDir end
)lua");
    EXPECT_EQ(L"wwwwwww", script.Prop("Types"));
    EXPECT_EQ(L"booleanbooleanfalse", script.Prop("Flags"));
    wchar_t programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    EXPECT_EQ(std::wstring(programs), script.Prop("CommonProgramsDir"));
    script.Package().SetBoolProp("DeletePersonalDir", true);
    script.Package().SetStringProp("InstallDir", L"C:\\Games\\\u00e9");
    script.Package().Execute();
    EXPECT_EQ(L"true|C:\\Games\\\u00e9", script.Prop("Seen"));
}

// Reading a missing or narrow prop is 10168; setting one fails when the
// script replaced props.
TEST(InstallerPackageTest, PropAccessFailures)
{
    for (const char* name : {"Missing", "Narrow"}) {
        ScriptPackage script("props.Narrow = 'text'");
        auto error = CatchEngineFailure([&] { script.Package().GetProp(name); });
        ASSERT_NE(nullptr, dynamic_cast<LuaException*>(error.get()));
        EXPECT_EQ(L"10168", error->GetErrorCode());
        EXPECT_EQ(L"Lua exception: m_state && IsWString()", error->GetEnglishMessage());
    }
    ScriptPackage replaced("props = 42");
    EXPECT_EQ(L"10163", OstrelTest::FailureCode([&] { replaced.Package().SetStringProp("X", L"y"); }));
    EXPECT_EQ(L"10159", OstrelTest::FailureCode([&] { replaced.Package().SetBoolProp("X", true); }));
}

}  // namespace
