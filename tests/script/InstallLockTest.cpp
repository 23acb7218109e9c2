// The machine-wide install lock: a second package, in this process or
// another, cannot open while the first holds it; a holder that died leaves an
// abandoned mutex that the next package takes.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "operations/ScriptApi.h"
#include "script/InstallLock.h"
#include "TestSupport.h"
#include "base/UniqueHandle.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::MemoryFilePackage;

void ExpectLockHeld(const Exception* error)
{
    ASSERT_NE(nullptr, error);
    EXPECT_NE(nullptr, dynamic_cast<const GenericException*>(error));
    EXPECT_EQ(L"10367", error->GetErrorCode());
    EXPECT_EQ(L"OstrelInstallEngine mutex locked", error->GetEnglishMessage());
    EXPECT_EQ(L"Another install or uninstall is in progress.", error->GetLocalizedSummary());
    EXPECT_EQ(0u, error->GetLocalizedMessage().find(
                      L"Another install or uninstall is in progress. Please cancel that installation"));
}

class InstallLockTest : public testing::Test {
protected:
    InstallLockTest() { m_files.Add("uninstall.lua", "function Execute() end"); }

    std::unique_ptr<Exception> OpenFailure(InstallerPackage& package)
    {
        return CatchEngineFailure([&] { package.Open(&m_files, "uninstall.lua"); });
    }

    MemoryFilePackage m_files;
};

TEST_F(InstallLockTest, SecondPackageInTheSameProcessIsRefused)
{
    InstallerPackage first(&ScriptApi::Register);
    first.Open(&m_files, "uninstall.lua");
    InstallerPackage second(&ScriptApi::Register);
    ExpectLockHeld(OpenFailure(second).get());
    EXPECT_FALSE(second.IsOpen());
    // The first is unaffected, and once it closes the second opens.
    EXPECT_NO_THROW(first.Execute());
    first.Close();
    EXPECT_EQ(nullptr, OpenFailure(second));
    EXPECT_TRUE(second.IsOpen());
}

// A script host in another process holds the lock while its Prepare sleeps.
class OtherProcessHoldingTheLock {
public:
    OtherProcessHoldingTheLock()
    {
        OstrelTest::WriteFileBytes(m_folder.File(L"uninstall.lua"),
                                   "function Prepare() util.Sleep(60) end function Execute() end");
        const std::wstring eventName = L"OstrelTestLockHeld" + std::to_wstring(GetCurrentProcessId());
        m_event.Set(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        std::wstring commandLine = L"\"" + OstrelTest::ScriptHostPath() + L"\" \"" +
                                   m_folder.Path() + L"\" --signal-event " + eventName;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process)) {
            m_process.Set(process.hProcess);
            OstrelInstallEngine::UniqueHandle thread(process.hThread);
        }
    }
    ~OtherProcessHoldingTheLock() { Kill(); }
    bool WaitUntilHeld() { return WaitForSingleObject(m_event.Get(), 30000) == WAIT_OBJECT_0; }
    void Kill()
    {
        if (m_process.IsValid()) {
            TerminateProcess(m_process.Get(), 9);
            WaitForSingleObject(m_process.Get(), INFINITE);
            m_process.Close();
        }
    }

private:
    OstrelTest::TempFolder m_folder;
    OstrelInstallEngine::UniqueHandle m_event;
    OstrelInstallEngine::UniqueHandle m_process;
};

TEST_F(InstallLockTest, PackageInAnotherProcessHoldsTheLockUntilItDies)
{
    OtherProcessHoldingTheLock other;
    ASSERT_TRUE(other.WaitUntilHeld());
    {
        InstallerPackage refused(&ScriptApi::Register);
        ExpectLockHeld(OpenFailure(refused).get());
    }
    // Killed mid-run, the holder leaves the mutex abandoned: that counts as
    // acquired.
    other.Kill();
    InstallerPackage next(&ScriptApi::Register);
    EXPECT_EQ(nullptr, OpenFailure(next));
    EXPECT_TRUE(next.IsOpen());
}

// The lock thread: acquire, release and acquire again; a release without
// holding fails with the system error. After an exit request the thread may
// still be between its answer and its end, so a second exit request waits
// for the end and reports the exit code (10380), unless the first already
// saw the end; only then does a release find the thread gone (10375).
TEST(InstallLockThreadTest, RequestsAndTheirFailures)
{
    InstallLock lock;
    lock.Create();
    for (bool wait : {false, true}) {
        lock.Acquire(wait);
        EXPECT_TRUE(lock.IsHeld());
        lock.Release();
        EXPECT_FALSE(lock.IsHeld());
    }
    auto release = CatchEngineFailure([&] { lock.Release(); });
    ASSERT_NE(nullptr, release);
    EXPECT_EQ(L"10369:00000120", release->GetErrorCode());
    EXPECT_NE(std::wstring::npos,
              release->GetEnglishMessage().find(L"): PerformLockOperation(lrtUnlock) != WAIT_FAILED; HRESULT 00000120: "));
    const auto exit = [&] { lock.PerformLockOperation(InstallLock::lrtExit); };
    const bool endedAtOnce = CatchEngineFailure(exit) != nullptr;
    auto ended = CatchEngineFailure(exit);
    ASSERT_NE(nullptr, ended);
    EXPECT_EQ(endedAtOnce ? L"10375:00000000" : L"10380:00000000", ended->GetErrorCode());
    auto gone = CatchEngineFailure([&] { lock.Release(); });
    ASSERT_NE(nullptr, gone);
    EXPECT_EQ(L"10375:00000000", gone->GetErrorCode());
    EXPECT_NE(std::wstring::npos, gone->GetEnglishMessage().find(L"): false; HRESULT 00000000: "));
}

}  // namespace
