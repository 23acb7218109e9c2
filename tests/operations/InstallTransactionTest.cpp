// Every transactional registry, uninstall-information and shortcut function,
// with a failure injected right after each of them in turn: a failed run puts
// back every key, value and link file exactly as it was and leaves no backup,
// and a run to the end leaves exactly the installed state.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlwapi.h>

#include <map>
#include <string>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "RegistrySnapshot.h"
#include "TestSupport.h"

namespace {

using OstrelTest::DwordValue;
using OstrelTest::RegistrySnapshot;
using OstrelTest::StringValue;
using OstrelTest::TakeRegistrySnapshot;

const wchar_t kUninstallSubkey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const int kOperationCount = 12;

const char kScript[] = R"lua(
local step = 0
local function Done()
    step = step + 1
    if step == FAIL_AFTER then util.FailWithError(L"m", L"s", L"injected", 10901) end
end
function Execute()
    local r = props.Root
    install.CreateRegKey(r .. L"\\Created") Done()
    install.CreateRegKeyTree(r .. L"\\Tree\\A\\B") Done()
    install.SetRegValue(r, L"Existing", L"first") Done()
    install.SetRegValue(r, L"Existing", L"second") Done()
    install.SetRegValue(r .. L"\\Created", L"Fresh", L"value") Done()
    install.RemoveRegValue(r, L"Binary") Done()
    install.RemoveRegKey(r .. L"\\Leaf") Done()
    install.ClearAndRemoveRegKey(r .. L"\\Branch") Done()
    install.AddUninstallInfo(L"OstrelTestsReplaced", L"Game", L"C:\\Game\\Uninstall.exe",
                             L"C:\\Game", L"Ostrel", L"1.0") Done()
    install.RemoveUninstallInfo(L"OstrelTestsRemoved") Done()
    install.CreateShortcut(props.Folder .. L"\\Game.lnk", props.Folder .. L"\\Game.exe",
                           props.Folder, L"-windowed", L"Play", props.Folder .. L"\\Game.exe", 1)
    Done()
    install.CreateUrlShortcut(props.Folder .. L"\\Site.url", L"http://example.com/") Done()
end)lua";

std::map<std::wstring, std::string> FolderFiles(const std::wstring& folder)
{
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files[data.cFileName] = OstrelTest::ReadFileBytes(folder + L"\\" + data.cFileName);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return files;
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
    InstallTransactionTest() : m_root(L"InstallTransactions")
    {
        const std::wstring r = m_root.Subkey();
        WriteValue(HKEY_CURRENT_USER, r, L"Existing", DwordValue(7));
        WriteValue(HKEY_CURRENT_USER, r, L"Binary", {REG_BINARY, std::string("\x01\x00\x02", 3)});
        WriteValue(HKEY_CURRENT_USER, r + L"\\Leaf", L"A", StringValue(L"a"));
        WriteValue(HKEY_CURRENT_USER, r + L"\\Leaf", L"B", DwordValue(1));
        WriteValue(HKEY_CURRENT_USER, r + L"\\Branch", L"C", StringValue(L"c"));
        WriteValue(HKEY_CURRENT_USER, r + L"\\Branch\\Sub", L"", StringValue(L"default"));
        for (const wchar_t* name : {L"DisplayName", L"UninstallString", L"InstallLocation",
                                    L"Publisher", L"DisplayVersion", L"DisplayIcon", L"Extra"}) {
            WriteValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced"), name,
                       StringValue(std::wstring(L"old ") + name));
        }
        WriteValue(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved"), L"DisplayName",
                   StringValue(L"Removed Game"));
        OstrelTest::WriteFileBytes(m_folder.File(L"Game.lnk"), "the previous link");
        OstrelTest::WriteFileBytes(m_folder.File(L"Game.exe"), "MZ");
    }
    ~InstallTransactionTest() override
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsReplaced").c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, Uninstall(L"OstrelTestsRemoved").c_str());
    }

    static std::wstring Uninstall(const std::wstring& id)
    {
        return std::wstring(kUninstallSubkey) + L"\\" + id;
    }

    // Runs the script with a failure after operation failAfter (none for 0);
    // returns the error code text of the failure, empty when it succeeded.
    std::wstring Run(int failAfter)
    {
        OstrelTest::ScriptPackage script("FAIL_AFTER = " + std::to_string(failAfter) + "\n" +
                                         kScript);
        script.Package().SetStringProp("Root", m_root.KeyPath());
        script.Package().SetStringProp("Folder", m_folder.Path());
        auto failure = OstrelTest::CatchEngineFailure([&] { script.Package().Execute(); });
        return failure ? failure->GetErrorCode() : std::wstring();
    }

    RegistrySnapshot Root() const
    {
        return TakeRegistrySnapshot(HKEY_CURRENT_USER, m_root.Subkey());
    }
    static RegistrySnapshot UninstallKeys()
    {
        return TakeRegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallSubkey);
    }

    OstrelTest::TestRegistryKey m_root;
    OstrelTest::TempFolder m_folder;
};

TEST_F(InstallTransactionTest, FailureAfterEachOperationRestoresEverything)
{
    const RegistrySnapshot root = Root();
    const RegistrySnapshot uninstallKeys = UninstallKeys();
    const auto files = FolderFiles(m_folder.Path());
    for (int failAfter = 1; failAfter <= kOperationCount; ++failAfter) {
        SCOPED_TRACE("failure after operation " + std::to_string(failAfter));
        EXPECT_EQ(L"10901", Run(failAfter));
        EXPECT_EQ(root, Root()) << OstrelTest::DescribeRegistrySnapshot(Root());
        EXPECT_EQ(uninstallKeys, UninstallKeys())
            << OstrelTest::DescribeRegistrySnapshot(UninstallKeys());
        EXPECT_EQ(files, FolderFiles(m_folder.Path()));
    }
}

TEST_F(InstallTransactionTest, RunToTheEndLeavesTheInstalledState)
{
    RegistrySnapshot root = Root();
    RegistrySnapshot uninstallKeys = UninstallKeys();
    ASSERT_EQ(L"", Run(0));

    root[L"Created"][L"Fresh"] = StringValue(L"value");
    root[L"Tree"];
    root[L"Tree\\A"];
    root[L"Tree\\A\\B"];
    root[L""][L"Existing"] = StringValue(L"second");
    root[L""].erase(L"Binary");
    root.erase(L"Leaf");
    root.erase(L"Branch");
    root.erase(L"Branch\\Sub");
    EXPECT_EQ(root, Root()) << OstrelTest::DescribeRegistrySnapshot(Root());

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

    // No "BK_" backup is left: the folder holds the target and the two links.
    auto files = FolderFiles(m_folder.Path());
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(std::string("L\0\0\0", 4), files[L"Game.lnk"].substr(0, 4)) << "not a shell link";
    EXPECT_NE(std::string::npos, files[L"Site.url"].find("URL=http://example.com/"));
}

}  // namespace
