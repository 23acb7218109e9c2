// The firewall functions from a script: add and remove succeed (Wine keeps
// nothing, so only the sequence shows), an empty display name stops the
// script before anything is added, and the rollback of a failed install runs.
#include <gtest/gtest.h>

#include "EngineFailure.h"
#include "IntegrationScript.h"

namespace {

using IntegrationTest::IntegrationScript;

std::unique_ptr<OstrelInstallEngine::Exception> ExecuteFailure(const std::string& body)
{
    IntegrationScript script("function Execute()\n" + body + "\nend\n");
    return script.ExecuteFailure();
}

TEST(FirewallScriptApiTest, AddsRemovesAndRollsBack)
{
    const std::string add = "install.AddAppToFirewall(L\"C:\\\\Game\\\\Game.exe\", L\"Game\")\n";
    const std::string remove = "uninstall.RemoveAppFromFirewall(L\"C:\\\\Game\\\\Game.exe\")\n";
    EXPECT_EQ(nullptr, ExecuteFailure(add + remove + remove));
    auto failed = ExecuteFailure(add + "util.FailWithError(L\"m\", L\"s\", L\"e\", 77)");
    ASSERT_NE(nullptr, failed);
    EXPECT_EQ(L"77", failed->GetErrorCode());

    auto emptyName = ExecuteFailure("install.AddAppToFirewall(L\"C:\\\\Game.exe\", L\"\")");
    EXPECT_TRUE(OstrelTest::IsCheckFailure(emptyName.get(), L"WindowsFirewall",
                                           L"SysStringLen(fwBstrName) != 0", 10123));
}

}  // namespace
