// The registry functions of the script against the real registry: what the
// queries return, which failures stop the script and which the tolerant
// functions record (with the summary the user sees), and that a key the user
// may not open with full access counts as absent.
#include <gtest/gtest.h>

#include "ScriptRun.h"
#include "base/LocalMemory.h"

#include <sddl.h>
#include <shlwapi.h>

namespace {

using namespace OstrelTest;
using namespace std::string_literals;

const wchar_t kPartialEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OstrelTestsPartial";

struct Case {
    const char* name;
    const char* lua;        // the body of Execute; k is the test key's path
    const wchar_t* result;  // props.Result afterwards; null: not checked
    const wchar_t* failure;  // error code text of the failed run; null: success
    std::vector<std::wstring> problems;  // display summaries; %K is the test key's path
    const wchar_t* removedKey;  // below the test key; null: none
    const wchar_t* keptKey;
};

const Case kCases[] = {
    {"Queries",
     "local function Show(name) local v = util.GetRegValue(k, name)\n"
     "    return v == nil and L'nil' or L'[' .. v .. L']' end\n"
     "local function Yes(b) return b and L'T' or L'F' end\n"
     "props.Result = Show(L'Dword') .. Show(L'Empty') .. Show(L'Nul') .. Show(L'Text') ..\n"
     "    Show(L'Expand') .. Show(L'Missing') .. Yes(util.IsRegValue(k, L'Text')) ..\n"
     "    Yes(util.IsRegValue(k, L'No')) .. Yes(util.IsRegKey(k .. L'\\\\No')) ..\n"
     "    Yes(util.IsRegKey(props.LowerKey))",
     L"nil[][][hello]nilnilTFFT"},
    {"MissingKeyFails", "util.GetRegValue(k .. L'\\\\Missing', L'Text')", nullptr,
     L"10042:00000002"},
    {"ShortRootNameStopsTheQuery", "util.IsRegKey(L'HKLM\\\\Software')", nullptr, L"10078"},
    {"ShortRootNameIsRecordedByTheTolerantRemovals",
     "uninstall.RemoveRegKey(L'HKLM\\\\Software\\\\X')\n"
     "uninstall.ClearAndRemoveRegKey(L'HKLM\\\\Software\\\\X')\n"
     "uninstall.RemoveRegKeyTree(L'HKLM\\\\Software\\\\X', L'HKLM') props.Result = L'went on'",
     L"went on", nullptr,
     {L"Internal check failed (10078)", L"Internal check failed (10078)",
      L"Internal check failed (10078)"}},
    {"LockedKeyCountsAsAbsent",
     "props.Result = util.IsRegKey(k .. L'\\\\Locked') and L'yes' or L'no'\n"
     "uninstall.RemoveRegKey(k .. L'\\\\Locked') uninstall.ClearAndRemoveRegKey(k .. L'\\\\Locked')\n"
     "uninstall.RemoveRegValue(k .. L'\\\\Locked', L'Text')",
     L"no", nullptr, {}, nullptr, L"Locked"},
    {"MissingValueIsRecordedUnlessSuppressed",
     "uninstall.RemoveRegValue(k, L'Missing') uninstall.RemoveRegValue(k .. L'\\\\Missing', L'Text')\n"
     "uninstall.StartSuppressWarnings() uninstall.RemoveRegValue(k, L'Missing')\n"
     "uninstall.EndSuppressWarnings()",
     nullptr, nullptr,
     {L"Unable to write value \"Missing\" to registry key \"%K\" (10224:00000002)"}},
    {"KeyWithSubkeysIsRecorded",
     "uninstall.RemoveRegKey(k .. L'\\\\Parent')\n"
     "uninstall.RemoveRegKey(k .. L'\\\\Missing') uninstall.ClearAndRemoveRegKey(k .. L'\\\\No')",
     nullptr, nullptr, {L"Unable to remove registry key \"%K\\Parent\" (10225:00000005)"}, nullptr,
     L"Parent"},
    {"ClearAndRemoveTakesTheSubkeys", "uninstall.ClearAndRemoveRegKey(k .. L'\\\\Parent')",
     nullptr, nullptr, {}, L"Parent"},
    {"TreeWalkStopsAtAParentWithOtherKeys", "uninstall.RemoveRegKeyTree(k .. L'\\\\V\\\\G', k)",
     nullptr, nullptr, {}, L"V\\G", L"V"},
    {"TreeWalkRemovesEmptiedParents", "uninstall.RemoveRegKeyTree(k .. L'\\\\Parent\\\\Child', k)",
     nullptr, nullptr, {}, L"Parent"},
    {"TreeWalkOutsideItsRootStops", "uninstall.RemoveRegKeyTree(k, k .. L'\\\\V')", nullptr,
     L"10266"},
    {"TreeRootEndsAtAKeyBoundary", "uninstall.RemoveRegKeyTree(k .. L'\\\\VX\\\\G', k .. L'\\\\V')",
     nullptr, L"10266", {}, nullptr, L"VX\\G"},
    // A hive, an empty level or a cut name never widens a removal to a
    // parent: the tolerant functions record it, the transactional one fails.
    {"WideningPathsAreRecorded",
     "uninstall.ClearAndRemoveRegKey(L'HKEY_CURRENT_USER\\\\')\n"
     "uninstall.RemoveRegKey(L'HKEY_CURRENT_USER')\n"
     "uninstall.ClearAndRemoveRegKey(k .. L'\\\\V\\\\')\n"
     "uninstall.RemoveRegKey(k .. L'\\\\\\\\V')\n"
     "uninstall.ClearAndRemoveRegKey(k .. L'\\\\V\\0\\\\G')\n"
     "uninstall.RemoveRegKeyTree(k .. L'\\\\V\\\\G\\\\', k)",
     nullptr, nullptr,
     {L"Unable to remove registry key \"HKEY_CURRENT_USER\\\" (10044:000000a1)",
      L"Unable to remove registry key \"HKEY_CURRENT_USER\" (10225:000000a1)",
      L"Unable to remove registry key \"%K\\V\\\" (10044:000000a1)",
      L"Unable to remove registry key \"%K\\\\V\" (10225:000000a1)",
      L"Unable to remove registry key \"%K\\V\0\\G\" (10044:000000a1)"s,
      L"Unable to remove registry key \"%K\\V\\G\\\" (10225:000000a1)"},
     nullptr, L"V\\G"},
    {"WideningPathFailsTheTransactedRemoval", "install.ClearAndRemoveRegKey(k .. L'\\\\V\\\\')",
     nullptr, L"10044:000000a1", {}, nullptr, L"V\\Other"},
    {"SetValueOnMissingKeyFails", "install.SetRegValue(k .. L'\\\\Missing', L'a', L'b')", nullptr,
     L"10042:00000002"},
    {"DwordOnMissingKeyFails", "install.SetRegDwordValue(k .. L'\\\\Missing', L'a', 1)", nullptr,
     L"10042:00000002"},
    // A DWORD is a whole number from 0 to 4294967295.
    {"NegativeDwordIsABadArgument", "install.SetRegDwordValue(k, L'a', -1)", nullptr, L"10003"},
    {"FractionalDwordIsABadArgument", "install.SetRegDwordValue(k, L'a', 1.5)", nullptr, L"10003"},
    {"DwordBeyond32BitsIsABadArgument", "install.SetRegDwordValue(k, L'a', 4294967296)", nullptr,
     L"10003"},
    {"RemovingMissingValueFails", "install.RemoveRegValue(k, L'Missing')", nullptr,
     L"10179:00000002"},
    {"RollbackKeepsAKeyThatExisted",
     "install.CreateRegKeyTree(k .. L'\\\\Parent\\\\Child')\n"
     "util.FailWithError(L'm', L's', L'e', 10901)",
     nullptr, L"10901", {}, nullptr, L"Parent\\Child"},
    {"NarrowKeyPathIsABadArgument", "install.SetRegValue('narrow', L'a', L'b')", nullptr, L"10003"},
    // The entry in the list of installed programs goes even when values are
    // missing, each recorded; an entry never installed is no problem.
    {"UninstallInfoRemoval",
     "uninstall.RemoveUninstallInfo(L'OstrelTestsPartial')\n"
     "uninstall.RemoveUninstallInfo(L'OstrelTestsNeverInstalled')\n"
     "props.Result = util.IsRegKey(L'HKEY_LOCAL_MACHINE\\\\Software\\\\Microsoft\\\\Windows\\\\"
     "CurrentVersion\\\\Uninstall\\\\OstrelTestsPartial') and L'kept' or L'gone'",
     L"gone", nullptr,
     {L"Unable to write value \"DisplayIcon\" to registry key \"HKEY_LOCAL_MACHINE\\Software\\"
      L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\OstrelTestsPartial\" (10224:00000002)"}},
};

void WriteValue(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type,
                const void* data, DWORD size)
{
    WriteRegistryValue(root, subkey, name, {type, std::string(static_cast<const char*>(data), size)});
}

// A key that everybody may read and delete but nobody may write.
void CreateReadOnlyKey(const std::wstring& subkey)
{
    WriteValue(HKEY_CURRENT_USER, subkey, L"Text", REG_SZ, L"x", 4);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1,
                                                         &descriptor, nullptr);
    const OstrelInstallEngine::LocalMemory descriptorOwner(descriptor);
    OstrelInstallEngine::RegistryKey key;
    RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, WRITE_DAC, key.Receive());
    RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor);
}

class RegistryScriptApiTest : public testing::TestWithParam<Case> {
protected:
    RegistryScriptApiTest() : m_key(L"RegistryScriptApi")
    {
        const std::wstring k = m_key.Subkey();
        const DWORD five = 5;
        WriteValue(HKEY_CURRENT_USER, k, L"Dword", REG_DWORD, &five, sizeof(five));
        WriteValue(HKEY_CURRENT_USER, k, L"Empty", REG_SZ, L"", 0);
        WriteValue(HKEY_CURRENT_USER, k, L"Nul", REG_SZ, L"", 2);
        WriteValue(HKEY_CURRENT_USER, k, L"Text", REG_SZ, L"hello\0tail", 22);
        WriteValue(HKEY_CURRENT_USER, k, L"Expand", REG_EXPAND_SZ, L"%x%", 8);
        for (const wchar_t* child : {L"\\Parent\\Child", L"\\V\\G", L"\\V\\Other", L"\\VX\\G"}) {
            WriteValue(HKEY_CURRENT_USER, k + child, L"", REG_SZ, L"c", 4);
        }
        CreateReadOnlyKey(k + L"\\Locked");
        for (const wchar_t* name : {L"DisplayName", L"UninstallString", L"InstallLocation",
                                    L"Publisher", L"DisplayVersion", L"Extra"}) {
            WriteValue(HKEY_LOCAL_MACHINE, kPartialEntry, name, REG_SZ, L"v", 4);
        }
    }
    ~RegistryScriptApiTest() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, kPartialEntry); }

    TestRegistryKey m_key;
};

TEST_P(RegistryScriptApiTest, Behaves)
{
    const Case& c = GetParam();
    ScriptRun script(std::string("local k = props.Key\n") + c.lua,
                     {{"Key", m_key.KeyPath()},
                      {"LowerKey", L"hkey_current_user" + m_key.KeyPath().substr(17)}});
    const auto failure = script.Failure();
    EXPECT_EQ(c.failure ? c.failure : L"", failure ? failure->GetErrorCode() : L"")
        << (failure ? failure->what() : "");
    // 10003 is any Lua error of the run: the called function's argument check
    // must be the one.
    if (failure && failure->GetErrorCode() == L"10003") {
        const std::string lua = c.lua;
        const size_t name = lua.find("install.") + 8;
        const std::string function = lua.substr(name, lua.find('(', name) - name);
        EXPECT_NE(std::string::npos, std::string(failure->what()).find("' (bad argument)"))
            << failure->what();
        EXPECT_NE(std::string::npos, std::string(failure->what()).find("to '" + function + "'"))
            << failure->what();
    }
    if (c.result) {
        EXPECT_EQ(c.result, script.Prop("Result"));
    }
    std::vector<std::wstring> expected;
    for (const std::wstring& problem : c.problems) {
        expected.push_back(Replaced(problem, L"%K", m_key.KeyPath()));
    }
    EXPECT_EQ(expected, script.Problems());
    if (c.removedKey) {
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_key.Subkey() + L"\\" + c.removedKey));
    }
    if (c.keptKey) {
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_key.Subkey() + L"\\" + c.keptKey));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryScriptApiTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
