// Every transactional install.* function of the file, registry,
// uninstall-information and shortcut families in one script, with a failure
// injected right after each operation in turn: a failed run puts back every
// file, folder, key, value and link exactly as it was and leaves no backup
// file, backup key or temporary file; a run to the end leaves exactly the
// installed state.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlwapi.h>

#include <map>
#include <memory>
#include <string>

#include "EngineFailure.h"
#include "FileTreeSnapshot.h"
#include "HostTestSupport.h"
#include "RegistrySnapshot.h"
#include "TestSupport.h"
#include "base/Exceptions.h"
#include "base/RegistryKey.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelTest::DwordValue;
using OstrelTest::FileTreeSnapshot;
using OstrelTest::RegistrySnapshot;
using OstrelTest::StringValue;
using OstrelTest::TakeRegistrySnapshot;

const wchar_t kUninstallSubkey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

const char kScript[] = R"lua(
local function Step(name)
    if props.FailAfter == name then util.FailWithError(L"m", L"s", L"injected", 10901) end
end
local function At(path) return props.Root .. L"\\" .. path end
function Execute()
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
    local r = props.Key
    install.CreateRegKey(r .. L"\\Created"); Step(L"CreateRegKey")
    install.CreateRegKeyTree(r .. L"\\Tree\\A\\B"); Step(L"CreateRegKeyTree")
    install.SetRegValue(r, L"Existing", L"first"); Step(L"SetRegValue")
    install.SetRegValue(r, L"Existing", L"second"); Step(L"SetRegValueAgain")
    install.SetRegValue(r .. L"\\Created", L"Fresh", L"value"); Step(L"SetNewRegValue")
    install.RemoveRegValue(r, L"Binary"); Step(L"RemoveRegValue")
    install.RemoveRegKey(r .. L"\\Leaf"); Step(L"RemoveRegKey")
    install.ClearAndRemoveRegKey(r .. L"\\Branch"); Step(L"ClearAndRemoveRegKey")
    install.AddUninstallInfo(L"OstrelTestsReplaced", L"Game", L"C:\\Game\\Uninstall.exe",
                             L"C:\\Game", L"Ostrel", L"1.0"); Step(L"AddUninstallInfo")
    install.RemoveUninstallInfo(L"OstrelTestsRemoved"); Step(L"RemoveUninstallInfo")
    install.CreateShortcut(At(L"app\\Game.lnk"), At(L"app\\Game.exe"), At(L"app"), L"-windowed",
                           L"Play", At(L"app\\Game.exe"), 1); Step(L"CreateShortcut")
    install.CreateUrlShortcut(At(L"app\\Site.url"), L"http://example.com/")
    Step(L"CreateUrlShortcut")
end)lua";

const wchar_t* const kSteps[] = {
    L"CreateDirectory",    L"CreateDirectoryTree", L"CreateFile",           L"ReplaceFile",
    L"CreateFileFromDelta", L"PatchFile",          L"MoveFile",             L"RemoveFile",
    L"TryRemoveDirectory", L"CreateRegKey",        L"CreateRegKeyTree",     L"SetRegValue",
    L"SetRegValueAgain",   L"SetNewRegValue",      L"RemoveRegValue",       L"RemoveRegKey",
    L"ClearAndRemoveRegKey", L"AddUninstallInfo",  L"RemoveUninstallInfo",  L"CreateShortcut",
    L"CreateUrlShortcut"};

std::string Fixture(const std::string& path)
{
    return OstrelTest::ReadFileBytes(OstrelTest::FixturePath(path));
}

std::wstring Uninstall(const std::wstring& id)
{
    return std::wstring(kUninstallSubkey) + L"\\" + id;
}

void WriteValue(HKEY root, const std::wstring& subkey, const std::wstring& name,
                const OstrelTest::RegistryValue& value)
{
    OstrelInstallEngine::RegistryKey key;
    RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                    nullptr);
    RegSetValueExW(key.Get(), name.c_str(), 0, value.type,
                   reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
}

class InstallTransactionTest : public testing::Test {
protected:
    InstallTransactionTest() : m_key(L"InstallTransactions")
    {
        CreateDirectoryW(At(L"app").c_str(), nullptr);
        Write(L"app\\old.dat", "old content");
        SetFileAttributesW(At(L"app\\old.dat").c_str(), FILE_ATTRIBUTE_READONLY);
        Write(L"app\\source.txt", Fixture("delta/small-source.txt"));
        Write(L"app\\patch-me.txt", Fixture("delta/small-source.txt"));
        Write(L"app\\move-me.txt", "moving");
        Write(L"app\\remove-me.txt", "removing");
        CreateDirectoryW(At(L"app\\empty").c_str(), nullptr);
        CreateDirectoryW(At(L"app\\kept").c_str(), nullptr);
        Write(L"app\\kept\\keep.txt", "kept");
        Write(L"app\\Game.exe", "MZ");
        Write(L"app\\Game.lnk", "the previous link");

        const std::wstring k = m_key.Subkey();
        WriteValue(HKEY_CURRENT_USER, k, L"Existing", DwordValue(7));
        WriteValue(HKEY_CURRENT_USER, k, L"Binary", {REG_BINARY, std::string("\x01\x00\x02", 3)});
        WriteValue(HKEY_CURRENT_USER, k + L"\\Leaf", L"A", StringValue(L"a"));
        WriteValue(HKEY_CURRENT_USER, k + L"\\Leaf", L"B", DwordValue(1));
        WriteValue(HKEY_CURRENT_USER, k + L"\\Branch", L"C", StringValue(L"c"));
        WriteValue(HKEY_CURRENT_USER, k + L"\\Branch\\Sub", L"", StringValue(L"default"));
        for (const wchar_t* name : {L"DisplayName", L"UninstallString", L"InstallLocation",
                                    L"Publisher", L"DisplayVersion", L"DisplayIcon", L"Extra"}) {
            WriteValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced"), name,
                       StringValue(std::wstring(L"old ") + name));
        }
        WriteValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved"), L"DisplayName",
                   StringValue(L"Removed Game"));
    }
    ~InstallTransactionTest() override
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced").c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved").c_str());
    }

    std::wstring At(const std::wstring& relative) const { return m_folder.File(relative); }
    void Write(const std::wstring& relative, const std::string& content)
    {
        OstrelTest::WriteFileBytes(At(relative), content);
    }

    // Runs the script with a failure after the named step (none for "");
    // returns what it threw and whether the engine's temporary folder was
    // left empty.
    std::unique_ptr<Exception> Run(const std::wstring& failAfter, bool* tempFolderEmpty)
    {
        // The digest is a narrow string, which props cannot carry.
        const std::string md5 = Fixture("md5/size-65.bin.md5").substr(0, 32);
        OstrelTest::ScriptPackage script(
            "NEW_MD5 = '" + md5 + "'\n" + kScript, {{"payload/new.bin", Fixture("md5/size-65.bin")},
                      {"payload/replacement.txt", "replacement"},
                      {"payload/small.vcdiff", Fixture("delta/small-default.vcdiff")}});
        OstrelInstallEngine::InstallerPackage& package = script.Package();
        package.SetStringProp("Root", m_folder.Path());
        package.SetStringProp("Key", m_key.KeyPath());
        package.SetStringProp("FailAfter", failAfter);
        auto failure = OstrelTest::CatchEngineFailure([&] { package.Execute(); });
        const std::wstring temp = package.GetSystemStateManager().GetTempFolderPath();
        *tempFolderEmpty = FileTreeSnapshot::Take(temp).Entries().empty();
        return failure;
    }

    FileTreeSnapshot Files() const { return FileTreeSnapshot::Take(m_folder.Path()); }
    RegistrySnapshot Keys() const
    {
        return TakeRegistrySnapshot(HKEY_CURRENT_USER, m_key.Subkey());
    }
    static RegistrySnapshot UninstallKeys()
    {
        return TakeRegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallSubkey);
    }

    OstrelTest::TempFolder m_folder;
    OstrelTest::TestRegistryKey m_key;
};

TEST_F(InstallTransactionTest, FailureAfterEachOperationRestoresEverything)
{
    const FileTreeSnapshot files = Files();
    const RegistrySnapshot keys = Keys();
    const RegistrySnapshot uninstallKeys = UninstallKeys();
    for (const wchar_t* step : kSteps) {
        SCOPED_TRACE(std::string(step, step + wcslen(step)));
        bool tempFolderEmpty = false;
        const auto failure = Run(step, &tempFolderEmpty);
        ASSERT_NE(nullptr, failure);
        EXPECT_EQ(L"10901", failure->GetErrorCode()) << failure->what();
        EXPECT_EQ(files, Files());
        EXPECT_EQ(keys, Keys()) << OstrelTest::DescribeRegistrySnapshot(Keys());
        EXPECT_EQ(uninstallKeys, UninstallKeys())
            << OstrelTest::DescribeRegistrySnapshot(UninstallKeys());
        EXPECT_TRUE(tempFolderEmpty);
    }
}

TEST_F(InstallTransactionTest, RunToTheEndLeavesTheInstalledState)
{
    FileTreeSnapshot files = Files();
    RegistrySnapshot keys = Keys();
    RegistrySnapshot uninstallKeys = UninstallKeys();
    bool tempFolderEmpty = false;
    const auto failure = Run(L"", &tempFolderEmpty);
    ASSERT_EQ(nullptr, failure) << failure->what();
    EXPECT_TRUE(tempFolderEmpty);

    for (const wchar_t* folder :
         {L"app\\data", L"app\\deep", L"app\\deep\\er", L"app\\deep\\er\\est"}) {
        files.SetFolder(folder);
    }
    files.SetFile(L"app\\data\\new.bin", Fixture("md5/size-65.bin"));
    files.SetFile(L"app\\old.dat", "replacement");
    files.SetFile(L"app\\deep\\er\\est\\target.txt", Fixture("delta/small-target.txt"));
    files.SetFile(L"app\\patch-me.txt", Fixture("delta/small-target.txt"));
    files.SetFile(L"app\\data\\moved.txt", "moving");
    for (const wchar_t* gone : {L"app\\move-me.txt", L"app\\remove-me.txt", L"app\\empty"}) {
        files.Remove(gone);
    }
    // The links' bytes are the shell's; their fields are read back elsewhere.
    const FileTreeSnapshot installed = Files();
    const auto& link = installed.Entries().at(L"app\\Game.lnk");
    const auto& url = installed.Entries().at(L"app\\Site.url");
    EXPECT_EQ(std::string("L\0\0\0", 4), link.content.substr(0, 4)) << "not a shell link";
    EXPECT_NE(std::string::npos, url.content.find("URL=http://example.com/"));
    files.SetFile(L"app\\Game.lnk", link.content, link.attributes);
    files.SetFile(L"app\\Site.url", url.content, url.attributes);
    EXPECT_EQ(files, installed);

    keys[L"Created"][L"Fresh"] = StringValue(L"value");
    keys[L"Tree"];
    keys[L"Tree\\A"];
    keys[L"Tree\\A\\B"];
    keys[L""][L"Existing"] = StringValue(L"second");
    keys[L""].erase(L"Binary");
    for (const wchar_t* gone : {L"Leaf", L"Branch", L"Branch\\Sub"}) {
        keys.erase(gone);
    }
    EXPECT_EQ(keys, Keys()) << OstrelTest::DescribeRegistrySnapshot(Keys());

    auto& replaced = uninstallKeys[L"OstrelTestsReplaced"];
    replaced[L"DisplayName"] = StringValue(L"Game");
    replaced[L"UninstallString"] = StringValue(L"C:\\Game\\Uninstall.exe");
    replaced[L"InstallLocation"] = StringValue(L"C:\\Game");
    replaced[L"Publisher"] = StringValue(L"Ostrel");
    replaced[L"DisplayVersion"] = StringValue(L"1.0");
    replaced[L"DisplayIcon"] = StringValue(L"C:\\Game\\Uninstall.exe");
    uninstallKeys.erase(L"OstrelTestsRemoved");
    EXPECT_EQ(uninstallKeys, UninstallKeys())
        << OstrelTest::DescribeRegistrySnapshot(UninstallKeys());
}

}  // namespace
