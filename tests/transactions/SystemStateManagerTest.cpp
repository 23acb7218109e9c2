// The state manager against the real file system and registry of the Wine
// prefix: its temporary folder, backups and nukes, and each failure's code,
// Win32 function, system error and texts. (The primitives' changes show in
// the tests of the script functions built on them.)
#include "transactions/SystemStateManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "base/Localizer.h"
#include "base/MemoryStream.h"
#include "EngineFailure.h"
#include "RegistryTestSupport.h"
#include "TestSupport.h"

namespace {

using namespace OstrelInstallEngine;
using namespace OstrelTest;
const HKEY HKCU = HKEY_CURRENT_USER;

std::wstring Q(const std::wstring& text) { return L"\"" + text + L"\""; }

// One refused operation: its code text, the English message up to the
// system's text of the error, the summary and the start of the message.
struct Win32Case {
    std::function<void()> action;
    std::wstring code, englishStart, summary, messageStart;
};

void ExpectWin32Failure(const Win32Case& expected)
{
    SCOPED_TRACE(expected.code);
    auto failure = CatchEngineFailure(expected.action);
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(failure.get()));
    EXPECT_EQ(expected.code, failure->GetErrorCode());
    EXPECT_EQ(expected.englishStart, failure->GetEnglishMessage().substr(0, expected.englishStart.size()));
    EXPECT_EQ(expected.summary, failure->GetLocalizedSummary());
    EXPECT_EQ(expected.messageStart, failure->GetLocalizedMessage().substr(0, expected.messageStart.size()));
}

// A failed check: its code text (a trailing ':' accepts any attached error)
// and the condition that failed in the source file (none when it failed in a
// helper).
void ExpectCheckFailure(const std::unique_ptr<Exception>& failure, const std::wstring& code,
                        const std::wstring& condition,
                        const std::wstring& source = L"SystemStateManager")
{
    ASSERT_NE(nullptr, failure) << testing::PrintToString(code);
    EXPECT_NE(nullptr, dynamic_cast<const SanityCheckException*>(failure.get()));
    const std::wstring actual = failure->GetErrorCode();
    EXPECT_EQ(code, code.back() == L':' ? actual.substr(0, code.size()) : actual);
    const std::wstring english = failure->GetEnglishMessage();
    if (condition.empty()) {
        return;
    }
    EXPECT_EQ(0u, english.find(L"Assertion failed (" + source + L":")) << english;
    EXPECT_NE(std::wstring::npos, english.find(L"): " + condition)) << english;
}

bool IsReadOnly(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void MakeReadOnly(const std::wstring& path) { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY); }

// The private temporary folder is a fresh GUID folder under %TEMP% that lives
// exactly as long as the object; temp names count up inside it.
TEST(SystemStateManagerTest, TempFolderLivesAsLongAsTheObject)
{
    wchar_t buffer[MAX_PATH];
    const std::wstring temp(buffer, GetTempPathW(MAX_PATH, buffer));
    std::wstring path;
    {
        SystemStateManager manager;
        SystemStateManager other;
        path = manager.GetTempFolderPath();
        EXPECT_NE(path, other.GetTempFolderPath());
        ASSERT_EQ(temp.size() + 32, path.size()) << path;
        EXPECT_EQ(temp, path.substr(0, temp.size()));
        EXPECT_EQ(std::wstring::npos, path.find_first_not_of(L"0123456789abcdef", temp.size())) << path;
        EXPECT_EQ(path + L"\\00000000_TEMP", manager.MakeTempName());
        EXPECT_FALSE(PathExists(path + L"\\00000000_TEMP"));
        WriteFileBytes(manager.MakeTempName(), "temp file");
        EXPECT_TRUE(PathExists(path + L"\\00000001_TEMP"));
        manager.CreateDirectory(path + L"\\sub");
        WriteFileBytes(path + L"\\sub\\inner.txt", "inner");
        MakeReadOnly(path + L"\\sub\\inner.txt");
    }
    EXPECT_FALSE(PathExists(path));
}

// Nothing leaves the destructor: not a vanished folder, nor the failure to
// build the report of it (a placeholder without an argument).
TEST(SystemStateManagerTest, DestructionToleratesAVanishedFolderAndABadReport)
{
    const int id = 1000010024;
    const auto load = [id](const std::wstring& text) {
        const std::string table = std::to_string(id) + "\t" + std::string(text.begin(), text.end());
        auto stream = std::make_unique<MemoryStream>();
        stream->SetData(table.data(), static_cast<uint32_t>(table.size()));
        Localizer::GetInstance()->Load(std::move(stream));
    };
    const std::wstring oldText = Localizer::GetInstance()->GetString(id);
    for (const std::wstring& text : {oldText, std::wstring(L"Unable to remove folder \"%2DIR_NAME%\""), oldText}) {
        load(text);
        auto manager = std::make_unique<SystemStateManager>();
        manager->NukeDirectory(manager->GetTempFolderPath());
        EXPECT_NO_THROW(manager.reset());
    }
}

// A temp folder that cannot be made, or a temp path longer than the buffer,
// fails construction (the environment is restored afterwards).
TEST(SystemStateManagerTest, BadTempPathFailsConstruction)
{
    TempFolder scratch;
    const std::wstring folder = scratch.File(L"missing") + L"\\";
    {
        const ScopedEnvironmentVariable tmp(L"TMP", scratch.File(L"missing"));
        const ScopedEnvironmentVariable temp(L"TEMP", scratch.File(L"missing"));
        auto failure = CatchEngineFailure([] { SystemStateManager manager; });
        ASSERT_NE(nullptr, failure);
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(failure.get()));
        EXPECT_EQ(L"10045:00000003", failure->GetErrorCode());
        // The folder name ends in a GUID of its own: 32 digits after the path.
        const std::wstring english = failure->GetEnglishMessage();
        const std::wstring englishStart = L"Error creating temp dir " + folder;
        EXPECT_EQ(englishStart, english.substr(0, englishStart.size()));
        EXPECT_EQ(L" (CreateDirectoryW returned 00000003: ", english.substr(englishStart.size() + 32, 38));
        const std::wstring summaryStart = L"Unable to create folder \"" + folder;
        EXPECT_EQ(summaryStart, failure->GetLocalizedSummary().substr(0, summaryStart.size()));
        EXPECT_EQ(summaryStart.size() + 33, failure->GetLocalizedSummary().size());
        EXPECT_EQ(0u, failure->GetLocalizedMessage().find(L"An error occurred while creating the folder \"" + folder));
    }
    const std::wstring longTemp = L"C:\\" + std::wstring(300, L'x');
    const ScopedEnvironmentVariable tmp(L"TMP", longTemp);
    const ScopedEnvironmentVariable temp(L"TEMP", longTemp);
    ExpectCheckFailure(CatchEngineFailure([] { SystemStateManager manager; }), L"10051:000000ce",
                       L"pathLength < MAX_PATH", L"RunTempFolder");
}

// What the script-level tests do not reach: a backup renames to the first
// free "BK_%08x" beside the file, whatever ".." its path holds; a nuke takes a
// whole tree, read-only files included, or a single file.
TEST(SystemStateManagerTest, BackupNamesAndNukes)
{
    TempFolder scratch;
    SystemStateManager m;
    const std::wstring a = scratch.File(L"a.dat");
    WriteFileBytes(a, "abc");
    WriteFileBytes(scratch.File(L"BK_00000000"), "older backup");
    EXPECT_EQ(scratch.File(L"BK_00000001"), m.BackupFile(a));
    EXPECT_FALSE(PathExists(a));
    EXPECT_EQ("abc", ReadFileBytes(scratch.File(L"BK_00000001")));
    EXPECT_EQ("older backup", ReadFileBytes(scratch.File(L"BK_00000000")));
    m.CreateDirectory(scratch.File(L"sub"));
    WriteFileBytes(scratch.File(L"sub\\a.dat"), "payload");
    EXPECT_EQ(scratch.File(L"sub\\BK_00000000"), m.BackupFile(scratch.File(L"sub\\..\\sub\\a.dat")));

    m.CreateDirectory(scratch.File(L"sub\\empty"));
    MakeReadOnly(scratch.File(L"sub\\BK_00000000"));
    m.NukeDirectory(scratch.File(L"sub"));
    m.NukeDirectory(scratch.File(L"BK_00000001"));
    EXPECT_FALSE(PathExists(scratch.File(L"sub")) || PathExists(scratch.File(L"BK_00000001")));
    EXPECT_TRUE(PathExists(scratch.File(L"BK_00000000")));
}

// Every refused file or folder primitive names its Win32 function, and no
// destination is ever overwritten.
TEST(SystemStateManagerTest, RefusedFilePrimitivesReportCodeAndTexts)
{
    TempFolder scratch;
    SystemStateManager m;
    const std::wstring a = scratch.File(L"a.dat"), b = scratch.File(L"b.dat"), missing = scratch.File(L"missing");
    const std::wstring dir = scratch.File(L"dir"), noParent = scratch.File(L"missing\\dir");
    WriteFileBytes(a, "a");
    WriteFileBytes(b, "b");
    m.CreateDirectory(dir);
    WriteFileBytes(dir + L"\\c.dat", "c");
    std::wstring name = scratch.Path() + L"\\";
    name.append(MAX_PATH - 1 - name.size(), L'x');
    const std::wstring backup = scratch.File(L"BK_00000000");
    const Win32Case cases[] = {
        {[&] { m.CreateFile(a); }, L"10034:00000050", L"Error creating file " + Q(a) + L" (CreateFileW returned 00000050: ",
         L"Unable to create file " + Q(a), L"An error occurred while creating the file " + Q(a) + L"."},
        {[&] { m.DeleteFile(missing); }, L"10036:00000002",
         L"Error deleting file " + Q(missing) + L" (DeleteFileW returned 00000002: ", L"Unable to delete file " + Q(missing),
         L"An error occurred while deleting the file " + Q(missing) + L"."},
        {[&] { m.MoveFile(missing, b); }, L"10037:00000002",
         L"Error moving file " + Q(missing) + L" to " + Q(b) + L" (MoveFileW returned 00000002: ",
         L"Unable to move file " + Q(missing) + L" to " + Q(b) + L".",
         L"An error occurred while moving the file " + Q(missing) + L" to " + Q(b) + L"."},
        {[&] { m.MoveFile(a, b); }, L"10037:000000b7", L"Error moving file " + Q(a),
         L"Unable to move file " + Q(a) + L" to " + Q(b) + L".", L""},
        {[&] { m.CopyFile(a, b); }, L"10268:00000050",
         L"Error copying file " + Q(a) + L" to " + Q(b) + L" (CopyFileW returned 00000050: ",
         L"Unable to copy file " + Q(a) + L" to " + Q(b) + L".",
         L"An error occurred while copying the file " + Q(a) + L" to " + Q(b) + L"."},
        {[&] { m.BackupFile(name); }, L"10050:00000002",
         L"Error backing up file " + Q(name) + L" to " + Q(backup) + L" (MoveFileW returned 00000002: ",
         L"Unable to move file " + Q(name) + L" to " + Q(backup) + L".",
         L"An error occurred while moving the file " + Q(name) + L" to " + Q(backup) + L"."},
        {[&] { m.CreateDirectory(noParent); }, L"10038:00000003",
         L"Error creating dir " + Q(noParent) + L" (CreateDirectoryW returned 00000003: ",
         L"Unable to create folder " + Q(noParent), L"An error occurred while creating the folder " + Q(noParent) + L"."},
        {[&] { m.RemoveDirectory(dir); }, L"10039:00000091",
         L"Error removing dir " + Q(dir) + L" (RemoveDirectoryW returned 00000091: ", L"Unable to remove folder " + Q(dir),
         L"An error occurred while removing the folder " + Q(dir) + L"."},
        {[&] { m.NukeDirectory(missing); }, L"10040:00000002",
         L"Error nuking dir " + Q(missing) + L" (FindFirstFileW returned 00000002: ",
         L"Unable to remove folder " + Q(missing) + L" or its contents",
         L"An error occurred while removing the folder " + Q(missing) + L" and its contents."},
    };
    for (const Win32Case& c : cases) {
        ExpectWin32Failure(c);
    }
    EXPECT_EQ("a", ReadFileBytes(a));
    EXPECT_EQ("b", ReadFileBytes(b));
    EXPECT_EQ("c", ReadFileBytes(dir + L"\\c.dat"));
}

// A delete that fails puts the read-only bit back.
TEST(SystemStateManagerTest, FailedDeleteLeavesTheFileReadOnly)
{
    TempFolder scratch;
    SystemStateManager m;
    const std::wstring path = scratch.File(L"held.dat");
    WriteFileBytes(path, "held");
    MakeReadOnly(path);
    // Held open without FILE_SHARE_DELETE, the file cannot be deleted.
    UniqueFileHandle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.IsValid());
    ExpectWin32Failure({[&] { m.DeleteFile(path); }, L"10036:00000020",
                        L"Error deleting file " + Q(path) + L" (DeleteFileW returned 00000020: ",
                        L"Unable to delete file " + Q(path), L""});
    holder.Close();
    EXPECT_TRUE(PathExists(path) && IsReadOnly(path));
}

// Programming errors are checks: a backup name of MAX_PATH characters, an
// empty name, an unknown root name, a nuke of a bare root.
TEST(SystemStateManagerTest, BadNamesFailChecks)
{
    TempFolder scratch;
    SystemStateManager m;
    std::wstring longName = scratch.Path() + L"\\";
    longName.append(MAX_PATH - longName.size(), L'x');
    ExpectCheckFailure(CatchEngineFailure([&] { m.BackupFile(longName); }), L"10049", L"fileName.length() < MAX_PATH");
    EXPECT_FALSE(PathExists(scratch.File(L"BK_00000000")));
    // The shell sets no error of its own here; whatever came before is attached.
    ExpectCheckFailure(CatchEngineFailure([&] { m.BackupFile(L""); }), L"10053:", L"false; HRESULT ");
    ExpectCheckFailure(CatchEngineFailure([&] { m.IsRegKey(L"HKLM\\Software"); }), L"10078", L"");
    ExpectCheckFailure(CatchEngineFailure([&] { m.IsRegValue(L"HKCU\\Software", L"x"); }), L"10078", L"");
    ExpectCheckFailure(CatchEngineFailure([&] { m.NukeRegKey(L"HKEY_CURRENT_USER"); }), L"10047",
                       L"keyPath.find('\\\\') != std::wstring::npos");
    EXPECT_TRUE(KeyExists(HKCU, L"Software"));
}

// Every refused registry primitive names its Win32 function; an existing key
// is never passed off as created, and is left as it was.
TEST(SystemStateManagerTest, RefusedRegistryPrimitivesReportCodeAndTexts)
{
    TestRegistryKey testKey(L"StateRefused");
    WriteRegistryValue(HKCU, testKey.Subkey() + L"\\Child", L"Inner", StringValue(L"inner"));
    SystemStateManager m;
    const std::wstring root = testKey.KeyPath(), missing = root + L"\\Missing";
    // A key name longer than 255 characters is an invalid parameter.
    const std::wstring tooLong = root + L"\\" + std::wstring(300, L'k');
    const Win32Case cases[] = {
        {[&] { m.OpenRegKey(missing); }, L"10042:00000002",
         L"Error opening reg key " + Q(missing) + L" (RegOpenKeyExW returned 00000002: ",
         L"Unable to open registry key " + Q(missing), L"An error occurred while opening the registry key " + Q(missing) + L"."},
        {[&] { m.NukeRegKey(missing + L"\\Child"); }, L"10042:00000002", L"Error opening reg key " + Q(missing),
         L"Unable to open registry key " + Q(missing), L""},
        {[&] { m.CreateRegKey(root); }, L"10054:000000b7",
         L"Trying to overwrite reg key " + Q(root) + L" (RegCreateKeyExW returned 000000b7: ",
         L"Unable to create registry key " + Q(root), L"An error occurred while creating the registry key " + Q(root) + L"."},
        {[&] { m.CreateRegKey(tooLong); }, L"10041:00000057",
         L"Error creating reg key " + Q(tooLong) + L" (RegCreateKeyExW returned 00000057: ",
         L"Unable to create registry key " + Q(tooLong),
         L"An error occurred while creating the registry key " + Q(tooLong) + L"."},
        {[&] { m.RemoveRegKey(missing); }, L"10225:00000002",
         L"Error removing reg key " + missing + L" (RegDeleteKeyW returned 00000002: ",
         L"Unable to remove registry key " + Q(missing),
         L"An error occurred while removing the registry key " + Q(missing) + L" and its subkeys."},
        {[&] { m.NukeRegKey(missing); }, L"10044:00000002",
         L"Error removing reg key " + missing + L" (SHDeleteKeyW returned 00000002: ",
         L"Unable to remove registry key " + Q(missing),
         L"An error occurred while removing the registry key " + Q(missing) + L" and its subkeys."},
    };
    for (const Win32Case& c : cases) {
        ExpectWin32Failure(c);
    }
    EXPECT_EQ(StringValue(L"inner"), ReadRegistryValue(HKCU, testKey.Subkey() + L"\\Child", L"Inner"));
}

}  // namespace
