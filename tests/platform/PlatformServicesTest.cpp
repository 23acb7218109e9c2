// The Game Explorer and firewall wrappers against Wine's gameux and INetFwMgr
// (which accepts every call and keeps nothing, so the firewall tests show the
// sequence and its checks, not what a real firewall would list); and the
// firewall missing (hnetcfg switched off in a child process). The script
// tests show the Game Explorer's absence.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "ChildTestRun.h"
#include "EngineFailure.h"
#include "TestSupport.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/Exceptions.h"
#include "base/RegistryKey.h"
#include "base/Util.h"
#include "platform/GameExplorer.h"
#include "platform/WindowsFirewall.h"
#include "transactions/RemoveAppFromFirewallTask.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::FixturePath;

const char kInstanceId[] = "{0B5C2E34-6A7D-4E8F-9A1B-2C3D4E5F6071}";
const wchar_t kGamePath[] = L"C:\\Games\\Ostrel\\OstrelTestGame.exe";

bool IsRegisteredWithGameUx()
{
    RegistryKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                         (L"Software\\Microsoft\\Windows\\CurrentVersion\\GameUX\\Games\\" +
                          Widen(kInstanceId)).c_str(),
                         0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// The failure's type, code prefix, localized summary and English prefix.
void ExpectWin32Failure(const std::function<void()>& action, const std::wstring& code,
                        const std::wstring& summary, const std::wstring& english)
{
    const auto failure = OstrelTest::CatchEngineFailure(action);
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(0u, failure->GetErrorCode().find(code)) << failure->what();
    EXPECT_EQ(summary, failure->GetLocalizedSummary());
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(english)) << failure->what();
}

// Registration shows in the prefix's GameUX key; removal takes it away and
// may be repeated; a binary without a game definition is refused.
TEST(PlatformServicesTest, GameExplorer)
{
    ComInitializer com;
    const GUID instanceId = GuidFromString(kInstanceId);
    ASSERT_TRUE(AddGame(instanceId, FixturePath("integrations/OstrelTestGame.exe"),
                        FixturePath("integrations")));
    EXPECT_TRUE(IsRegisteredWithGameUx());
    RemoveGame(instanceId);
    EXPECT_FALSE(IsRegisteredWithGameUx());
    EXPECT_NO_THROW(RemoveGame(instanceId));

    ExpectWin32Failure(
        [&] { AddGame(instanceId, FixturePath("integrations/ChildProgram.exe"), L"C:\\"); },
        L"10028:", L"Internal check failed",
        L"GameExplorer add game failed (IGameExplorer::AddGame returned ");
    EXPECT_FALSE(IsRegisteredWithGameUx());
}

// Add, add again, remove, remove again and remove what was never added all
// succeed; the rollback task runs; every argument check fails with its own
// condition and code, before anything is added.
TEST(PlatformServicesTest, Firewall)
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
TEST(PlatformServicesTest, WithoutFirewallChild)
{
    if (!OstrelTest::RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutFirewall";
    }
    ComInitializer com;
    ExpectWin32Failure([] { AddAppToFirewall(kGamePath, L"x"); }, L"10105:",
                       L"Unable to initialize the Windows Firewall management interface.",
                       L"Unable to initialize INetFwMgr (firewall manager) (CoCreateInstance");
    EXPECT_NO_THROW(RemoveAppFromFirewallTask(kGamePath).Perform());
}

TEST(PlatformServicesTest, WithoutFirewall)
{
    EXPECT_EQ(0u, OstrelTest::RunTestsWithoutDlls(L"PlatformServicesTest.WithoutFirewallChild", {L"hnetcfg"}));
}

}  // namespace
