// The firewall wrapper against Wine's INetFwMgr, which accepts every call and
// keeps nothing: so these tests show the sequence and its checks, not what a
// real firewall would list; and the firewall missing (hnetcfg switched off in
// a child process). The Game Explorer is tested through its script functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "ChildTestRun.h"
#include "EngineFailure.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/Exceptions.h"
#include "platform/WindowsFirewall.h"
#include "transactions/RemoveAppFromFirewallTask.h"

namespace {

using namespace OstrelInstallEngine;

const wchar_t kGamePath[] = L"C:\\Games\\Ostrel\\OstrelTestGame.exe";

// Add twice, remove, and remove what was never added all succeed; the
// rollback task runs; every argument check fails with its own
// condition and code, before anything is added.
TEST(WindowsFirewallTest, AddsRemovesAndChecksArguments)
{
    ComInitializer com;
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_NO_THROW(AddAppToFirewall(kGamePath, L"Ostrel Test Game"));
    }
    EXPECT_NO_THROW(RemoveAppFromFirewall(kGamePath));
    EXPECT_NO_THROW(RemoveAppFromFirewall(L"C:\\Never\\Added.exe"));
    EXPECT_NO_THROW(RemoveAppFromFirewallTask(kGamePath).Perform());

    ComPtr<INetFwProfile> profile;
    ASSERT_EQ(S_OK, InitializeFirewallProfile(profile.Receive()));
    BOOL enabled = FALSE;
    const struct {
        std::function<void()> call;
        const wchar_t* condition;
        int code;
    } cases[] = {
        {[&] { AuthorizeApp(profile.Get(), kGamePath, L""); }, L"SysStringLen(fwBstrName) != 0", 10123},
        {[&] { AddAppToFirewall(kGamePath, L""); }, L"SysStringLen(fwBstrName) != 0", 10123},
        {[&] { InitializeFirewallProfile(nullptr); }, L"fwProfile != NULL", 10111},
        {[&] { IsAppAuthorized(nullptr, kGamePath, &enabled); }, L"fwProfile != NULL", 10108},
        {[&] { IsAppAuthorized(profile.Get(), nullptr, &enabled); },
         L"fwProcessImageFileName != NULL", 10109},
        {[&] { IsAppAuthorized(profile.Get(), kGamePath, nullptr); }, L"fwAppEnabled != NULL", 10110},
        {[&] { AuthorizeApp(nullptr, kGamePath, L"x"); }, L"fwProfile != NULL", 10115},
        {[&] { AuthorizeApp(profile.Get(), nullptr, L"x"); }, L"fwProcessImageFileName != NULL", 10116},
        {[&] { AuthorizeApp(profile.Get(), kGamePath, nullptr); }, L"fwName != NULL", 10117},
        {[&] { UnauthorizeApp(nullptr, kGamePath); }, L"fwProfile != NULL", 10127},
        {[&] { UnauthorizeApp(profile.Get(), nullptr); }, L"fwProcessImageFileName != NULL", 10126},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(OstrelTest::FailsCheck(c.call, L"WindowsFirewall", c.condition, c.code)) << c.code;
    }
}

// Runs in the child: adding to the firewall fails with its texts while its
// rollback task stays quiet.
TEST(WindowsFirewallTest, WithoutFirewallChild)
{
    if (!OstrelTest::RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutFirewall";
    }
    ComInitializer com;
    const auto failure = OstrelTest::CatchEngineFailure([] { AddAppToFirewall(kGamePath, L"x"); });
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(0u, failure->GetErrorCode().find(L"10105:"));
    EXPECT_EQ(L"Unable to initialize the Windows Firewall management interface.",
              failure->GetLocalizedSummary());
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(
                      L"Unable to initialize INetFwMgr (firewall manager) (CoCreateInstance"));
    EXPECT_NO_THROW(RemoveAppFromFirewallTask(kGamePath).Perform());
}

TEST(WindowsFirewallTest, WithoutFirewall)
{
    EXPECT_EQ(0u, OstrelTest::RunTestsWithoutDlls(L"WindowsFirewallTest.WithoutFirewallChild", {L"hnetcfg"}));
}

}  // namespace
