// The file, folder and registry tasks against the real file system and
// registry of the Wine prefix, where a run through the script does not reach:
// a task whose action the system refuses leaves things as they were and
// reports nothing. (The successful actions are shown by the install
// transaction tests, whose rollbacks and commits run every task.)
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "RegistryTestSupport.h"
#include "TestSupport.h"
#include "transactions/ClearAndRemoveRegKeyTask.h"
#include "transactions/CopyRegKeyTask.h"
#include "transactions/MoveFileTask.h"
#include "transactions/RemoveDirectoryTask.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/RemoveRegValueTask.h"
#include "transactions/SetRegValueTask.h"

namespace {

using namespace OstrelInstallEngine;
using namespace OstrelTest;

// Runs a task the way the package does: through the base class, then deletes
// it; a refusal must not leave it.
void Perform(std::unique_ptr<RollbackCommitTask> task)
{
    EXPECT_NO_THROW(task->Perform());
}

std::unique_ptr<RollbackCommitTask> SetValue(const std::wstring& key, const std::wstring& name,
                                             const RegistryValue& value)
{
    const BYTE* bytes = value.data.empty() ? nullptr : reinterpret_cast<const BYTE*>(value.data.data());
    return std::make_unique<SetRegValueTask>(key, name, value.type, bytes, static_cast<DWORD>(value.data.size()));
}

// A move never overwrites, a file task leaves a folder alone, a folder task a
// folder that was written to meanwhile; read-only files are deleted too, and
// what is missing is no failure.
TEST(RollbackCommitTasksTest, FileAndFolderTasks)
{
    TempFolder scratch;
    const std::wstring backup = scratch.File(L"BK_00000000"), a = scratch.File(L"a.dat");
    WriteFileBytes(a, "original");
    WriteFileBytes(backup, "older");
    Perform(std::make_unique<MoveFileTask>(backup, a));
    EXPECT_EQ("older", ReadFileBytes(backup));
    EXPECT_EQ("original", ReadFileBytes(a));
    Perform(std::make_unique<MoveFileTask>(scratch.File(L"missing"), scratch.File(L"b.dat")));
    EXPECT_FALSE(PathExists(scratch.File(L"b.dat")));

    SetFileAttributesW(a.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Perform(std::make_unique<RemoveFileTask>(a));
    EXPECT_FALSE(PathExists(a));
    Perform(std::make_unique<RemoveFileTask>(scratch.File(L"missing\\deeper.dat")));

    const std::wstring dir = scratch.File(L"dir");
    CreateDirectoryW(dir.c_str(), nullptr);
    Perform(std::make_unique<RemoveFileTask>(dir));
    EXPECT_TRUE(PathExists(dir));
    WriteFileBytes(dir + L"\\written-meanwhile.txt", "x");
    Perform(std::make_unique<RemoveDirectoryTask>(dir));
    EXPECT_EQ("x", ReadFileBytes(dir + L"\\written-meanwhile.txt"));
    Perform(std::make_unique<RemoveDirectoryTask>(scratch.File(L"missing")));
}

// A key copy without its backup leaves an empty key; a tree removal never
// takes a root; value tasks on missing values or keys do nothing, and a set
// task writes the copy it took when it was made.
TEST(RollbackCommitTasksTest, RegistryTasks)
{
    TestRegistryKey testKey(L"TaskRegistry");
    const std::wstring sub = testKey.Subkey(), root = testKey.KeyPath();
    Perform(std::make_unique<CopyRegKeyTask>(root + L"\\Missing", root + L"\\Target"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sub + L"\\Target"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sub + L"\\Missing"));

    WriteRegistryValue(HKEY_CURRENT_USER, sub + L"\\Sibling", L"S", StringValue(L"s"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(L"HKEY_CURRENT_USER"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(root + L"\\Missing\\Child"));
    EXPECT_EQ(StringValue(L"s"), ReadRegistryValue(HKEY_CURRENT_USER, sub + L"\\Sibling", L"S"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));

    Perform(std::make_unique<RemoveRegValueTask>(root, L"Missing"));
    Perform(std::make_unique<RemoveRegValueTask>(root + L"\\Missing", L"V"));
    std::string bytes("\x01\x02\x03\x04", 4);
    auto task = SetValue(root, L"Copied", {REG_BINARY, bytes});
    bytes.assign("\xff\xff\xff\xff", 4);
    Perform(std::move(task));
    EXPECT_EQ((RegistryValue{REG_BINARY, std::string("\x01\x02\x03\x04", 4)}),
              ReadRegistryValue(HKEY_CURRENT_USER, sub, L"Copied"));
    Perform(SetValue(root, L"Empty", {REG_BINARY, std::string()}));
    EXPECT_EQ((RegistryValue{REG_BINARY, std::string()}), ReadRegistryValue(HKEY_CURRENT_USER, sub, L"Empty"));
    Perform(SetValue(root + L"\\Missing", L"V", DwordValue(5)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sub + L"\\Missing"));
}

}  // namespace
