// The state manager against the real file system and registry of the Wine
// prefix: each primitive's change, and each failure's code, Win32 function,
// system error and texts.
#include "transactions/SystemStateManager.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "base/Localizer.h"
#include "streams/MemoryStream.h"
#include "TestSupport.h"
#include "EngineFailure.h"
#include "TransactionTestSupport.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::Localizer;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::RegistryKey;
using OstrelInstallEngine::SanityCheckException;
using OstrelInstallEngine::SystemStateManager;
using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::Win32Exception;
using OstrelTest::PathExists;
using OstrelTest::ReadFileBytes;
using OstrelTest::ScopedEnvironmentVariable;
using OstrelTest::TempFolder;
using OstrelTest::TestRegistryKey;
using OstrelTest::WriteFileBytes;
using TransactionTest::KeyExists;
using TransactionTest::ReadValue;
using TransactionTest::StringBytes;
using TransactionTest::WriteValue;

struct ExpectedWin32Failure {
    std::wstring codeText;
    // The English message up to the system's text of the error.
    std::wstring englishStart;
    std::wstring summary;
    std::wstring messageStart;
};

void ExpectWin32Failure(const std::unique_ptr<Exception>& failure,
                        const ExpectedWin32Failure& expected)
{
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(failure.get()));
    EXPECT_EQ(expected.codeText, failure->GetErrorCode());
    EXPECT_EQ(expected.englishStart,
              failure->GetEnglishMessage().substr(0, expected.englishStart.size()));
    EXPECT_EQ(expected.summary, failure->GetLocalizedSummary());
    EXPECT_EQ(expected.messageStart,
              failure->GetLocalizedMessage().substr(0, expected.messageStart.size()));
}

void ExpectCheckFailure(const std::unique_ptr<Exception>& failure, const std::wstring& codeText,
                        const std::wstring& condition)
{
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<const SanityCheckException*>(failure.get()));
    EXPECT_EQ(codeText, failure->GetErrorCode());
    const std::wstring english = failure->GetEnglishMessage();
    const std::wstring start = L"Assertion failed (SystemStateManager:";
    EXPECT_EQ(start, english.substr(0, start.size())) << english;
    EXPECT_NE(std::wstring::npos, english.find(L"): " + condition)) << english;
}

std::wstring SystemTempPath()
{
    wchar_t buffer[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, buffer);
    return std::wstring(buffer, length);
}

bool IsReadOnly(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void MakeReadOnly(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

// --- The private temporary folder lives exactly as long as the object.

TEST(SystemStateManagerTest, TempFolderIsAGuidFolderUnderTemp)
{
    SystemStateManager manager;
    const std::wstring path = manager.GetTempFolderPath();
    const std::wstring temp = SystemTempPath();
    ASSERT_EQ(temp.size() + 32, path.size()) << path;
    EXPECT_EQ(temp, path.substr(0, temp.size()));
    for (wchar_t c : path.substr(temp.size())) {
        EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) << path;
    }
    EXPECT_TRUE(manager.IsDirectory(path));
}

TEST(SystemStateManagerTest, TwoObjectsHaveDifferentTempFolders)
{
    SystemStateManager first;
    SystemStateManager second;
    EXPECT_NE(first.GetTempFolderPath(), second.GetTempFolderPath());
}

TEST(SystemStateManagerTest, DestructionRemovesTempFolderWithContents)
{
    std::wstring path;
    {
        SystemStateManager manager;
        path = manager.GetTempFolderPath();
        WriteFileBytes(manager.MakeTempName(), "temp file");
        manager.CreateDirectory(path + L"\\sub");
        WriteFileBytes(path + L"\\sub\\inner.txt", "inner");
        MakeReadOnly(path + L"\\sub\\inner.txt");
    }
    EXPECT_FALSE(PathExists(path));
}

TEST(SystemStateManagerTest, DestructionToleratesAVanishedTempFolder)
{
    auto manager = std::make_unique<SystemStateManager>();
    manager->NukeDirectory(manager->GetTempFolderPath());
    EXPECT_NO_THROW(manager.reset());
}

// A translated text of the process-wide table, replaced for one scope.
class ReplacedText {
public:
    ReplacedText(int id, const std::wstring& text)
        : m_id(id), m_oldText(Localizer::GetInstance()->GetString(id))
    {
        Load(text);
    }
    ~ReplacedText() { Load(m_oldText); }

private:
    void Load(const std::wstring& text)
    {
        const std::string table =
            std::to_string(m_id) + "\t" + std::string(text.begin(), text.end());
        auto stream = std::make_unique<MemoryStream>();
        stream->SetData(table.data(), static_cast<uint32_t>(table.size()));
        Localizer::GetInstance()->Load(std::move(stream));
    }

    int m_id;
    std::wstring m_oldText;
};

// Nothing leaves the destructor, not even the failure to build the report of
// a failed clean-up (a placeholder without an argument).
TEST(SystemStateManagerTest, DestructionToleratesAReportThatCannotBeBuilt)
{
    const ReplacedText badText(1000010024, L"Unable to remove folder \"%2DIR_NAME%\"");
    auto manager = std::make_unique<SystemStateManager>();
    manager->NukeDirectory(manager->GetTempFolderPath());
    EXPECT_NO_THROW(manager.reset());
}

TEST(SystemStateManagerTest, TempFolderThatCannotBeCreatedFailsConstruction)
{
    TempFolder scratch;
    const std::wstring missingTemp = scratch.File(L"missing");
    const ScopedEnvironmentVariable tmp(L"TMP", missingTemp);
    const ScopedEnvironmentVariable temp(L"TEMP", missingTemp);
    auto failure = OstrelTest::CatchEngineFailure([] { SystemStateManager manager; });
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(failure.get()));
    EXPECT_EQ(L"10045:00000003", failure->GetErrorCode());
    // The folder name ends in a GUID of its own: 32 digits after the path.
    const std::wstring folder = missingTemp + L"\\";
    const std::wstring english = failure->GetEnglishMessage();
    const std::wstring englishStart = L"Error creating temp dir " + folder;
    EXPECT_EQ(englishStart, english.substr(0, englishStart.size()));
    EXPECT_EQ(L" (CreateDirectoryW returned 00000003: ",
              english.substr(englishStart.size() + 32, 38));
    const std::wstring summaryStart = L"Unable to create folder \"" + folder;
    EXPECT_EQ(summaryStart, failure->GetLocalizedSummary().substr(0, summaryStart.size()));
    EXPECT_EQ(summaryStart.size() + 33, failure->GetLocalizedSummary().size());
    const std::wstring messageStart = L"An error occurred while creating the folder \"" + folder;
    EXPECT_EQ(messageStart, failure->GetLocalizedMessage().substr(0, messageStart.size()));
}

// A temporary path longer than the buffer is refused, not read unfilled.
TEST(SystemStateManagerTest, TooLongTempPathFailsConstruction)
{
    const std::wstring longTemp = L"C:\\" + std::wstring(300, L'x');
    const ScopedEnvironmentVariable tmp(L"TMP", longTemp);
    const ScopedEnvironmentVariable temp(L"TEMP", longTemp);
    auto failure = OstrelTest::CatchEngineFailure([] { SystemStateManager manager; });
    ExpectCheckFailure(failure, L"10051:000000ce", L"pathLength");
}

TEST(SystemStateManagerTest, TempNamesCountUpInTheTempFolder)
{
    SystemStateManager manager;
    const std::wstring folder = manager.GetTempFolderPath();
    EXPECT_EQ(folder + L"\\00000000_TEMP", manager.MakeTempName());
    EXPECT_EQ(folder + L"\\00000001_TEMP", manager.MakeTempName());
    EXPECT_FALSE(PathExists(folder + L"\\00000000_TEMP"));
}

// --- File and folder queries tell the two kinds apart and never fail.

TEST(SystemStateManagerTest, QueriesOfAMissingPathAreFalse)
{
    TempFolder scratch;
    SystemStateManager manager;
    EXPECT_FALSE(manager.IsFile(scratch.File(L"missing")));
    EXPECT_FALSE(manager.IsDirectory(scratch.File(L"missing")));
    EXPECT_FALSE(manager.IsFile(scratch.File(L"missing\\deeper")));
}

TEST(SystemStateManagerTest, QueriesTellFoldersFromFiles)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "a");
    MakeReadOnly(scratch.File(L"a.dat"));
    EXPECT_TRUE(manager.IsDirectory(scratch.Path()));
    EXPECT_FALSE(manager.IsFile(scratch.Path()));
    EXPECT_TRUE(manager.IsFile(scratch.File(L"a.dat")));
    EXPECT_FALSE(manager.IsDirectory(scratch.File(L"a.dat")));
}

// --- Creating a file gives the caller a new, writable handle and never
// --- opens an existing file.

TEST(SystemStateManagerTest, CreatingAFileReturnsAnOwnedWritableHandle)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"new.dat");
    {
        UniqueFileHandle file = manager.CreateFile(path);
        ASSERT_TRUE(file.IsValid());
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), "abc", 3, &written, nullptr));
    }
    EXPECT_EQ("abc", ReadFileBytes(path));
}

TEST(SystemStateManagerTest, CreatingOverAnExistingFileFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"old.dat");
    WriteFileBytes(path, "old");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.CreateFile(path); });
    ExpectWin32Failure(failure,
                       {L"10034:00000050",
                        L"Error creating file \"" + path + L"\" (CreateFileW returned 00000050: ",
                        L"Unable to create file \"" + path + L"\"",
                        L"An error occurred while creating the file \"" + path + L"\"."});
    EXPECT_EQ("old", ReadFileBytes(path));
}

// --- Deleting clears a read-only bit, and puts it back when the delete fails.

TEST(SystemStateManagerTest, DeletingRemovesAReadOnlyFile)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"ro.dat");
    WriteFileBytes(path, "ro");
    MakeReadOnly(path);
    manager.DeleteFile(path);
    EXPECT_FALSE(PathExists(path));
}

TEST(SystemStateManagerTest, DeletingAMissingFileFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"missing.dat");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.DeleteFile(path); });
    ExpectWin32Failure(failure,
                       {L"10036:00000002",
                        L"Error deleting file \"" + path + L"\" (DeleteFileW returned 00000002: ",
                        L"Unable to delete file \"" + path + L"\"",
                        L"An error occurred while deleting the file \"" + path + L"\"."});
}

TEST(SystemStateManagerTest, FailedDeleteLeavesTheFileReadOnly)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"held.dat");
    WriteFileBytes(path, "held");
    MakeReadOnly(path);
    // Held open without FILE_SHARE_DELETE, the file cannot be deleted.
    UniqueFileHandle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.IsValid());
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.DeleteFile(path); });
    ExpectWin32Failure(failure,
                       {L"10036:00000020",
                        L"Error deleting file \"" + path + L"\" (DeleteFileW returned 00000020: ",
                        L"Unable to delete file \"" + path + L"\"", L""});
    holder.Close();
    EXPECT_TRUE(PathExists(path));
    EXPECT_TRUE(IsReadOnly(path));
}

// --- Moving and copying never overwrite a destination.

TEST(SystemStateManagerTest, MovingRenamesAFile)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "a");
    manager.MoveFile(scratch.File(L"a.dat"), scratch.File(L"b.dat"));
    EXPECT_FALSE(PathExists(scratch.File(L"a.dat")));
    EXPECT_EQ("a", ReadFileBytes(scratch.File(L"b.dat")));
}

TEST(SystemStateManagerTest, MovingAMissingFileFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring source = scratch.File(L"missing.dat");
    const std::wstring destination = scratch.File(L"b.dat");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.MoveFile(source, destination); });
    ExpectWin32Failure(failure,
                       {L"10037:00000002",
                        L"Error moving file \"" + source + L"\" to \"" + destination +
                            L"\" (MoveFileW returned 00000002: ",
                        L"Unable to move file \"" + source + L"\" to \"" + destination + L"\".",
                        L"An error occurred while moving the file \"" + source + L"\" to \"" +
                            destination + L"\"."});
}

TEST(SystemStateManagerTest, MovingOntoAnExistingFileFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "a");
    WriteFileBytes(scratch.File(L"b.dat"), "b");
    auto failure =
        OstrelTest::CatchEngineFailure([&] { manager.MoveFile(scratch.File(L"a.dat"), scratch.File(L"b.dat")); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10037:000000b7", failure->GetErrorCode());
    EXPECT_EQ("a", ReadFileBytes(scratch.File(L"a.dat")));
    EXPECT_EQ("b", ReadFileBytes(scratch.File(L"b.dat")));
}

TEST(SystemStateManagerTest, CopyingDuplicatesAFile)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "a");
    manager.CopyFile(scratch.File(L"a.dat"), scratch.File(L"b.dat"));
    EXPECT_EQ("a", ReadFileBytes(scratch.File(L"a.dat")));
    EXPECT_EQ("a", ReadFileBytes(scratch.File(L"b.dat")));
}

TEST(SystemStateManagerTest, CopyingOntoAnExistingFileFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring source = scratch.File(L"a.dat");
    const std::wstring destination = scratch.File(L"b.dat");
    WriteFileBytes(source, "a");
    WriteFileBytes(destination, "b");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.CopyFile(source, destination); });
    ExpectWin32Failure(failure,
                       {L"10268:00000050",
                        L"Error copying file \"" + source + L"\" to \"" + destination +
                            L"\" (CopyFileW returned 00000050: ",
                        L"Unable to copy file \"" + source + L"\" to \"" + destination + L"\".",
                        L"An error occurred while copying the file \"" + source + L"\" to \"" +
                            destination + L"\"."});
    EXPECT_EQ("b", ReadFileBytes(destination));
}

// --- A backup is a rename to the first free "BK_%08x" of the file's folder.

TEST(SystemStateManagerTest, BackupSkipsATakenNameAndMovesTheFile)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "payload");
    WriteFileBytes(scratch.File(L"BK_00000000"), "older backup");
    const std::wstring backup = manager.BackupFile(scratch.File(L"a.dat"));
    EXPECT_EQ(scratch.File(L"BK_00000001"), backup);
    EXPECT_FALSE(PathExists(scratch.File(L"a.dat")));
    EXPECT_EQ("payload", ReadFileBytes(backup));
    EXPECT_EQ("older backup", ReadFileBytes(scratch.File(L"BK_00000000")));
}

TEST(SystemStateManagerTest, BackupOfARelativeNameLandsBesideTheFile)
{
    TempFolder scratch;
    SystemStateManager manager;
    manager.CreateDirectory(scratch.File(L"sub"));
    WriteFileBytes(scratch.File(L"sub\\a.dat"), "payload");
    const std::wstring backup = manager.BackupFile(scratch.File(L"sub\\..\\sub\\a.dat"));
    EXPECT_EQ(scratch.File(L"sub\\BK_00000000"), backup);
    EXPECT_EQ("payload", ReadFileBytes(scratch.File(L"sub\\BK_00000000")));
}

TEST(SystemStateManagerTest, BackupRefusesANameOfMaxPathCharacters)
{
    TempFolder scratch;
    SystemStateManager manager;
    std::wstring longName = scratch.Path() + L"\\";
    longName.append(MAX_PATH - longName.size(), L'x');
    ASSERT_EQ(static_cast<size_t>(MAX_PATH), longName.size());
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.BackupFile(longName); });
    ExpectCheckFailure(failure, L"10049", L"fileName.length() < MAX_PATH");
    EXPECT_FALSE(PathExists(scratch.File(L"BK_00000000")));
}

TEST(SystemStateManagerTest, BackupOfAMissingFileFailsAtTheMove)
{
    TempFolder scratch;
    SystemStateManager manager;
    std::wstring name = scratch.Path() + L"\\";
    name.append(MAX_PATH - 1 - name.size(), L'x');
    const std::wstring backup = scratch.File(L"BK_00000000");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.BackupFile(name); });
    ExpectWin32Failure(failure, {L"10050:00000002",
                                 L"Error backing up file \"" + name + L"\" to \"" + backup +
                                     L"\" (MoveFileW returned 00000002: ",
                                 L"Unable to move file \"" + name + L"\" to \"" + backup + L"\".",
                                 L"An error occurred while moving the file \"" + name +
                                     L"\" to \"" + backup + L"\"."});
}

TEST(SystemStateManagerTest, BackupOfAnEmptyNameFindsNoFolder)
{
    SystemStateManager manager;
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.BackupFile(L""); });
    ASSERT_NE(nullptr, failure);
    // The shell sets no error of its own here; whatever came before is attached.
    EXPECT_EQ(L"10053:", failure->GetErrorCode().substr(0, 6));
    const std::wstring english = failure->GetEnglishMessage();
    EXPECT_EQ(0u, english.find(L"Assertion failed (SystemStateManager:")) << english;
    EXPECT_NE(std::wstring::npos, english.find(L"): false; HRESULT ")) << english;
}

// --- Folders: one level at a time, or a whole tree at once.

TEST(SystemStateManagerTest, FolderIsCreatedAndRemoved)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"dir");
    manager.CreateDirectory(path);
    EXPECT_TRUE(manager.IsDirectory(path));
    manager.RemoveDirectory(path);
    EXPECT_FALSE(PathExists(path));
}

TEST(SystemStateManagerTest, CreatingAFolderWithoutParentFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"missing\\dir");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.CreateDirectory(path); });
    ExpectWin32Failure(
        failure, {L"10038:00000003",
                  L"Error creating dir \"" + path + L"\" (CreateDirectoryW returned 00000003: ",
                  L"Unable to create folder \"" + path + L"\"",
                  L"An error occurred while creating the folder \"" + path + L"\"."});
}

TEST(SystemStateManagerTest, RemovingAFolderThatIsNotEmptyFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"dir");
    manager.CreateDirectory(path);
    WriteFileBytes(path + L"\\a.dat", "a");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.RemoveDirectory(path); });
    ExpectWin32Failure(
        failure, {L"10039:00000091",
                  L"Error removing dir \"" + path + L"\" (RemoveDirectoryW returned 00000091: ",
                  L"Unable to remove folder \"" + path + L"\"",
                  L"An error occurred while removing the folder \"" + path + L"\"."});
    EXPECT_TRUE(PathExists(path + L"\\a.dat"));
}

TEST(SystemStateManagerTest, NukingRemovesAWholeTree)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"tree");
    manager.CreateDirectory(path);
    manager.CreateDirectory(path + L"\\sub");
    manager.CreateDirectory(path + L"\\sub\\empty");
    WriteFileBytes(path + L"\\a.dat", "a");
    WriteFileBytes(path + L"\\sub\\b.dat", "b");
    MakeReadOnly(path + L"\\sub\\b.dat");
    manager.NukeDirectory(path);
    EXPECT_FALSE(PathExists(path));
    EXPECT_TRUE(PathExists(scratch.Path()));
}

TEST(SystemStateManagerTest, NukingASingleFileRemovesIt)
{
    TempFolder scratch;
    SystemStateManager manager;
    WriteFileBytes(scratch.File(L"a.dat"), "a");
    WriteFileBytes(scratch.File(L"b.dat"), "b");
    manager.NukeDirectory(scratch.File(L"a.dat"));
    EXPECT_FALSE(PathExists(scratch.File(L"a.dat")));
    EXPECT_TRUE(PathExists(scratch.File(L"b.dat")));
}

TEST(SystemStateManagerTest, NukingAMissingFolderFails)
{
    TempFolder scratch;
    SystemStateManager manager;
    const std::wstring path = scratch.File(L"missing");
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.NukeDirectory(path); });
    ExpectWin32Failure(
        failure,
        {L"10040:00000002",
         L"Error nuking dir \"" + path + L"\" (SHFileOperationW returned 00000002: ",
         L"Unable to remove folder \"" + path + L"\" or its contents",
         L"An error occurred while removing the folder \"" + path + L"\" and its contents."});
}

// --- Registry key queries: absent keys and values are false, a bad root
// --- name is a programming error.

TEST(SystemStateManagerTest, RegistryQueriesFindKeysAndValues)
{
    TestRegistryKey testKey(L"StateQueries");
    WriteValue(testKey.Subkey(), L"Name", REG_SZ, StringBytes(L"v"));
    WriteValue(testKey.Subkey(), L"", REG_SZ, StringBytes(L"default"));
    SystemStateManager manager;
    EXPECT_TRUE(manager.IsRegKey(testKey.KeyPath()));
    EXPECT_TRUE(manager.IsRegKey(L"hkey_current_user\\Software"));
    EXPECT_FALSE(manager.IsRegKey(testKey.KeyPath() + L"\\Missing"));
    EXPECT_TRUE(manager.IsRegValue(testKey.KeyPath(), L"Name"));
    EXPECT_TRUE(manager.IsRegValue(testKey.KeyPath(), L""));
    EXPECT_FALSE(manager.IsRegValue(testKey.KeyPath(), L"Missing"));
    EXPECT_FALSE(manager.IsRegValue(testKey.KeyPath() + L"\\Missing", L"Name"));
}

TEST(SystemStateManagerTest, RegistryQueryOfAnUnknownRootThrows)
{
    SystemStateManager manager;
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.IsRegKey(L"HKLM\\Software"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<const SanityCheckException*>(failure.get()));
    EXPECT_EQ(L"10078", failure->GetErrorCode());
    failure = OstrelTest::CatchEngineFailure([&] { manager.IsRegValue(L"HKCU\\Software", L"x"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10078", failure->GetErrorCode());
}

// --- Opening and creating keys: the caller gets an open key; an existing
// --- key is never passed off as created.

TEST(SystemStateManagerTest, OpeningAKeyGivesFullAccess)
{
    TestRegistryKey testKey(L"StateOpen");
    SystemStateManager manager;
    RegistryKey key = manager.OpenRegKey(testKey.KeyPath());
    ASSERT_TRUE(key.IsValid());
    const std::string data = StringBytes(L"written");
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key.Get(), L"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())));
    key.Close();
    EXPECT_EQ(data, ReadValue(testKey.Subkey(), L"V").data);
}

TEST(SystemStateManagerTest, OpeningAMissingKeyFails)
{
    TestRegistryKey testKey(L"StateOpenMissing");
    SystemStateManager manager;
    const std::wstring path = testKey.KeyPath() + L"\\Missing";
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.OpenRegKey(path); });
    ExpectWin32Failure(
        failure, {L"10042:00000002",
                  L"Error opening reg key \"" + path + L"\" (RegOpenKeyExW returned 00000002: ",
                  L"Unable to open registry key \"" + path + L"\"",
                  L"An error occurred while opening the registry key \"" + path + L"\"."});
}

TEST(SystemStateManagerTest, CreatingAKeyMakesMissingLevels)
{
    TestRegistryKey testKey(L"StateCreate");
    SystemStateManager manager;
    RegistryKey key = manager.CreateRegKey(testKey.KeyPath() + L"\\A\\B");
    ASSERT_TRUE(key.IsValid());
    key.Close();
    EXPECT_TRUE(KeyExists(testKey.Subkey() + L"\\A\\B"));
}

TEST(SystemStateManagerTest, CreatingAnExistingKeyFailsAndLeavesIt)
{
    TestRegistryKey testKey(L"StateCreateExisting");
    WriteValue(testKey.Subkey(), L"Kept", REG_SZ, StringBytes(L"kept"));
    WriteValue(testKey.Subkey() + L"\\Child", L"Inner", REG_SZ, StringBytes(L"inner"));
    SystemStateManager manager;
    const std::wstring path = testKey.KeyPath();
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.CreateRegKey(path); });
    ExpectWin32Failure(
        failure,
        {L"10054:000000b7",
         L"Trying to overwrite reg key \"" + path + L"\" (RegCreateKeyExW returned 000000b7: ",
         L"Unable to create registry key \"" + path + L"\"",
         L"An error occurred while creating the registry key \"" + path + L"\"."});
    EXPECT_EQ(StringBytes(L"kept"), ReadValue(testKey.Subkey(), L"Kept").data);
    EXPECT_EQ(StringBytes(L"inner"), ReadValue(testKey.Subkey() + L"\\Child", L"Inner").data);
}

TEST(SystemStateManagerTest, CreatingAKeyTheRegistryRefusesFails)
{
    TestRegistryKey testKey(L"StateCreateRefused");
    SystemStateManager manager;
    // A key name longer than 255 characters is an invalid parameter.
    const std::wstring path = testKey.KeyPath() + L"\\" + std::wstring(300, L'k');
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.CreateRegKey(path); });
    ExpectWin32Failure(
        failure, {L"10041:00000057",
                  L"Error creating reg key \"" + path + L"\" (RegCreateKeyExW returned 00000057: ",
                  L"Unable to create registry key \"" + path + L"\"",
                  L"An error occurred while creating the registry key \"" + path + L"\"."});
}

// --- Removing keys: a plain remove stops at subkeys, a nuke takes the tree.

TEST(SystemStateManagerTest, RemovingALeafKey)
{
    TestRegistryKey testKey(L"StateRemoveLeaf");
    WriteValue(testKey.Subkey() + L"\\Leaf", L"V", REG_SZ, StringBytes(L"v"));
    SystemStateManager manager;
    manager.RemoveRegKey(testKey.KeyPath() + L"\\Leaf");
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Leaf"));
    EXPECT_TRUE(KeyExists(testKey.Subkey()));
}

TEST(SystemStateManagerTest, RemovingAKeyWithSubkeysFailsWhereNukingSucceeds)
{
    TestRegistryKey testKey(L"StateRemoveTree");
    WriteValue(testKey.Subkey() + L"\\Tree", L"Top", REG_SZ, StringBytes(L"top"));
    WriteValue(testKey.Subkey() + L"\\Tree\\Sub\\Deep", L"V", REG_DWORD,
               TransactionTest::DwordBytes(7));
    SystemStateManager manager;
    const std::wstring path = testKey.KeyPath() + L"\\Tree";
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.RemoveRegKey(path); });
    ExpectWin32Failure(
        failure,
        {L"10225:00000005",
         L"Error removing reg key " + path + L" (RegDeleteKeyW returned 00000005: ",
         L"Unable to remove registry key \"" + path + L"\"",
         L"An error occurred while removing the registry key \"" + path + L"\" and its subkeys."});
    EXPECT_TRUE(KeyExists(testKey.Subkey() + L"\\Tree\\Sub\\Deep"));

    manager.NukeRegKey(path);
    EXPECT_FALSE(KeyExists(testKey.Subkey() + L"\\Tree"));
    EXPECT_TRUE(KeyExists(testKey.Subkey()));
}

TEST(SystemStateManagerTest, RemovingAMissingKeyFails)
{
    TestRegistryKey testKey(L"StateRemoveMissing");
    SystemStateManager manager;
    const std::wstring path = testKey.KeyPath() + L"\\Missing";
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.RemoveRegKey(path); });
    ExpectWin32Failure(
        failure,
        {L"10225:00000002",
         L"Error removing reg key " + path + L" (RegDeleteKeyW returned 00000002: ",
         L"Unable to remove registry key \"" + path + L"\"",
         L"An error occurred while removing the registry key \"" + path + L"\" and its subkeys."});
}

TEST(SystemStateManagerTest, NukingAMissingKeyFails)
{
    TestRegistryKey testKey(L"StateNukeMissing");
    SystemStateManager manager;
    const std::wstring path = testKey.KeyPath() + L"\\Missing";
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.NukeRegKey(path); });
    ExpectWin32Failure(
        failure,
        {L"10044:00000002",
         L"Error removing reg key " + path + L" (SHDeleteKeyW returned 00000002: ",
         L"Unable to remove registry key \"" + path + L"\"",
         L"An error occurred while removing the registry key \"" + path + L"\" and its subkeys."});
}

TEST(SystemStateManagerTest, NukingBelowAMissingParentFailsAtTheOpen)
{
    TestRegistryKey testKey(L"StateNukeNoParent");
    SystemStateManager manager;
    const std::wstring parent = testKey.KeyPath() + L"\\Missing";
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.NukeRegKey(parent + L"\\Child"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10042:00000002", failure->GetErrorCode());
    EXPECT_EQ(L"Unable to open registry key \"" + parent + L"\"", failure->GetLocalizedSummary());
}

TEST(SystemStateManagerTest, NukingABareRootNameIsRefused)
{
    SystemStateManager manager;
    auto failure = OstrelTest::CatchEngineFailure([&] { manager.NukeRegKey(L"HKEY_CURRENT_USER"); });
    ExpectCheckFailure(failure, L"10047", L"keyPath.find('\\\\') != std::wstring::npos");
    EXPECT_TRUE(KeyExists(L"Software"));
}

}  // namespace
