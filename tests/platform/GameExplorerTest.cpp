// The Game Explorer wrapper against Wine's gameux: a game that carries a
// complete game definition is registered under its instance GUID and removed
// again, also twice; a binary without one is refused; without the Game
// Explorer (gameux switched off in a child process) nothing happens.
#include <gtest/gtest.h>

#include <windows.h>

#include "EngineFailure.h"
#include "ChildTestRun.h"
#include "TestSupport.h"
#include "base/ComInitializer.h"
#include "base/Exceptions.h"
#include "base/Util.h"
#include "platform/GameExplorer.h"

namespace {

using OstrelInstallEngine::AddGame;
using OstrelInstallEngine::GuidFromString;
using OstrelInstallEngine::RemoveGame;
using OstrelTest::FixturePath;

const char kInstanceId[] = "{0B5C2E34-6A7D-4E8F-9A1B-2C3D4E5F6071}";

bool IsRegisteredWithGameUx(const char* instanceId)
{
    const std::wstring key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\GameUX\\Games\\" +
        OstrelInstallEngine::Widen(instanceId);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

// Registration shows in the prefix's GameUX key; removal takes it away and
// may be repeated.
TEST(GameExplorerTest, AddsAndRemovesTheGame)
{
    OstrelInstallEngine::ComInitializer com;
    const GUID instanceId = GuidFromString(kInstanceId);
    ASSERT_TRUE(AddGame(instanceId, FixturePath("integrations/OstrelTestGame.exe"),
                        FixturePath("integrations")));
    EXPECT_TRUE(IsRegisteredWithGameUx(kInstanceId));
    RemoveGame(instanceId);
    EXPECT_FALSE(IsRegisteredWithGameUx(kInstanceId));
    EXPECT_NO_THROW(RemoveGame(instanceId));
}

// A binary without a game definition fails the registration with its texts.
TEST(GameExplorerTest, RefusesABinaryWithoutGameDefinition)
{
    OstrelInstallEngine::ComInitializer com;
    const GUID instanceId = GuidFromString(kInstanceId);
    auto failure = OstrelTest::CatchEngineFailure(
        [&] { AddGame(instanceId, FixturePath("integrations/ChildProgram.exe"), L"C:\\"); });
    ASSERT_NE(nullptr, dynamic_cast<OstrelInstallEngine::Win32Exception*>(failure.get()));
    EXPECT_EQ(0u, failure->GetErrorCode().find(L"10028:"));
    EXPECT_EQ(0u, failure->GetEnglishMessage().find(
                      L"GameExplorer add game failed (IGameExplorer::AddGame returned "));
    EXPECT_EQ(L"Internal check failed", failure->GetLocalizedSummary());
    EXPECT_FALSE(IsRegisteredWithGameUx(kInstanceId));
}

// Runs in the child without gameux: no registration, no failure.
TEST(GameExplorerTest, WithoutGameExplorerChild)
{
    if (!OstrelTest::RunningAsChildTest()) {
        GTEST_SKIP() << "runs in the child of WithoutGameExplorer";
    }
    OstrelInstallEngine::ComInitializer com;
    const GUID instanceId = GuidFromString(kInstanceId);
    EXPECT_FALSE(AddGame(instanceId, FixturePath("integrations/OstrelTestGame.exe"), L"C:\\"));
    EXPECT_NO_THROW(RemoveGame(instanceId));
    EXPECT_FALSE(IsRegisteredWithGameUx(kInstanceId));
}

TEST(GameExplorerTest, WithoutGameExplorer)
{
    EXPECT_EQ(0u,
              OstrelTest::RunTestsWithoutDlls(L"GameExplorerTest.WithoutGameExplorerChild", {L"gameux"}));
}

}  // namespace
