// The script host: loading a script, the Prepare and Execute phases, how
// failures leave them, problem recording, and the order of rollback and
// commit tasks.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::MemoryFilePackage;
using OstrelTest::ScriptPackage;

const char kTraceHelpers[] = R"lua(
props.Trace = L""
function Trace(text) props.Trace = props.Trace .. text end
)lua";

std::string Script(const std::string& body)
{
    return kTraceHelpers + body;
}

// A Lua failure that leaves a phase is wrapped: "Unexpected exception" and
// the Lua exception, whose code names the phase.
void ExpectWrappedLuaFailure(const Exception* error, int code, const std::wstring& luaMessage)
{
    ASSERT_NE(nullptr, error);
    EXPECT_NE(nullptr, dynamic_cast<const SanityCheckException*>(error));
    const Exception* cause = error->GetCause();
    ASSERT_NE(nullptr, cause);
    EXPECT_NE(nullptr, dynamic_cast<const LuaException*>(cause));
    EXPECT_EQ(std::to_wstring(code), cause->GetErrorCode());
    EXPECT_EQ(std::to_wstring(code), error->GetErrorCode());
    EXPECT_EQ(L"Lua exception: " + luaMessage, cause->GetEnglishMessage());
    EXPECT_EQ(L"Unexpected exception Lua exception: " + luaMessage, error->GetEnglishMessage());
}

// Missing phase functions, empty scripts and broken scripts.
TEST(InstallerPackageTest, MissingPrepareFailsWith10222)
{
    ScriptPackage script("function Execute() end");
    auto error = CatchEngineFailure([&] { script.Package().Prepare(); });
    ExpectWrappedLuaFailure(error.get(), 10222, L"m_functionObj.IsFunction()");
}

TEST(InstallerPackageTest, MissingExecuteFailsWith10003)
{
    ScriptPackage script("function Prepare() end");
    script.Package().Prepare();
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ExpectWrappedLuaFailure(error.get(), 10003, L"m_functionObj.IsFunction()");
}

TEST(InstallerPackageTest, EmptyScriptOpensAndPrepareFails)
{
    ScriptPackage script("");
    EXPECT_TRUE(script.Package().IsOpen());
    auto error = CatchEngineFailure([&] { script.Package().Prepare(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10222", error->GetErrorCode());
}

TEST(InstallerPackageTest, SyntaxErrorFailsOpenAndLeavesThePackageClosed)
{
    MemoryFilePackage files;
    files.Add("uninstall.lua", "function Prepare(");
    InstallerPackage package;
    auto error = CatchEngineFailure([&] { package.Open(&files, "uninstall.lua"); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10188", error->GetErrorCode());
    EXPECT_NE(std::wstring::npos, error->GetEnglishMessage().find(L"Unexpected exception Lua exception: "));
    EXPECT_FALSE(package.IsOpen());
    // The failed Open gave the install lock back.
    InstallerPackage other;
    files.Add("other.lua", "");
    EXPECT_NO_THROW(other.Open(&files, "other.lua"));
}

TEST(InstallerPackageTest, MissingScriptFailsOpen)
{
    MemoryFilePackage files;
    InstallerPackage package;
    auto error = CatchEngineFailure([&] { package.Open(&files, "uninstall.lua"); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"No such test file", error->GetEnglishMessage());
    EXPECT_FALSE(package.IsOpen());
}

TEST(InstallerPackageTest, OpenTwiceAndCloseTwiceAreRefused)
{
    MemoryFilePackage files;
    files.Add("uninstall.lua", "");
    InstallerPackage package;
    package.Open(&files, "uninstall.lua");
    auto again = CatchEngineFailure([&] { package.Open(&files, "uninstall.lua"); });
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(L"10384", again->GetErrorCode());
    package.Close();
    auto closed = CatchEngineFailure([&] { package.Close(); });
    ASSERT_NE(nullptr, closed);
    EXPECT_EQ(L"10385", closed->GetErrorCode());
}

TEST(InstallerPackageTest, RuntimeErrorInExecuteIsWrappedAfterTheRollback)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"rolled back") end)
    error("boom")
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    const std::wstring message = error->GetCause()->GetEnglishMessage();
    // The chunk is named by its own text, whose first line is empty here.
    EXPECT_EQ(L"Lua exception: [string \"...\"]:7: boom", message);
    EXPECT_EQ(L"10003", error->GetErrorCode());
    EXPECT_EQ(L"rolled back", script.Prop("Trace"));
}

// util.FailWithError stops the phase with its GenericException; Prepare
// neither commits nor rolls back, Execute rolls back last-first.
TEST(InstallerPackageTest, FailWithErrorInPrepareRunsNoTask)
{
    ScriptPackage script(Script(R"lua(
function Prepare()
    install.AddRollbackTask(function() Trace(L"R") end)
    install.AddCommitTask(function() Trace(L"C") end)
    util.FailWithError(L"The game is running.", L"Game running", L"Process found", 10232)
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Prepare(); });
    ASSERT_NE(nullptr, error);
    EXPECT_NE(nullptr, dynamic_cast<GenericException*>(error.get()));
    EXPECT_EQ(L"10232", error->GetErrorCode());
    EXPECT_EQ(L"The game is running.", error->GetLocalizedMessage());
    EXPECT_EQ(L"Game running", error->GetLocalizedSummary());
    EXPECT_EQ(L"Process found", error->GetEnglishMessage());
    EXPECT_EQ(L"", script.Prop("Trace"));
}

TEST(InstallerPackageTest, FailWithErrorInExecuteRollsBackLastFirst)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"A") end)
    install.AddRollbackTask(function() Trace(L"B") end)
    install.AddCommitTask(function() Trace(L"commit") end)
    util.FailWithError(L"m", L"s", L"e", 10555)
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_NE(nullptr, dynamic_cast<GenericException*>(error.get()));
    EXPECT_EQ(L"10555", error->GetErrorCode());
    EXPECT_EQ(L"BA", script.Prop("Trace"));
}

TEST(InstallerPackageTest, CommitRunsFirstToLastAndDropsRollbackTasks)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddCommitTask(function() Trace(L"A") end)
    install.AddRollbackTask(function() Trace(L"r") end)
    install.AddCommitTask(function() Trace(L"B") end)
    install.AddCommitTask(function() Trace(L"C") end)
end)lua"));
    script.Package().Execute();
    EXPECT_EQ(L"ABC", script.Prop("Trace"));
    script.Package().Close();
}

// The trace of a task that runs while Close drops the script state has to
// leave Lua: a function of the test's own records it.
std::wstring g_closeTrace;

void RecordCloseTrace(ScriptCall& call)
{
    g_closeTrace += call.WideArgument(1);
}

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

// A failed undo does not stop the others, and the user learns of it as a
// problem of the run that names what stayed, even with warnings suppressed.
TEST(InstallerPackageTest, RollbackTaskErrorIsRecordedAndTheRestStillRuns)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"A") end)
    install.AddRollbackTask(function() error("save folder not restored", 0) end)
    install.AddRollbackTask(function() Trace(L"C") end)
    uninstall.StartSuppressWarnings()
    util.FailWithError(L"m", L"s", L"e", 10556)
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10556", error->GetErrorCode());
    EXPECT_EQ(L"CA", script.Prop("Trace"));
    auto problems = script.Package().GetErrors();
    ASSERT_EQ(1u, problems.size());
    EXPECT_EQ(L"Unable to undo a change: save folder not restored (10016)",
              problems[0]->GetDisplaySummary());
    EXPECT_EQ(L"Rollback task failed: Lua exception: save folder not restored",
              problems[0]->GetEnglishMessage());
}

// The reporter fails as the rollback starts: the undo work still runs, and
// the run's own failure is the one that leaves.
class ThrowingReporter : public ProgressReporter {
public:
    void ReportProgress(double, const std::wstring&) override
    {
        throw GenericException(L"m", L"s", L"reporter failed", 10558);
    }
};

TEST(InstallerPackageTest, FailingReporterLosesNoUndoWork)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"A") end)
    install.AddRollbackTask(function() Trace(L"B") end)
    util.FailWithError(L"m", L"s", L"e", 10557)
end)lua"));
    ThrowingReporter reporter;
    script.Package().SetProgressReporter(&reporter);
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    script.Package().SetProgressReporter(nullptr);
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10557", error->GetErrorCode());
    EXPECT_EQ(L"BA", script.Prop("Trace"));
}

// Commit tasks queued by a commit task run in the same commit, after the
// others, each once.
TEST(InstallerPackageTest, CommitTasksQueuedDuringTheCommitRunAfterTheOthers)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddCommitTask(function()
        for i = 1, 200 do install.AddCommitTask(function() Trace(L"+") end) end
        Trace(L"A")
    end)
    install.AddCommitTask(function() Trace(L"B") end)
end)lua"));
    script.Package().Execute();
    EXPECT_EQ(L"AB" + std::wstring(200, L'+'), script.Prop("Trace"));
}

TEST(InstallerPackageTest, CommitTaskErrorRollsBackTheRun)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"undone") end)
    install.AddCommitTask(function() error("commit failed") end)
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10003", error->GetErrorCode());
    EXPECT_NE(std::wstring::npos, error->GetEnglishMessage().find(L"commit failed"));
    EXPECT_EQ(L"undone", script.Prop("Trace"));
}

// Problems: util.RecordError collects, suppression drops.
TEST(InstallerPackageTest, RecordErrorCollectsProblemsAndExecuteSucceeds)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"R") end)
    util.RecordError(L"first message", L"first summary", L"first", 10601)
    util.RecordError(L"second message", L"second summary", L"second", 10602)
end)lua"));
    script.Package().Execute();
    auto errors = script.Package().GetErrors();
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(L"10601", errors[0]->GetErrorCode());
    EXPECT_EQ(L"first summary (10601)", errors[0]->GetDisplaySummary());
    EXPECT_EQ(L"second summary (10602)", errors[1]->GetDisplaySummary());
    script.Package().Close();
    EXPECT_EQ(0u, script.Package().GetErrors().size());
}

TEST(InstallerPackageTest, SuppressedWarningsRecordNothingAndOneEndCancelsManyStarts)
{
    ScriptPackage script(R"lua(
function Execute()
    uninstall.StartSuppressWarnings()
    uninstall.StartSuppressWarnings()
    util.RecordError(L"m", L"dropped", L"e", 1)
    uninstall.EndSuppressWarnings()
    util.RecordError(L"m", L"kept", L"e", 2)
end)lua");
    script.Package().Execute();
    auto errors = script.Package().GetErrors();
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(L"kept", errors[0]->GetLocalizedSummary());
}

// A script cannot swallow an engine exception with pcall or a coroutine: the
// phase fails as if it had passed straight through, and later API calls of
// the phase fail the same way.
TEST(InstallerPackageTest, PcallCannotSwallowAnEngineException)
{
    ScriptPackage script(Script(R"lua(
function Execute()
    install.AddRollbackTask(function() Trace(L"R") end)
    local ok = pcall(util.FailWithError, L"m", L"s", L"swallowed?", 10603)
    Trace(ok and L"ok" or L"caught")
    local again = pcall(install.AddRollbackTask, function() Trace(L"X") end)
    Trace(again and L"+" or L"-")
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_NE(nullptr, dynamic_cast<GenericException*>(error.get()));
    EXPECT_EQ(L"swallowed?", error->GetEnglishMessage());
    EXPECT_EQ(L"caught-R", script.Prop("Trace"));
}

TEST(InstallerPackageTest, CoroutineCannotSwallowAnEngineException)
{
    ScriptPackage script(R"lua(
function Execute()
    local co = coroutine.create(function() util.FailWithError(L"m", L"s", L"in coroutine", 10604) end)
    coroutine.resume(co)
end)lua");
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"in coroutine", error->GetEnglishMessage());
}

TEST(InstallerPackageTest, TheStateStaysUsableForTheRollbackAfterAnEngineException)
{
    ScriptPackage script(Script(R"lua(
local data = { L"x", L"y" }
function Execute()
    install.AddRollbackTask(function()
        for _, item in ipairs(data) do Trace(item .. L";") end
        Trace(localizer.GetString(1000010003))
    end)
    util.FailWithError(L"m", L"s", L"e", 10605)
end)lua"));
    auto error = CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"x;y;Internal check failed", script.Prop("Trace"));
}

// Properties.
TEST(InstallerPackageTest, PropsHoldTheSystemFoldersAndFlags)
{
    ScriptPackage script(R"lua(
props.Types = L""
for _, name in ipairs({"CommonProgramsDir", "PersonalDir", "CommonDesktopDir", "DesktopDir",
                       "ProgramFilesDir", "CommonDocsDir", "CommonAppDataDir"}) do
    if type(props[name]) == "userdata" and #props[name] > 3 then props.Types = props.Types .. L"w" end
end
props.Flags = L(type(props.WindowsMCE) .. type(props.WindowsXP) .. tostring(props.RebootRequired))
)lua");
    EXPECT_EQ(L"wwwwwww", script.Prop("Types"));
    EXPECT_EQ(L"booleanbooleanfalse", script.Prop("Flags"));
    wchar_t programs[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    EXPECT_EQ(std::wstring(programs), script.Prop("CommonProgramsDir"));
}

TEST(InstallerPackageTest, PropsSetByTheFrontEndReachTheScript)
{
    ScriptPackage script(R"lua(
function Execute()
    props.Seen = L(tostring(props.DeletePersonalDir)) .. L"|" .. props.InstallDir
end)lua");
    script.Package().SetBoolProp("DeletePersonalDir", true);
    script.Package().SetStringProp("InstallDir", L"C:\\Games\\\u00e9");
    script.Package().Execute();
    EXPECT_EQ(L"true|C:\\Games\\\u00e9", script.Prop("Seen"));
}

TEST(InstallerPackageTest, GetPropOfAMissingOrNarrowValueIs10168)
{
    ScriptPackage script("props.Narrow = 'text'");
    for (const char* name : {"Missing", "Narrow"}) {
        auto error = CatchEngineFailure([&] { script.Package().GetProp(name); });
        ASSERT_NE(nullptr, error);
        EXPECT_NE(nullptr, dynamic_cast<LuaException*>(error.get()));
        EXPECT_EQ(L"10168", error->GetErrorCode());
        EXPECT_EQ(L"Lua exception: m_state && IsWString()", error->GetEnglishMessage());
    }
}

TEST(InstallerPackageTest, SetPropFailsWhenTheScriptReplacedProps)
{
    ScriptPackage script("props = 42");
    auto text = CatchEngineFailure([&] { script.Package().SetStringProp("X", L"y"); });
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(L"10163", text->GetErrorCode());
    auto flag = CatchEngineFailure([&] { script.Package().SetBoolProp("X", true); });
    ASSERT_NE(nullptr, flag);
    EXPECT_EQ(L"10159", flag->GetErrorCode());
}

}  // namespace
