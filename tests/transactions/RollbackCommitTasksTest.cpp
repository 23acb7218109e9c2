// The file, folder and registry tasks run against the real file system and
// registry of the Wine prefix: each does its one deferred action, and none
// reports anything when the system refuses.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "transactions/ClearAndRemoveRegKeyTask.h"
#include "transactions/CopyRegKeyTask.h"
#include "base/Exceptions.h"
#include "transactions/MoveFileTask.h"
#include "transactions/RemoveDirectoryTask.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/RemoveRegValueTask.h"
#include "transactions/SetRegValueTask.h"
#include "TestSupport.h"
#include "TransactionTestSupport.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::PathExists;
using OstrelTest::ReadFileBytes;
using OstrelTest::TempFolder;
using OstrelTest::TestRegistryKey;
using OstrelTest::WriteFileBytes;
using TransactionTest::DwordBytes;
using TransactionTest::KeyExists;
using TransactionTest::ReadValue;
using TransactionTest::StringBytes;
using TransactionTest::WriteValue;

// Runs a task the way the package does: through the base class, then deletes
// it; a refusal must not leave it.
void Perform(std::unique_ptr<RollbackCommitTask> task)
{
    EXPECT_NO_THROW(task->Perform());
}

std::unique_ptr<RollbackCommitTask> SetValue(const std::wstring& key, const std::wstring& name, DWORD type,
                                             const std::string& data)
{
    const BYTE* bytes = data.empty() ? nullptr : reinterpret_cast<const BYTE*>(data.data());
    return std::make_unique<SetRegValueTask>(key, name, type, bytes, static_cast<DWORD>(data.size()));
}

void ExpectValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const std::string& data)
{
    const TransactionTest::RegValue value = ReadValue(subkey, name);
    ASSERT_TRUE(value.exists) << "value " << testing::PrintToString(name);
    EXPECT_EQ(type, value.type);
    EXPECT_EQ(data, value.data);
}

// File and folder tasks: the action is done when it can be (a read-only file
// is deleted too), and a refusal leaves things as they were without a report.
TEST(RollbackCommitTasksTest, FileAndFolderTasks)
{
    TempFolder scratch;
    const std::wstring backup = scratch.File(L"BK_00000000"), a = scratch.File(L"a.dat");
    WriteFileBytes(backup, "original");
    Perform(std::make_unique<MoveFileTask>(backup, a));
    EXPECT_FALSE(PathExists(backup));
    EXPECT_EQ("original", ReadFileBytes(a));
    WriteFileBytes(backup, "older");
    Perform(std::make_unique<MoveFileTask>(backup, a));
    EXPECT_EQ("older", ReadFileBytes(backup));
    EXPECT_EQ("original", ReadFileBytes(a));
    Perform(std::make_unique<MoveFileTask>(scratch.File(L"missing"), scratch.File(L"b.dat")));
    EXPECT_FALSE(PathExists(scratch.File(L"b.dat")));

    SetFileAttributesW(a.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Perform(std::make_unique<RemoveFileTask>(a));
    EXPECT_FALSE(PathExists(a));
    Perform(std::make_unique<RemoveFileTask>(scratch.File(L"missing.dat")));
    Perform(std::make_unique<RemoveFileTask>(scratch.File(L"missing\\deeper.dat")));

    const std::wstring dir = scratch.File(L"dir");
    CreateDirectoryW(dir.c_str(), nullptr);
    Perform(std::make_unique<RemoveFileTask>(dir));
    EXPECT_TRUE(PathExists(dir));
    WriteFileBytes(dir + L"\\written-meanwhile.txt", "x");
    Perform(std::make_unique<RemoveDirectoryTask>(dir));
    EXPECT_EQ("x", ReadFileBytes(dir + L"\\written-meanwhile.txt"));
    Perform(std::make_unique<RemoveDirectoryTask>(scratch.File(L"missing")));
    DeleteFileW((dir + L"\\written-meanwhile.txt").c_str());
    Perform(std::make_unique<RemoveDirectoryTask>(dir));
    EXPECT_FALSE(PathExists(dir));
}

// CopyRegKeyTask recreates a removed key, values and subkeys included, from
// its backup copy; a missing backup leaves an empty key.
TEST(RollbackCommitTasksTest, CopyRegKeyTaskRecreatesAKeyTreeFromItsBackup)
{
    TestRegistryKey testKey(L"TaskCopyKey");
    const std::wstring backup = testKey.Subkey() + L"\\Backup", original = testKey.Subkey() + L"\\Original\\Key";
    const std::string bytes("\x00\x01\xff", 3);
    WriteValue(backup, L"Text", REG_SZ, StringBytes(L"text \u00e9"));
    WriteValue(backup, L"Number", REG_DWORD, DwordBytes(0x12345678));
    WriteValue(backup, L"", REG_SZ, StringBytes(L"default"));
    WriteValue(backup + L"\\Sub\\Deep", L"Bytes", REG_BINARY, bytes);
    WriteValue(backup + L"\\Empty", L"", REG_NONE, "");

    Perform(std::make_unique<CopyRegKeyTask>(testKey.KeyPath() + L"\\Backup", testKey.KeyPath() + L"\\Original\\Key"));
    ExpectValue(original, L"Text", REG_SZ, StringBytes(L"text \u00e9"));
    ExpectValue(original, L"Number", REG_DWORD, DwordBytes(0x12345678));
    ExpectValue(original, L"", REG_SZ, StringBytes(L"default"));
    ExpectValue(original + L"\\Sub\\Deep", L"Bytes", REG_BINARY, bytes);
    EXPECT_TRUE(KeyExists(original + L"\\Empty"));
    ExpectValue(backup, L"Text", REG_SZ, StringBytes(L"text \u00e9"));

    Perform(std::make_unique<CopyRegKeyTask>(testKey.KeyPath() + L"\\Missing", testKey.KeyPath() + L"\\Target"));
    EXPECT_TRUE(KeyExists(testKey.Subkey() + L"\\Target"));
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Missing"));
}

// ClearAndRemoveRegKeyTask removes a whole key tree, never a root, and is
// silent about a missing key.
TEST(RollbackCommitTasksTest, ClearAndRemoveRegKeyTaskRemovesATreeButNeverARoot)
{
    TestRegistryKey testKey(L"TaskClearKey");
    const std::wstring sub = testKey.Subkey(), root = testKey.KeyPath();
    WriteValue(sub + L"\\Doomed", L"V", REG_SZ, StringBytes(L"v"));
    WriteValue(sub + L"\\Doomed\\Sub\\Deep", L"W", REG_DWORD, DwordBytes(1));
    WriteValue(sub + L"\\Sibling", L"S", REG_SZ, StringBytes(L"s"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(root + L"\\Doomed"));
    EXPECT_FALSE(KeyExists(sub + L"\\Doomed"));
    ExpectValue(sub + L"\\Sibling", L"S", REG_SZ, StringBytes(L"s"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(L"HKEY_CURRENT_USER"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(root + L"\\Missing"));
    Perform(std::make_unique<ClearAndRemoveRegKeyTask>(root + L"\\Missing\\Child"));
    ExpectValue(sub + L"\\Sibling", L"S", REG_SZ, StringBytes(L"s"));
    EXPECT_TRUE(KeyExists(L"Software"));
}

// Value tasks: one value removed, or written back with its exact type and
// data from the task's own copy; a missing value or key is no failure.
TEST(RollbackCommitTasksTest, ValueTasksRemoveOrRestoreExactly)
{
    TestRegistryKey testKey(L"TaskValues");
    const std::wstring sub = testKey.Subkey(), root = testKey.KeyPath();
    WriteValue(sub, L"Gone", REG_SZ, StringBytes(L"gone"));
    WriteValue(sub, L"Kept", REG_SZ, StringBytes(L"kept"));
    Perform(std::make_unique<RemoveRegValueTask>(root, L"Gone"));
    EXPECT_FALSE(ReadValue(sub, L"Gone").exists);
    ExpectValue(sub, L"Kept", REG_SZ, StringBytes(L"kept"));
    Perform(std::make_unique<RemoveRegValueTask>(root, L"Missing"));
    Perform(std::make_unique<RemoveRegValueTask>(root + L"\\Missing", L"V"));

    // The value that replaced the old one has another type and size.
    WriteValue(sub, L"Text", REG_DWORD, DwordBytes(1));
    WriteValue(sub, L"Number", REG_SZ, StringBytes(L"a much longer replacement"));
    const struct {
        const wchar_t* name;
        DWORD type;
        std::string data;
    } values[] = {{L"Text", REG_SZ, StringBytes(L"old text")},
                  {L"Number", REG_DWORD, DwordBytes(0xfeedbeef)},
                  {L"Bytes", REG_BINARY, std::string("\x00\x10\x00\xff\x7f", 5)},
                  {L"Empty", REG_BINARY, std::string()}};
    for (const auto& value : values) {
        Perform(SetValue(root, value.name, value.type, value.data));
        ExpectValue(sub, value.name, value.type, value.data);
    }
    std::string bytes("\x01\x02\x03\x04", 4);
    auto task = SetValue(root, L"Copied", REG_BINARY, bytes);
    bytes.assign("\xff\xff\xff\xff", 4);
    Perform(std::move(task));
    ExpectValue(sub, L"Copied", REG_BINARY, std::string("\x01\x02\x03\x04", 4));
    Perform(SetValue(root + L"\\Missing", L"V", REG_DWORD, DwordBytes(5)));
    EXPECT_FALSE(KeyExists(sub + L"\\Missing"));
}

}  // namespace
