// The asynchronous installer: states, the stored error of a failing Prepare
// or Execute, cancellation, and the final progress of a successful run.
#include <gtest/gtest.h>

#include <windows.h>

#include "script/AsyncInstaller.h"
#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "base/UniqueHandle.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailureCode;
using OstrelTest::ScriptPackage;

AsyncInstallerState WaitForEnd(AsyncInstaller& installer)
{
    for (;;) {
        const AsyncInstallerState state = installer.GetState();
        if (state == AIS_FINISHED || state == AIS_CANCELLED || state == AIS_ERROR) {
            return state;
        }
        Sleep(5);
    }
}

// A successful run ends finished with progress 1 and the last text; no
// package is 10091, and a finished installer refuses another Start.
TEST(AsyncInstallerTest, SuccessfulRunEndsFinishedWithProgressOne)
{
    EXPECT_EQ(L"10091", FailureCode([] { AsyncInstaller installer(nullptr); }));
    ScriptPackage script("function Prepare() end function Execute() progress.Report(1, 2, L'half') end");
    AsyncInstaller installer(&script.Package());
    EXPECT_EQ(AIS_READY_TO_INSTALL, installer.GetState());
    installer.Prepare();
    EXPECT_EQ(AIS_READY_TO_INSTALL, installer.GetState());
    installer.Start();
    EXPECT_EQ(AIS_FINISHED, WaitForEnd(installer));
    double progress = 0;
    std::wstring text;
    EXPECT_EQ(AIS_FINISHED, installer.GetStatus(&progress, &text));
    EXPECT_EQ(1.0, progress);
    EXPECT_EQ(L"half", text);
    EXPECT_EQ(nullptr, installer.GetError());
    EXPECT_EQ(L"10092", FailureCode([&] { installer.Start(); }));
}

// A failing Prepare stores its error and refuses Start (10092) and another
// Prepare (10223).
TEST(AsyncInstallerTest, FailingPrepareStoresTheErrorAndRefusesStart)
{
    ScriptPackage script(
        "function Prepare() util.FailWithError(L'running', L'running', L'game running', 10232) end function Execute() end");
    AsyncInstaller installer(&script.Package());
    installer.Prepare();
    EXPECT_EQ(AIS_ERROR, installer.GetState());
    ASSERT_NE(nullptr, dynamic_cast<const GenericException*>(installer.GetError()));
    EXPECT_EQ(L"10232", installer.GetError()->GetErrorCode());
    EXPECT_EQ(L"10092", FailureCode([&] { installer.Start(); }));
    EXPECT_EQ(L"10223", FailureCode([&] { installer.Prepare(); }));
}

// A failing Execute stores its error after the rollback.
TEST(AsyncInstallerTest, FailingExecuteStoresTheErrorAfterTheRollback)
{
    ScriptPackage script(R"lua(
function Prepare() end
function Execute()
    install.AddRollbackTask(function() props.Trace = L"rolled back" end)
    error("worker failure")
end)lua");
    AsyncInstaller installer(&script.Package());
    installer.Prepare();
    installer.Start();
    EXPECT_EQ(AIS_ERROR, WaitForEnd(installer));
    ASSERT_NE(nullptr, installer.GetError());
    EXPECT_EQ(L"10003", installer.GetError()->GetErrorCode());
    EXPECT_NE(std::wstring::npos, installer.GetError()->GetEnglishMessage().find(L"worker failure"));
    EXPECT_EQ(L"rolled back", script.Prop("Trace"));
}

// A second worker would run the same script state at the same time.
HANDLE g_releaseWorker = nullptr;

void WaitForRelease(ScriptCall&)
{
    WaitForSingleObject(g_releaseWorker, INFINITE);
}

TEST(AsyncInstallerTest, StartWhileInstallingIs10017)
{
    ScriptPackage script("function Prepare() end function Execute() test.Wait() end");
    script.Package().GetBinding().CreateApiTable("test");
    script.Package().GetBinding().RegisterFunction("test", "Wait", &WaitForRelease);
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_releaseWorker = release.Get();
    AsyncInstaller installer(&script.Package());
    installer.Prepare();
    installer.Start();
    auto error = CatchEngineFailure([&] { installer.Start(); });
    SetEvent(release.Get());
    EXPECT_EQ(AIS_FINISHED, WaitForEnd(installer));
    EXPECT_TRUE(OstrelTest::IsCheckFailure(error.get(), L"AsyncInstaller", L"m_state != AIS_INSTALLING", 10017));
}

// The undo work of a cancelled run runs to its end, progress reports and all;
// the cancel belongs to that run, so a later Start runs to its end.
TEST(AsyncInstallerTest, CancelRequestEndsTheRunCancelledAfterTheRollback)
{
    ScriptPackage script(R"lua(
function Prepare() end
function Execute()
    runs = (runs or 0) + 1
    install.AddRollbackTask(function()
        progress.Report(1, 2, L"undoing")
        props.Trace = L"rolled back"
    end)
    for i = 1, runs == 1 and 100000 or 3 do
        progress.Report(i % 100, 100, L"working")
        util.Sleep(0.001)
    end
    props.Trace = L"ran to the end"
end)lua");
    AsyncInstaller installer(&script.Package());
    installer.Prepare();
    installer.Start();
    double progress = 0;
    std::wstring text;
    while (installer.GetStatus(&progress, &text) == AIS_INSTALLING && text != L"working") {
        Sleep(5);
    }
    installer.RequestCancel();
    EXPECT_EQ(AIS_CANCELLED, WaitForEnd(installer));
    EXPECT_EQ(nullptr, installer.GetError());
    EXPECT_EQ(L"rolled back", script.Prop("Trace"));
    installer.Start();
    EXPECT_EQ(AIS_FINISHED, WaitForEnd(installer));
    EXPECT_EQ(L"ran to the end", script.Prop("Trace"));
}

// The destructor waits for a running worker: once it returns, the script's
// last statement has run.
TEST(AsyncInstallerTest, DestroyingWhileTheWorkerRunsWaitsForIt)
{
    ScriptPackage script("function Prepare() end function Execute() util.Sleep(0.3) props.Trace = L'worker done' end");
    {
        AsyncInstaller installer(&script.Package());
        installer.Prepare();
        installer.Start();
    }
    EXPECT_EQ(L"worker done", script.Prop("Trace"));
}

}  // namespace
