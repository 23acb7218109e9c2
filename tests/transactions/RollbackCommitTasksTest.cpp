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

using OstrelInstallEngine::ClearAndRemoveRegKeyTask;
using OstrelInstallEngine::CopyRegKeyTask;
using OstrelInstallEngine::MoveFileTask;
using OstrelInstallEngine::RemoveDirectoryTask;
using OstrelInstallEngine::RemoveFileTask;
using OstrelInstallEngine::RemoveRegValueTask;
using OstrelInstallEngine::RollbackCommitTask;
using OstrelInstallEngine::SetRegValueTask;
using OstrelTest::PathExists;
using OstrelTest::ReadFileBytes;
using OstrelTest::TempFolder;
using OstrelTest::TestRegistryKey;
using OstrelTest::WriteFileBytes;
using TransactionTest::CreateKey;
using TransactionTest::DwordBytes;
using TransactionTest::KeyExists;
using TransactionTest::ReadValue;
using TransactionTest::RegValue;
using TransactionTest::StringBytes;
using TransactionTest::WriteValue;

// Runs a task the way the package does: through the base class, then deletes it.
void PerformOnce(std::unique_ptr<RollbackCommitTask> task)
{
    task->Perform();
}

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ExpectValue(const std::wstring& subkey, const std::wstring& name, DWORD type,
                 const std::string& data)
{
    RegValue value = ReadValue(subkey, name);
    ASSERT_TRUE(value.exists) << "value " << testing::PrintToString(name);
    EXPECT_EQ(type, value.type);
    EXPECT_EQ(data, value.data);
}

// --- File and folder tasks: the action is done when it can be, and a refusal
// --- leaves things as they were without a report.

TEST(RollbackCommitTasksTest, MoveFileTaskPutsABackupBack)
{
    TempFolder scratch;
    WriteFileBytes(scratch.File(L"BK_00000000"), "original");
    PerformOnce(
        std::make_unique<MoveFileTask>(scratch.File(L"BK_00000000"), scratch.File(L"a.dat")));
    EXPECT_FALSE(PathExists(scratch.File(L"BK_00000000")));
    EXPECT_EQ("original", ReadFileBytes(scratch.File(L"a.dat")));
}

TEST(RollbackCommitTasksTest, MoveFileTaskLeavesAnOccupiedDestination)
{
    TempFolder scratch;
    WriteFileBytes(scratch.File(L"BK_00000000"), "original");
    WriteFileBytes(scratch.File(L"a.dat"), "newer");
    EXPECT_NO_THROW(PerformOnce(
        std::make_unique<MoveFileTask>(scratch.File(L"BK_00000000"), scratch.File(L"a.dat"))));
    EXPECT_EQ("original", ReadFileBytes(scratch.File(L"BK_00000000")));
    EXPECT_EQ("newer", ReadFileBytes(scratch.File(L"a.dat")));
}

TEST(RollbackCommitTasksTest, MoveFileTaskOfAMissingFileDoesNothing)
{
    TempFolder scratch;
    EXPECT_NO_THROW(PerformOnce(
        std::make_unique<MoveFileTask>(scratch.File(L"missing"), scratch.File(L"a.dat"))));
    EXPECT_FALSE(PathExists(scratch.File(L"a.dat")));
}

TEST(RollbackCommitTasksTest, RemoveFileTaskDeletesAReadOnlyFile)
{
    TempFolder scratch;
    const std::wstring path = scratch.File(L"ro.dat");
    WriteFileBytes(path, "ro");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    PerformOnce(std::make_unique<RemoveFileTask>(path));
    EXPECT_FALSE(PathExists(path));
}

TEST(RollbackCommitTasksTest, RemoveFileTaskOfAMissingFileReportsNothing)
{
    TempFolder scratch;
    EXPECT_NO_THROW(PerformOnce(std::make_unique<RemoveFileTask>(scratch.File(L"missing.dat"))));
    EXPECT_NO_THROW(
        PerformOnce(std::make_unique<RemoveFileTask>(scratch.File(L"missing\\deeper.dat"))));
    EXPECT_TRUE(PathExists(scratch.Path()));
}

TEST(RollbackCommitTasksTest, RemoveFileTaskLeavesAFolder)
{
    TempFolder scratch;
    CreateDirectoryW(scratch.File(L"dir").c_str(), nullptr);
    EXPECT_NO_THROW(PerformOnce(std::make_unique<RemoveFileTask>(scratch.File(L"dir"))));
    EXPECT_TRUE(IsDirectory(scratch.File(L"dir")));
}

TEST(RollbackCommitTasksTest, RemoveDirectoryTaskRemovesAnEmptyFolder)
{
    TempFolder scratch;
    const std::wstring path = scratch.File(L"dir");
    CreateDirectoryW(path.c_str(), nullptr);
    PerformOnce(std::make_unique<RemoveDirectoryTask>(path));
    EXPECT_FALSE(PathExists(path));
}

TEST(RollbackCommitTasksTest, RemoveDirectoryTaskLeavesAFolderThatIsNotEmpty)
{
    TempFolder scratch;
    const std::wstring path = scratch.File(L"dir");
    CreateDirectoryW(path.c_str(), nullptr);
    WriteFileBytes(path + L"\\written-meanwhile.txt", "x");
    EXPECT_NO_THROW(PerformOnce(std::make_unique<RemoveDirectoryTask>(path)));
    EXPECT_EQ("x", ReadFileBytes(path + L"\\written-meanwhile.txt"));
    EXPECT_NO_THROW(PerformOnce(std::make_unique<RemoveDirectoryTask>(scratch.File(L"missing"))));
}

// --- CopyRegKeyTask recreates a removed key, values and subkeys included,
// --- from its backup copy.

TEST(RollbackCommitTasksTest, CopyRegKeyTaskRecreatesAKeyTreeFromItsBackup)
{
    TestRegistryKey testKey(L"TaskCopyKey");
    const std::wstring backup = testKey.Subkey() + L"\\Backup";
    WriteValue(backup, L"Text", REG_SZ, StringBytes(L"text \u00e9"));
    WriteValue(backup, L"Number", REG_DWORD, DwordBytes(0x12345678));
    WriteValue(backup, L"", REG_SZ, StringBytes(L"default"));
    WriteValue(backup + L"\\Sub\\Deep", L"Bytes", REG_BINARY, std::string("\x00\x01\xff", 3));
    CreateKey(backup + L"\\Empty");

    PerformOnce(std::make_unique<CopyRegKeyTask>(testKey.KeyPath() + L"\\Backup",
                                                 testKey.KeyPath() + L"\\Original\\Key"));

    const std::wstring original = testKey.Subkey() + L"\\Original\\Key";
    ExpectValue(original, L"Text", REG_SZ, StringBytes(L"text \u00e9"));
    ExpectValue(original, L"Number", REG_DWORD, DwordBytes(0x12345678));
    ExpectValue(original, L"", REG_SZ, StringBytes(L"default"));
    ExpectValue(original + L"\\Sub\\Deep", L"Bytes", REG_BINARY, std::string("\x00\x01\xff", 3));
    EXPECT_TRUE(KeyExists(original + L"\\Empty"));
    ExpectValue(backup, L"Text", REG_SZ, StringBytes(L"text \u00e9"));
}

TEST(RollbackCommitTasksTest, CopyRegKeyTaskOfAMissingBackupLeavesAnEmptyKey)
{
    TestRegistryKey testKey(L"TaskCopyMissing");
    EXPECT_NO_THROW(PerformOnce(std::make_unique<CopyRegKeyTask>(testKey.KeyPath() + L"\\Missing",
                                                                 testKey.KeyPath() + L"\\Target")));
    EXPECT_TRUE(KeyExists(testKey.Subkey() + L"\\Target"));
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Missing"));
}

// --- ClearAndRemoveRegKeyTask removes a whole key tree, and never a root.

TEST(RollbackCommitTasksTest, ClearAndRemoveRegKeyTaskRemovesAKeyWithSubkeys)
{
    TestRegistryKey testKey(L"TaskClearKey");
    WriteValue(testKey.Subkey() + L"\\Doomed", L"V", REG_SZ, StringBytes(L"v"));
    WriteValue(testKey.Subkey() + L"\\Doomed\\Sub\\Deep", L"W", REG_DWORD, DwordBytes(1));
    WriteValue(testKey.Subkey() + L"\\Sibling", L"S", REG_SZ, StringBytes(L"s"));
    PerformOnce(std::make_unique<ClearAndRemoveRegKeyTask>(testKey.KeyPath() + L"\\Doomed"));
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Doomed"));
    ExpectValue(testKey.Subkey() + L"\\Sibling", L"S", REG_SZ, StringBytes(L"s"));
}

TEST(RollbackCommitTasksTest, ClearAndRemoveRegKeyTaskOfABareRootDoesNothing)
{
    TestRegistryKey testKey(L"TaskClearRoot");
    WriteValue(testKey.Subkey(), L"Kept", REG_SZ, StringBytes(L"kept"));
    EXPECT_NO_THROW(PerformOnce(std::make_unique<ClearAndRemoveRegKeyTask>(L"HKEY_CURRENT_USER")));
    ExpectValue(testKey.Subkey(), L"Kept", REG_SZ, StringBytes(L"kept"));
    EXPECT_TRUE(KeyExists(L"Software"));
}

TEST(RollbackCommitTasksTest, ClearAndRemoveRegKeyTaskOfAMissingKeyReportsNothing)
{
    TestRegistryKey testKey(L"TaskClearMissing");
    EXPECT_NO_THROW(
        PerformOnce(std::make_unique<ClearAndRemoveRegKeyTask>(testKey.KeyPath() + L"\\Missing")));
    EXPECT_NO_THROW(PerformOnce(
        std::make_unique<ClearAndRemoveRegKeyTask>(testKey.KeyPath() + L"\\Missing\\Child")));
    EXPECT_TRUE(KeyExists(testKey.Subkey()));
}

// --- Value tasks: one value removed, or written back with its exact type and data.

TEST(RollbackCommitTasksTest, RemoveRegValueTaskRemovesOneValue)
{
    TestRegistryKey testKey(L"TaskRemoveValue");
    WriteValue(testKey.Subkey(), L"Gone", REG_SZ, StringBytes(L"gone"));
    WriteValue(testKey.Subkey(), L"Kept", REG_SZ, StringBytes(L"kept"));
    PerformOnce(std::make_unique<RemoveRegValueTask>(testKey.KeyPath(), L"Gone"));
    EXPECT_FALSE(ReadValue(testKey.Subkey(), L"Gone").exists);
    ExpectValue(testKey.Subkey(), L"Kept", REG_SZ, StringBytes(L"kept"));
}

TEST(RollbackCommitTasksTest, RemoveRegValueTaskOfAMissingValueReportsNothing)
{
    TestRegistryKey testKey(L"TaskRemoveValueMissing");
    EXPECT_NO_THROW(
        PerformOnce(std::make_unique<RemoveRegValueTask>(testKey.KeyPath(), L"Missing")));
    EXPECT_NO_THROW(
        PerformOnce(std::make_unique<RemoveRegValueTask>(testKey.KeyPath() + L"\\Missing", L"V")));
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Missing"));
}

TEST(RollbackCommitTasksTest, SetRegValueTaskRestoresTypeAndDataExactly)
{
    TestRegistryKey testKey(L"TaskSetValue");
    const std::string text = StringBytes(L"old text");
    const std::string number = DwordBytes(0xfeedbeef);
    const std::string bytes("\x00\x10\x00\xff\x7f", 5);
    // The value that replaced the old one has another type and size.
    WriteValue(testKey.Subkey(), L"Text", REG_DWORD, DwordBytes(1));
    WriteValue(testKey.Subkey(), L"Number", REG_SZ, StringBytes(L"a much longer replacement"));

    PerformOnce(std::make_unique<SetRegValueTask>(testKey.KeyPath(), L"Text", REG_SZ,
                                                  reinterpret_cast<const BYTE*>(text.data()),
                                                  static_cast<DWORD>(text.size())));
    PerformOnce(std::make_unique<SetRegValueTask>(testKey.KeyPath(), L"Number", REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(number.data()),
                                                  static_cast<DWORD>(number.size())));
    PerformOnce(std::make_unique<SetRegValueTask>(testKey.KeyPath(), L"Bytes", REG_BINARY,
                                                  reinterpret_cast<const BYTE*>(bytes.data()),
                                                  static_cast<DWORD>(bytes.size())));
    PerformOnce(
        std::make_unique<SetRegValueTask>(testKey.KeyPath(), L"Empty", REG_BINARY, nullptr, 0));

    ExpectValue(testKey.Subkey(), L"Text", REG_SZ, text);
    ExpectValue(testKey.Subkey(), L"Number", REG_DWORD, number);
    ExpectValue(testKey.Subkey(), L"Bytes", REG_BINARY, bytes);
    ExpectValue(testKey.Subkey(), L"Empty", REG_BINARY, std::string());
}

TEST(RollbackCommitTasksTest, SetRegValueTaskKeepsItsOwnCopyOfTheData)
{
    TestRegistryKey testKey(L"TaskSetValueCopy");
    std::string bytes("\x01\x02\x03\x04", 4);
    auto task = std::make_unique<SetRegValueTask>(testKey.KeyPath(), L"Copied", REG_BINARY,
                                                  reinterpret_cast<const BYTE*>(bytes.data()),
                                                  static_cast<DWORD>(bytes.size()));
    bytes.assign("\xff\xff\xff\xff", 4);
    PerformOnce(std::move(task));
    ExpectValue(testKey.Subkey(), L"Copied", REG_BINARY, std::string("\x01\x02\x03\x04", 4));
}

TEST(RollbackCommitTasksTest, SetRegValueTaskForAVanishedKeyReportsNothing)
{
    TestRegistryKey testKey(L"TaskSetValueMissing");
    const std::string number = DwordBytes(5);
    EXPECT_NO_THROW(PerformOnce(std::make_unique<SetRegValueTask>(
        testKey.KeyPath() + L"\\Missing", L"V", REG_DWORD,
        reinterpret_cast<const BYTE*>(number.data()), static_cast<DWORD>(number.size()))));
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Missing"));
}

}  // namespace
