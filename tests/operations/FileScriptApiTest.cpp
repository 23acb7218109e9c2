// The file and folder functions of the script API, driven by real scripts
// through an installer package against the prefix's file system.
#include <gtest/gtest.h>

#include <cctype>

#include "ScriptRun.h"
#include "base/Exceptions.h"

namespace {

using namespace OstrelTest;
using namespace std::string_literals;

std::string FixtureMd5(const std::string& path)
{
    return Fixture(path + ".md5").substr(0, 32);
}

// Archives of one entry each: the first six names are devices to Windows,
// the last two only look like them.
const int kDeviceArchives = 8;
const int kDeviceNames = 6;

std::string DeviceArchive(int number)
{
    return "payload/device-" + std::to_string(number) + ".zip";
}

class FileScriptApiTest : public testing::Test {
protected:
    // A script whose At(path) names a path in the test folder, ready to run.
    ScriptRun& Script(const std::string& body)
    {
        m_script.reset();  // one open package at a time: the install lock
        std::map<std::string, std::string> payload{
            {"payload/new.bin", Fixture("md5/size-65.bin")},
            {"payload/big.bin", Fixture("md5/size-1048579.bin")},
            {"payload/small.vcdiff", Fixture("delta/small-default.vcdiff")},
            {"payload/climbing.zip", Fixture("zip/climbing.zip")}};
        for (int number = 0; number < kDeviceArchives; ++number) {
            payload[DeviceArchive(number)] = Fixture("zip/device-" + std::to_string(number) + ".zip");
        }
        m_script = std::make_unique<ScriptRun>(
            "local function At(path) return props.Root .. L'\\\\' .. path end\n" + body,
            std::map<std::string, std::wstring>{{"Root", m_folder.Path()}}, payload);
        return *m_script;
    }
    std::unique_ptr<OstrelInstallEngine::Exception> Execute(const std::string& body) { return Script(body).Failure(); }
    std::wstring At(const std::wstring& relative) const { return m_folder.File(relative); }
    std::wstring InFolder(const std::wstring& text) const { return Replaced(text, L"%R%", m_folder.Path()); }
    void Write(const std::wstring& relative, const std::string& content, DWORD attributes = 0)
    {
        WriteFileBytes(At(relative), content);
        if (attributes != 0) {
            SetFileAttributesW(At(relative).c_str(), attributes);
        }
    }
    void MakeFolders(std::initializer_list<const wchar_t*> folders)
    {
        for (const wchar_t* folder : folders) {
            CreateDirectoryW(At(folder).c_str(), nullptr);
        }
    }

    TempFolder m_folder;
    std::unique_ptr<ScriptRun> m_script;
};

// A write reports its progress inside the script's current step, measured on
// the payload, and leaves the step open for the script; a cancel request
// stops a long write, and the half-written file goes with the rollback.
TEST_F(FileScriptApiTest, WriteReportsNestedProgressAndCancels)
{
    ASSERT_EQ(nullptr, Execute(R"lua(
        progress.StartStep(1, 2, 4, L"Copying")
        install.CreateFile("payload/big.bin", At(L"big.bin"))
        progress.Report(7, 10, L"After"))lua"));
    const std::vector<ProgressReport>& reports = m_script->Reporter().reports;
    ASSERT_EQ(1u + 26u + 1u + 1u, reports.size());
    for (size_t i = 1; i <= 26; ++i) {
        EXPECT_GT(reports[i].progress, reports[i - 1].progress);
        EXPECT_EQ(L"Copying", reports[i].text);
    }
    EXPECT_DOUBLE_EQ(0.25, reports[0].progress);
    EXPECT_DOUBLE_EQ(0.5, reports[26].progress);
    EXPECT_DOUBLE_EQ(0.25 + 0.25 * 0.7, reports[27].progress);

    DeleteFileW(At(L"big.bin").c_str());
    Script(R"lua(install.CreateFile("payload/big.bin", At(L"big.bin")))lua").Package().Cancel();
    EXPECT_THROW(m_script->Package().Execute(), OstrelInstallEngine::CancelInstallException);
    EXPECT_EQ(2u, m_script->Reporter().reports.size());  // the first block, then the rollback
    EXPECT_FALSE(PathExists(At(L"big.bin")));
}

// The immediate util.* functions: queries, copies, moves, the two Try
// removals, digests, and temporary files that are gone after the run.
TEST_F(FileScriptApiTest, UtilFunctions)
{
    Write(L"file.txt", "content");
    Write(L"empty.txt", "");
    Write(L"big.bin", Fixture("md5/size-1048579.bin"));
    MakeFolders({L"folder", L"full"});
    Write(L"full\\inner.txt", "inner");
    const auto failure = Execute(R"lua(
        assert(util.IsFile(At(L"file.txt")) and not util.IsFile(At(L"folder")))
        assert(util.IsDirectory(At(L"folder")) and not util.IsDirectory(At(L"file.txt")))
        assert(not util.IsFile(At(L"none")) and not util.IsDirectory(At(L"none")))
        util.CopyFile(At(L"file.txt"), At(L"copy.txt"))
        util.MoveFile(At(L"copy.txt"), At(L"moved.txt"))
        assert(util.GetMd5(At(L"moved.txt")) == util.GetMd5(At(L"file.txt")))
        assert(util.GetMd5(At(L"empty.txt")) == "d41d8cd98f00b204e9800998ecf8427e")
        assert(util.GetMd5(At(L"big.bin")) == ")lua" + FixtureMd5("md5/size-1048579.bin") + R"lua(")
        assert(util.TryRemoveFile(At(L"moved.txt")) and not util.TryRemoveFile(At(L"moved.txt")))
        assert(not util.TryRemoveDirectory(At(L"full")) and util.TryRemoveDirectory(At(L"folder")))
        assert(wstring.sub(util.UnpackTempFile("payload/new.bin"), -13) == L"00000000_TEMP")
        assert(wstring.sub(util.UnpackTempFile("payload/new.bin"), -13) == L"00000001_TEMP"))lua");
    ASSERT_EQ(nullptr, failure) << failure->what();
    EXPECT_FALSE(PathExists(At(L"folder")) || PathExists(At(L"moved.txt")));
    EXPECT_TRUE(PathExists(At(L"full\\inner.txt")));
    EXPECT_TRUE(m_script->TempFolderIsEmpty());
}

// The tolerant uninstall family: missing items are no problem, a failed
// removal is recorded with its summary and the script goes on.
TEST_F(FileScriptApiTest, UninstallFunctionsAreTolerant)
{
    const struct {
        const char* body;
        std::vector<std::wstring> summaries;  // %R% stands for the test folder
        std::vector<std::wstring> gone, kept;
    } cases[] = {
        {R"lua(uninstall.RemoveFile(At(L"none")); uninstall.RemoveDirectory(At(L"none"))
               uninstall.ClearAndRemoveDirectory(At(L"none"))
               uninstall.RemoveDirectoryTree(At(L"P\\none\\deeper"), At(L"P")))lua",
         {}, {}, {L"P"}},
        {R"lua(uninstall.RemoveFile(At(L"readonly.txt")))lua", {}, {L"readonly.txt"}, {}},
        {R"lua(uninstall.RemoveFile(At(L"folder")))lua",
         {L"Unable to delete file \"%R%\\folder\" (10036:00000005)"}, {}, {L"folder"}},
        {R"lua(uninstall.RemoveDirectory(At(L"file.txt")))lua",
         {L"Unable to remove folder \"%R%\\file.txt\" (10039:0000010b)"}, {}, {L"file.txt"}},
        {R"lua(uninstall.RemoveDirectory(At(L"full")); uninstall.RemoveDirectory(At(L"folder")))lua",
         {L"Unable to remove folder \"%R%\\full\" (10039:00000091)"}, {L"folder"},
         {L"full\\inner.txt"}},
        {R"lua(uninstall.StartSuppressWarnings(); uninstall.StartSuppressWarnings()
               uninstall.RemoveFile(At(L"folder")); uninstall.RemoveDirectory(At(L"full"))
               uninstall.EndSuppressWarnings(); uninstall.RemoveDirectory(At(L"file.txt")))lua",
         {L"Unable to remove folder \"%R%\\file.txt\" (10039:0000010b)"}, {}, {L"folder", L"full"}},
        {R"lua(uninstall.ClearAndRemoveDirectory(At(L"full")))lua", {}, {L"full"}, {}},
        {R"lua(uninstall.RemoveDirectoryTree(At(L"P\\V\\G"), At(L"P")))lua", {}, {L"P\\V\\G"},
         {L"P\\V\\other"}},
        {R"lua(uninstall.RemoveDirectoryTree(At(L"P\\W\\G"), At(L"P\\")))lua", {}, {L"P\\W"},
         {L"P"}},
        // An empty, "." or ".." component or a cut name never widens a
        // removal to a parent: it is recorded and nothing goes.
        {R"lua(uninstall.RemoveDirectoryTree(At(L"P\\W\\G\\"), At(L"P"))
               uninstall.ClearAndRemoveDirectory(At(L"P\\W\\"))
               uninstall.ClearAndRemoveDirectory(At(L"P\\V\\.."))
               uninstall.RemoveDirectory(At(L"P\\\\W\\G"))
               uninstall.ClearAndRemoveDirectory(At(L"P\0\\V")))lua",
         {L"Unable to remove folder \"%R%\\P\\W\\G\\\" (10039:000000a1)",
          L"Unable to remove folder \"%R%\\P\\W\\\" or its contents (10040:000000a1)",
          L"Unable to remove folder \"%R%\\P\\V\\..\" or its contents (10040:000000a1)",
          L"Unable to remove folder \"%R%\\P\\\\W\\G\" (10039:000000a1)",
          L"Unable to remove folder \"%R%\\P\0\\V\" or its contents (10040:000000a1)"s},
         {}, {L"P\\W\\G", L"P\\V\\G", L"P\\V\\other"}},
        {R"lua(uninstall.RemoveDirectoryTree(At(L"full"), At(L"")))lua",
         {L"Unable to remove folder \"%R%\\full\" (10039:00000091)"}, {}, {L"full\\inner.txt"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.body);
        RemoveTreeForTest(m_folder.Path());
        CreateDirectoryW(m_folder.Path().c_str(), nullptr);
        MakeFolders({L"folder", L"full", L"P", L"P\\V", L"P\\V\\G", L"P\\V\\other", L"P\\W",
                     L"P\\W\\G"});
        Write(L"file.txt", "file");
        Write(L"readonly.txt", "read-only", FILE_ATTRIBUTE_READONLY);
        Write(L"full\\inner.txt", "inner", FILE_ATTRIBUTE_READONLY);
        const auto failure = Execute(row.body);
        ASSERT_EQ(nullptr, failure) << failure->what();
        std::vector<std::wstring> expected;
        for (const std::wstring& summary : row.summaries) {
            expected.push_back(InFolder(summary));
        }
        EXPECT_EQ(expected, m_script->Problems());
        for (const std::wstring& path : row.gone) {
            EXPECT_FALSE(PathExists(At(path))) << path;
        }
        for (const std::wstring& path : row.kept) {
            EXPECT_TRUE(PathExists(At(path))) << path;
        }
    }
}

// A folder cleared with links in it keeps the links' targets, whether the
// link leads to a folder or a file, and records the link it could not go
// past; a Game Explorer id with anything after its braces is refused before
// the task folders are touched.
TEST_F(FileScriptApiTest, RemovalsNeverFollowLinks)
{
    TempFolder outside;
    WriteFileBytes(outside.File(L"canary.txt"), "kept");
    MakeFolders({L"tree", L"tree\\sub", L"data", L"data\\Microsoft", L"data\\Microsoft\\Windows",
                 L"data\\Microsoft\\Windows\\GameExplorer"});
    Write(L"tree\\sub\\file.txt", "goes");
    Write(L"data\\Microsoft\\Windows\\canary.txt", "kept");
    HostLinks links;
    links.Plant(outside.Path(), At(L"tree\\sub\\folder-link"));
    links.Plant(outside.File(L"canary.txt"), At(L"tree\\file-link"));
    Script(R"lua(
        uninstall.ClearAndRemoveDirectory(At(L"tree"))
        props.CommonAppDataDir = At(L"data")
        uninstall.RemoveGameExplorerInfo("{8F3A6B21-0C5D-4E7F-A1B2-93C4D5E6F708}\\..\\.."))lua");
    const auto failure = m_script->Failure();
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10082", failure->GetErrorCode());
    EXPECT_EQ(std::vector<std::wstring>{InFolder(L"Unable to remove folder \"%R%\\tree\" or its contents (10040:000002a9)")},
              m_script->Problems());
    EXPECT_FALSE(PathExists(At(L"tree\\sub\\file.txt")));
    EXPECT_EQ("kept", ReadFileBytes(outside.File(L"canary.txt")));
    EXPECT_EQ("kept", ReadFileBytes(At(L"data\\Microsoft\\Windows\\canary.txt")));
}

// Entry names that Windows opens as devices are refused as names with a path
// are; names that only look like them unpack.
TEST_F(FileScriptApiTest, UnpackRefusesDeviceNames)
{
    for (int number = 0; number < kDeviceArchives; ++number) {
        SCOPED_TRACE(DeviceArchive(number));
        const auto failure = Execute("util.UnpackTempDirFromZip(\"" + DeviceArchive(number) + "\")");
        EXPECT_EQ(number < kDeviceNames ? L"10390" : L"", failure ? failure->GetErrorCode() : L"");
        EXPECT_TRUE(m_script->TempFolderIsEmpty());
    }
}

// Bad arguments, bad payloads, refused changes and a tree walk outside its
// root fail the run with their codes and texts, and leave nothing behind.
TEST_F(FileScriptApiTest, BadInputFailsTheRun)
{
    std::string newMd5 = FixtureMd5("md5/size-65.bin");
    for (char& c : newMd5) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        const char* body;
        std::wstring codeText, summary, englishText;  // %R% stands for the test folder
    } cases[] = {
        {R"lua(install.RemoveFile("narrow"))lua", L"10003", L"Internal check failed",
         L"bad argument #1 to 'RemoveFile' (bad argument)"},
        {R"lua(install.CreateFile("payload/new.bin", At(L"new.bin"), "12345"))lua", L"10359",
         L"Internal check failed", L"Assertion failed (Util:"},
        {R"lua(install.CreateFile("payload/new.bin", At(L"new.bin"), string.rep("0", 32)))lua",
         L"10358", L"MD5 check failed while writing file \"%R%\\new.bin\".",
         L"MD5 check failed while writing  \"%R%\\new.bin\"; expected " + std::wstring(32, L'0') +
             L", got " + std::wstring(newMd5.begin(), newMd5.end())},
        {R"lua(install.CreateFileFromDelta("payload/small.vcdiff", At(L"source.txt"),
                                           At(L"target.txt")))lua",
         L"10034:00000050", L"Unable to create file \"%R%\\target.txt\"",
         L"Error creating file \"%R%\\target.txt\""},
        {R"lua(install.PatchFile("payload/small.vcdiff", At(L"missing.txt")))lua",
         L"10050:00000002", L"Unable to move file \"%R%\\missing.txt\" to \"%R%\\BK_00000000\".",
         L"Error backing up file \"%R%\\missing.txt\" to \"%R%\\BK_00000000\""},
        {R"lua(install.MoveFile(At(L"source.txt"), At(L"target.txt")))lua", L"10037:000000b7",
         L"Unable to move file \"%R%\\source.txt\" to \"%R%\\target.txt\".",
         L"Error moving file \"%R%\\source.txt\" to \"%R%\\target.txt\""},
        {R"lua(install.CreateDirectory(At(L"no\\parent")))lua", L"10038:00000003",
         L"Unable to create folder \"%R%\\no\\parent\"", L"Error creating dir \"%R%\\no\\parent\""},
        {R"lua(util.CopyFile(At(L"source.txt"), At(L"target.txt")))lua", L"10268:00000050",
         L"Unable to copy file \"%R%\\source.txt\" to \"%R%\\target.txt\".",
         L"Error copying file \"%R%\\source.txt\" to \"%R%\\target.txt\""},
        {R"lua(uninstall.RemoveDirectoryTree(At(L"source.txt"), At(L"Other")))lua", L"10265",
         L"Internal check failed", L"Assertion failed (FileScriptApi:"},
        {R"lua(uninstall.RemoveDirectoryTree(At(L"source.txt"), At(L"sour")))lua", L"10265",
         L"Internal check failed", L"Assertion failed (FileScriptApi:"},
        {R"lua(install.CreateShortcut(At(L"No\\Game.lnk"), At(L"source.txt"), props.Root, L"",
                                      L"", L"", 0))lua",
         L"10199:80070003", L"Unable to create file \"%R%\\No\\Game.lnk\"",
         L"Error saving shortcut to \"%R%\\No\\Game.lnk\""},
        {R"lua(install.CreateUrlShortcut(At(L"No\\Site.url"), L"http://x/"))lua", L"10207:80004005",
         L"Unable to create file \"%R%\\No\\Site.url\"", L"Error saving shortcut to \"%R%\\No\\Site.url\""},
        {R"lua(install.CreateShortcut(At(L"Game.lnk"), props.Root, props.Root, props.Root,
                                      props.Root, props.Root, L"0"))lua",
         L"10003", L"Internal check failed", L"bad argument #7 to 'CreateShortcut' (bad argument)"},
        {R"lua(util.UnpackTempDirFromZip("payload/climbing.zip"))lua", L"10390",
         L"Unable to expand archive \"payload/climbing.zip\"", L"Entry \"../outside.txt\""},
    };
    Write(L"source.txt", Fixture("delta/small-source.txt"));
    Write(L"target.txt", "already there");
    const FileTree before = ScriptRun::TakeFileTree(m_folder.Path());
    for (const auto& row : cases) {
        SCOPED_TRACE(row.body);
        const auto failure = Execute(row.body);
        ASSERT_NE(nullptr, failure);
        EXPECT_EQ(row.codeText, failure->GetErrorCode()) << failure->what();
        EXPECT_EQ(InFolder(row.summary), failure->GetLocalizedSummary());
        EXPECT_NE(std::wstring::npos, failure->GetEnglishMessage().find(InFolder(row.englishText)))
            << failure->what();
        EXPECT_EQ(before, ScriptRun::TakeFileTree(m_folder.Path()));
        EXPECT_TRUE(m_script->TempFolderIsEmpty());
    }
}

}  // namespace
