// The firewall wrapper against Wine's INetFwMgr, which accepts every call and
// keeps nothing: so these tests show the sequence and its checks, not what a
// real firewall would list. Without the firewall (hnetcfg switched off in a
// child process) adding fails with its texts and the rollback task stays
// quiet.
#include <gtest/gtest.h>

#include <functional>

#include "EngineFailure.h"
#include "ChildTestRun.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/Exceptions.h"
#include "platform/WindowsFirewall.h"
#include "transactions/RemoveAppFromFirewallTask.h"

namespace {

using namespace OstrelInstallEngine;

const wchar_t kGamePath[] = L"C:\\Games\\Ostrel\\OstrelTestGame.exe";

// Add, add again, remove, remove again and remove what was never added all
// succeed; the rollback task runs.
TEST(WindowsFirewallTest, AddsAndRemoves)
{
    ComInitializer com;
    EXPECT_NO_THROW(AddAppToFirewall(kGamePath, L"Ostrel Test Game"));
    EXPECT_NO_THROW(AddAppToFirewall(kGamePath, L"Ostrel Test Game"));
    EXPECT_NO_THROW(RemoveAppFromFirewall(kGamePath));
    EXPECT_NO_THROW(RemoveAppFromFirewall(kGamePath));
    EXPECT_NO_THROW(RemoveAppFromFirewall(L"C:\\Never\\Added.exe"));
    RemoveAppFromFirewallTask task(kGamePath);
    EXPECT_NO_THROW(task.Perform());
}

// Every argument check fails with its own condition and code, before
// anything is added.
TEST(WindowsFirewallTest, ChecksItsArguments)
{
    ComInitializer com;
    ComPtr<INetFwProfile> profile;
    ASSERT_EQ(S_OK, InitializeFirewallProfile(profile.Receive()));
    BOOL enabled = FALSE;
    struct Case {
        std::function<void()> call;
        const wchar_t* condition;
        int code;
    };
    const Case cases[] = {
        {[&] { AuthorizeApp(profile.Get(), kGamePath, L""); }, L"SysStringLen(fwBstrName) != 0",
         10123},
        {[&] { AddAppToFirewall(kGamePath, L""); }, L"SysStringLen(fwBstrName) != 0", 10123},
        {[&] { InitializeFirewallProfile(nullptr); }, L"fwProfile != NULL", 10111},
        {[&] { IsAppAuthorized(nullptr, kGamePath, &enabled); }, L"fwProfile != NULL", 10108},
        {[&] { IsAppAuthorized(profile.Get(), nullptr, &enabled); },
         L"fwProcessImageFileName != NULL", 10109},
        {[&] { IsAppAuthorized(profile.Get(), kGamePath, nullptr); }, L"fwAppEnabled != NULL",
         10110},
        {[&] { AuthorizeApp(nullptr, kGamePath, L"x"); }, L"fwProfile != NULL", 10115},
        {[&] { AuthorizeApp(profile.Get(), nullptr, L"x"); }, L"fwProcessImageFileName != NULL",
         10116},
        {[&] { AuthorizeApp(profile.Get(), kGamePath, nullptr); }, L"fwName != NULL", 10117},
        {[&] { UnauthorizeApp(nullptr, kGamePath); }, L"fwProfile != NULL", 10127},
        {[&] { UnauthorizeApp(profile.Get(), nullptr); }, L"fwProcessImageFileName != NULL",
         10126},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(OstrelTest::FailsCheck(c.call, L"WindowsFirewall", c.condition, c.code))
            << c.code;
    }
}

// Runs in the child without the firewall manager.
TEST(WindowsFirewallTest, WithoutFirewallChild)
{
    if (!OstrelTest::RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutFirewall";
    }
    ComInitializer com;
    auto failure = OstrelTest::CatchEngineFailure([] { AddAppToFirewall(kGamePath, L"x"); });
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(0u, failure->GetErrorCode().find(L"10105:"));
    EXPECT_EQ(L"Unable to initialize the Windows Firewall management interface.",
              failure->GetLocalizedSummary());
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(
                      L"Unable to initialize INetFwMgr (firewall manager) (CoCreateInstance"));
    RemoveAppFromFirewallTask task(kGamePath);
    EXPECT_NO_THROW(task.Perform());
}

TEST(WindowsFirewallTest, WithoutFirewall)
{
    EXPECT_EQ(0u, OstrelTest::RunTestsWithoutDlls(L"WindowsFirewallTest.WithoutFirewallChild",
                                                  {L"hnetcfg"}));
}

}  // namespace
