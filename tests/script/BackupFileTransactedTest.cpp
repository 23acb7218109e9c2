// A transactional backup: the file moves to "BK_%08x" in its folder; a failed
// run moves it back, a successful one deletes the backup.
#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "TestSupport.h"

namespace {

using OstrelTest::CatchEngineFailure;
using OstrelTest::PathExists;
using OstrelTest::ReadFileBytes;
using OstrelTest::ScriptPackage;

const char kScript[] = R"lua(
function Execute()
    if props.Fail then util.FailWithError(L"m", L"s", L"run failed", 10901) end
end)lua";

class BackupFileTransactedTest : public testing::Test {
protected:
    BackupFileTransactedTest() : m_script(kScript), m_file(m_folder.File(L"game.dat"))
    {
        OstrelTest::WriteFileBytes(m_file, "original");
    }

    OstrelTest::TempFolder m_folder;
    ScriptPackage m_script;
    std::wstring m_file;
};

TEST_F(BackupFileTransactedTest, FailedRunPutsTheFileBack)
{
    const std::wstring backup = m_script.Package().BackupFileTransacted(m_file);
    EXPECT_EQ(m_folder.File(L"BK_00000000"), backup);
    EXPECT_FALSE(PathExists(m_file));
    EXPECT_EQ("original", ReadFileBytes(backup));
    m_script.Package().SetBoolProp("Fail", true);
    auto error = CatchEngineFailure([&] { m_script.Package().Execute(); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10901", error->GetErrorCode());
    EXPECT_EQ("original", ReadFileBytes(m_file));
    EXPECT_FALSE(PathExists(backup));
}

TEST_F(BackupFileTransactedTest, SuccessfulRunDeletesTheBackup)
{
    OstrelTest::WriteFileBytes(m_folder.File(L"BK_00000000"), "someone else's");
    const std::wstring backup = m_script.Package().BackupFileTransacted(m_file);
    EXPECT_EQ(m_folder.File(L"BK_00000001"), backup);
    m_script.Package().Execute();
    EXPECT_FALSE(PathExists(m_file));
    EXPECT_FALSE(PathExists(backup));
    EXPECT_EQ("someone else's", ReadFileBytes(m_folder.File(L"BK_00000000")));
}

TEST_F(BackupFileTransactedTest, FailedBackupQueuesNothing)
{
    auto error = CatchEngineFailure(
        [&] { m_script.Package().BackupFileTransacted(m_folder.File(L"missing.dat")); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10050:00000002", error->GetErrorCode());
    m_script.Package().Execute();
    EXPECT_EQ("original", ReadFileBytes(m_file));
}

}  // namespace
