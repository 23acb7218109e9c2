// Every transactional install.* function of the file, registry,
// uninstall-information and shortcut families in one script, with a failure
// injected right after each operation in turn: a failed run puts back every
// file, folder, key, value and link exactly as it was and leaves no backup
// file, backup key or temporary file; a run to the end leaves exactly the
// installed state, with links that independent parsers read back.
#include <gtest/gtest.h>

#include "ScriptRun.h"
#include "base/UniqueHandle.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

using namespace OstrelTest;

const wchar_t kUninstallSubkey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Each Step(name) fails the run when props.FailAfter names it.
const char kScript[] = R"lua(
local function Step(name)
    if props.FailAfter == name then util.FailWithError(L"m", L"s", L"injected", 10901) end
end
local function At(path) return props.Root .. L"\\" .. path end
install.CreateDirectory(At(L"app\\data")); Step(L"CreateDirectory")
install.CreateDirectoryTree(At(L"app\\deep\\er\\est\\")); Step(L"CreateDirectoryTree")
install.CreateFile("payload/new.bin", At(L"app\\data\\new.bin"), NEW_MD5); Step(L"CreateFile")
install.CreateFile("payload/replacement.txt", At(L"app\\old.dat")); Step(L"ReplaceFile")
install.CreateFileFromDelta("payload/small.vcdiff", At(L"app\\source.txt"),
                            At(L"app\\deep\\er\\est\\target.txt")); Step(L"CreateFileFromDelta")
install.PatchFile("payload/small.vcdiff", At(L"app\\patch-me.txt")); Step(L"PatchFile")
install.MoveFile(At(L"app\\move-me.txt"), At(L"app\\data\\moved.txt")); Step(L"MoveFile")
install.RemoveFile(At(L"app\\remove-me.txt")); Step(L"RemoveFile")
install.TryRemoveDirectory(At(L"app\\empty"))
install.TryRemoveDirectory(At(L"app\\kept")); Step(L"TryRemoveDirectory")
assert(util.GetMd5(util.UnpackTempFile("payload/new.bin")) == NEW_MD5); Step(L"UnpackTempFile")
local unpacked = util.UnpackTempDirFromZip("payload/flat.zip")
assert(util.IsFile(unpacked .. L"\\repeat.txt")); Step(L"UnpackTempDirFromZip")
local r = props.Key
install.CreateRegKey(r .. L"\\Created"); Step(L"CreateRegKey")
install.CreateRegKeyTree(r .. L"\\Tree\\A\\B"); Step(L"CreateRegKeyTree")
install.SetRegValue(r, L"Existing", L"first"); Step(L"SetRegValue")
install.SetRegValue(r, L"Existing", L"second"); Step(L"SetRegValueAgain")
install.SetRegValue(r .. L"\\Created", L"Fresh", L"value"); Step(L"SetNewRegValue")
install.SetRegDwordValue(r, L"Existing", 4294967295); Step(L"SetRegDwordValue")
install.SetRegDwordValue(r .. L"\\Created", L"Count", 7); Step(L"SetNewRegDwordValue")
install.RemoveRegValue(r, L"Binary"); Step(L"RemoveRegValue")
install.RemoveRegKey(r .. L"\\Leaf"); Step(L"RemoveRegKey")
install.ClearAndRemoveRegKey(r .. L"\\Branch"); Step(L"ClearAndRemoveRegKey")
install.AddUninstallInfo(L"OstrelTestsReplaced", L"Game", L"C:\\Game\\Uninstall.exe",
                         L"C:\\Game", L"Ostrel", L"1.0"); Step(L"AddUninstallInfo")
install.RemoveUninstallInfo(L"OstrelTestsRemoved"); Step(L"RemoveUninstallInfo")
install.CreateShortcut(At(L"app\\Game.lnk"), At(L"app\\Game.exe"), At(L"app"), L"-windowed -level 3",
                       L"Play the game", At(L"app\\Game.ico"), 7); Step(L"CreateShortcut")
install.CreateUrlShortcut(At(L"app\\Site.url"), L"http://example.com/news?id=1"); Step(L"CreateUrlShortcut")
)lua";


std::wstring Uninstall(const std::wstring& id)
{
    return std::wstring(kUninstallSubkey) + L"\\" + id;
}

// The Linux path of a path on the prefix's drive C.
std::string UnixPath(const std::wstring& path)
{
    char prefix[MAX_PATH] = {};
    GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    std::string unixPath = std::string(prefix) + "/drive_c" + std::string(path.begin() + 2, path.end());
    std::replace(unixPath.begin(), unixPath.end(), '\\', '/');
    return unixPath;
}

// What liblnk's lnkinfo (a Linux program) reads in a shell link. Wine starts
// a Linux program without a process handle to wait on, so the output appears
// under its final name only once it is complete.
std::string RunLnkinfo(const std::wstring& link, const std::wstring& outputPath)
{
    const std::string output = UnixPath(outputPath);
    const std::string shellLine = "/usr/bin/lnkinfo '" + UnixPath(link) + "' > '" + output +
                                  ".part' 2>&1; mv '" + output + ".part' '" + output + "'";
    std::wstring commandLine = L"sh -c \"" + std::wstring(shellLine.begin(), shellLine.end()) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        throw std::runtime_error("cannot start lnkinfo");
    }
    const OstrelInstallEngine::UniqueHandle thread(process.hThread);
    const OstrelInstallEngine::UniqueHandle shell(process.hProcess);
    for (int attempt = 0; attempt < 1200 && !PathExists(outputPath); ++attempt) {
        Sleep(50);
    }
    return ReadFileBytes(outputPath);
}

class InstallTransactionTest : public testing::Test {
protected:
    InstallTransactionTest() : m_key(L"InstallTransactions")
    {
        for (const wchar_t* folder : {L"app", L"app\\empty", L"app\\kept"}) {
            CreateDirectoryW(m_folder.File(folder).c_str(), nullptr);
        }
        const std::map<std::wstring, std::string> files = {
            {L"app\\old.dat", "old content"},  {L"app\\source.txt", Fixture("delta/small-source.txt")},
            {L"app\\patch-me.txt", Fixture("delta/small-source.txt")},
            {L"app\\move-me.txt", "moving"},   {L"app\\remove-me.txt", "removing"},
            {L"app\\kept\\keep.txt", "kept"},  {L"app\\Game.exe", "MZ"},
            {L"app\\Game.lnk", "the previous link"}};
        for (const auto& file : files) {
            WriteFileBytes(m_folder.File(file.first), file.second);
        }
        SetFileAttributesW(m_folder.File(L"app\\old.dat").c_str(), FILE_ATTRIBUTE_READONLY);

        const std::wstring k = m_key.Subkey();
        WriteRegistryValue(HKEY_CURRENT_USER, k, L"Existing", {REG_DWORD, std::string("\x07\0\0\0", 4)});
        WriteRegistryValue(HKEY_CURRENT_USER, k, L"Binary", {REG_BINARY, std::string("\x01\x00\x02", 3)});
        WriteRegistryValue(HKEY_CURRENT_USER, k + L"\\Leaf", L"A", StringValue(L"a"));
        WriteRegistryValue(HKEY_CURRENT_USER, k + L"\\Leaf", L"B", {REG_DWORD, std::string("\x01\0\0\0", 4)});
        WriteRegistryValue(HKEY_CURRENT_USER, k + L"\\Branch", L"C", StringValue(L"c"));
        WriteRegistryValue(HKEY_CURRENT_USER, k + L"\\Branch\\Sub", L"", StringValue(L"default"));
        for (const wchar_t* name : {L"DisplayName", L"UninstallString", L"InstallLocation",
                                    L"Publisher", L"DisplayVersion", L"DisplayIcon", L"Extra"}) {
            WriteRegistryValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced"), name,
                               StringValue(std::wstring(L"old ") + name));
        }
        WriteRegistryValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved"), L"DisplayName",
                           StringValue(L"Removed Game"));
    }
    ~InstallTransactionTest() override
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced").c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved").c_str());
    }

    // Runs the script with a failure after the named step (none for "");
    // returns what it threw and whether the engine's temporary folder was
    // left empty.
    std::unique_ptr<OstrelInstallEngine::Exception> Run(const std::wstring& failAfter,
                                                        bool* tempFolderEmpty)
    {
        // The digest is a narrow string, which props cannot carry.
        ScriptRun script("NEW_MD5 = '" + Fixture("md5/size-65.bin.md5").substr(0, 32) + "'\n" + kScript,
                         {{"Root", m_folder.Path()}, {"Key", m_key.KeyPath()}, {"FailAfter", failAfter}},
                         {{"payload/new.bin", Fixture("md5/size-65.bin")},
                          {"payload/replacement.txt", "replacement"},
                          {"payload/small.vcdiff", Fixture("delta/small-default.vcdiff")},
                          {"payload/flat.zip", Fixture("zip/flat.zip")}});
        auto failure = script.Failure();
        *tempFolderEmpty = script.TempFolderIsEmpty();
        return failure;
    }

    FileTree Files() const { return ScriptRun::TakeFileTree(m_folder.Path()); }
    RegistryTree Keys() const { return TakeRegistryTree(HKEY_CURRENT_USER, m_key.Subkey()); }
    static RegistryTree UninstallKeys() { return TakeRegistryTree(HKEY_LOCAL_MACHINE, kUninstallSubkey); }

    TempFolder m_folder;
    TestRegistryKey m_key;
};

TEST_F(InstallTransactionTest, FailureAfterEachOperationRestoresEverything)
{
    const FileTree files = Files();
    const RegistryTree keys = Keys();
    const RegistryTree uninstallKeys = UninstallKeys();
    // Every step the script names, in order.
    const std::string script = kScript;
    int injected = 0;
    for (size_t at = script.find("Step(L\""); at != std::string::npos; at = script.find("Step(L\"", at + 1)) {
        ++injected;
        const std::string step = script.substr(at + 7, script.find('"', at + 7) - at - 7);
        SCOPED_TRACE(step);
        bool tempFolderEmpty = false;
        const auto failure = Run(std::wstring(step.begin(), step.end()), &tempFolderEmpty);
        ASSERT_NE(nullptr, failure);
        EXPECT_EQ(L"10901", failure->GetErrorCode()) << failure->what();
        EXPECT_EQ(files, Files());
        EXPECT_EQ(keys, Keys());
        EXPECT_EQ(uninstallKeys, UninstallKeys());
        EXPECT_TRUE(tempFolderEmpty);
    }
    EXPECT_EQ(25, injected);
}

// Once the commit has begun nothing is rolled back: a commit function that
// raises first, before the backups of a replaced file and key are removed,
// leaves the new version of each, complete and without a backup (the later
// commit tasks, the backups' removal among them, still run), and the run ends
// with the failure as a problem.
TEST_F(InstallTransactionTest, FailingCommitKeepsOneCompleteVersion)
{
    ScriptRun script(R"lua(
        local branch = props.Key .. L"\\Branch"
        install.AddCommitTask(function() error("the commit step failed") end)
        install.CreateFile("payload/replacement.txt", props.Root .. L"\\app\\old.dat")
        install.ClearAndRemoveRegKey(branch)
        install.CreateRegKey(branch)
        install.SetRegValue(branch, L"C", L"new c")
        install.AddCommitTask(function() props.LaterTask = L"ran" end))lua",
                     {{"Root", m_folder.Path()}, {"Key", m_key.KeyPath()}},
                     {{"payload/replacement.txt", "replacement"}});
    const auto failure = script.Failure();
    ASSERT_EQ(nullptr, failure) << failure->what();
    const std::vector<std::wstring> problems = script.Problems();
    ASSERT_EQ(1u, problems.size());
    EXPECT_EQ(0u, problems[0].find(L"Unable to finish a change: ")) << problems[0];
    EXPECT_NE(std::wstring::npos, problems[0].find(L"the commit step failed (10393)")) << problems[0];
    EXPECT_EQ(L"ran", script.Prop("LaterTask"));

    FileTree files = Files();
    EXPECT_EQ("replacement", files.at(L"app\\old.dat").content);
    EXPECT_EQ(0u, std::count_if(files.begin(), files.end(), [](const FileTree::value_type& file) {
                  return file.first.find(L"BK_") != std::wstring::npos;
              }));
    RegistryTree keys = Keys();
    EXPECT_EQ(StringValue(L"new c"), keys.at(L"Branch").at(L"C"));
    EXPECT_EQ(0u, keys.count(L"Branch\\Sub"));
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Branch", L"Leaf"}), [&] {
        std::vector<std::wstring> names;
        for (const auto& key : keys) {
            names.push_back(key.first);
        }
        return names;
    }()) << "a backup key is left";
}

TEST_F(InstallTransactionTest, RunToTheEndLeavesTheInstalledState)
{
    FileTree files = Files();
    RegistryTree keys = Keys();
    RegistryTree uninstallKeys = UninstallKeys();
    bool tempFolderEmpty = false;
    const auto failure = Run(L"", &tempFolderEmpty);
    ASSERT_EQ(nullptr, failure) << failure->what();
    EXPECT_TRUE(tempFolderEmpty);

    for (const wchar_t* folder : {L"app\\data", L"app\\deep", L"app\\deep\\er", L"app\\deep\\er\\est"}) {
        files[folder] = {FILE_ATTRIBUTE_DIRECTORY, ""};
    }
    files[L"app\\data\\new.bin"] = {FILE_ATTRIBUTE_ARCHIVE, Fixture("md5/size-65.bin")};
    files[L"app\\old.dat"] = {FILE_ATTRIBUTE_ARCHIVE, "replacement"};
    files[L"app\\deep\\er\\est\\target.txt"] = {FILE_ATTRIBUTE_ARCHIVE, Fixture("delta/small-target.txt")};
    files[L"app\\patch-me.txt"] = {FILE_ATTRIBUTE_ARCHIVE, Fixture("delta/small-target.txt")};
    files[L"app\\data\\moved.txt"] = files[L"app\\move-me.txt"];
    for (const wchar_t* gone : {L"app\\move-me.txt", L"app\\remove-me.txt", L"app\\empty"}) {
        files.erase(gone);
    }
    // The links' bytes are the shell's: their fields are read back below.
    const FileTree installed = Files();
    files[L"app\\Game.lnk"] = installed.at(L"app\\Game.lnk");
    files[L"app\\Site.url"] = installed.at(L"app\\Site.url");
    EXPECT_EQ(files, installed);

    TempFolder lnkinfo;
    const std::string info = RunLnkinfo(m_folder.File(L"app\\Game.lnk"), lnkinfo.File(L"info.txt"));
    const std::wstring appFolder = m_folder.File(L"app");
    const std::string app(appFolder.begin(), appFolder.end());
    for (const std::string& field :
         {"Local path\t\t\t: " + app + "\\Game.exe", "Working directory\t\t: " + app,
          std::string("Command line arguments\t\t: -windowed -level 3"),
          std::string("Description\t\t\t: Play the game"), "Icon location\t\t\t: " + app + "\\Game.ico"}) {
        EXPECT_NE(std::string::npos, info.find(field)) << field << "\nin:\n" << info;
    }
    // lnkinfo does not show the icon index; the link header keeps it at byte 56.
    int32_t iconIndex = 0;
    std::memcpy(&iconIndex, installed.at(L"app\\Game.lnk").content.data() + 56, sizeof(iconIndex));
    EXPECT_EQ(7, iconIndex);
    const std::string url = installed.at(L"app\\Site.url").content;
    EXPECT_NE(std::string::npos, url.find("[InternetShortcut]")) << url;
    EXPECT_NE(std::string::npos, url.find("URL=http://example.com/news?id=1\r\n")) << url;

    keys[L"Created"][L"Fresh"] = StringValue(L"value");
    keys[L"Created"][L"Count"] = {REG_DWORD, std::string("\x07\0\0\0", 4)};
    for (const wchar_t* created : {L"Tree", L"Tree\\A", L"Tree\\A\\B"}) {
        keys[created];
    }
    keys[L""][L"Existing"] = {REG_DWORD, std::string("\xff\xff\xff\xff", 4)};
    keys[L""].erase(L"Binary");
    for (const wchar_t* gone : {L"Leaf", L"Branch", L"Branch\\Sub"}) {
        keys.erase(gone);
    }
    EXPECT_EQ(keys, Keys());

    uninstallKeys[L"OstrelTestsReplaced"] = {
        {L"DisplayName", StringValue(L"Game")},
        {L"UninstallString", StringValue(L"C:\\Game\\Uninstall.exe")},
        {L"InstallLocation", StringValue(L"C:\\Game")},
        {L"Publisher", StringValue(L"Ostrel")},
        {L"DisplayVersion", StringValue(L"1.0")},
        {L"DisplayIcon", StringValue(L"C:\\Game\\Uninstall.exe")},
        {L"Extra", StringValue(L"old Extra")}};
    uninstallKeys.erase(L"OstrelTestsRemoved");
    EXPECT_EQ(uninstallKeys, UninstallKeys());
}

}  // namespace
