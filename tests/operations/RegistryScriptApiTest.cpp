// The registry functions of the script against the real registry: what the
// queries return, which failures stop the script and which the tolerant
// functions record (with the summary the user sees), and that a key the user
// may not open with full access counts as absent.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/RegistryKey.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "TestSupport.h"

namespace {

using OstrelInstallEngine::RegistryKey;

const wchar_t kUninstallSubkey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OstrelTestsPartial";

struct Case {
    const char* name;
    const char* lua;             // the body of Execute; k is the test key's path
    const wchar_t* result;       // props.Result afterwards; null: not set
    const wchar_t* failure;      // error code text of the failed run; null: success
    std::vector<const wchar_t*> problems;  // display summaries; %K is the test key's path
    const wchar_t* removedKey;   // below the test key; null: none
    const wchar_t* keptKey;
};

const Case kCases[] = {
    {"DwordReadsAsNil", "props.Result = util.GetRegValue(k, L'Dword') == nil and L'nil' or L'?'",
     L"nil"},
    {"EmptyValueReadsAsEmptyText", "props.Result = L'[' .. util.GetRegValue(k, L'Empty') .. L']'",
     L"[]"},
    {"LoneNulReadsAsEmptyText", "props.Result = L'[' .. util.GetRegValue(k, L'Nul') .. L']'",
     L"[]"},
    {"TextReadsUpToItsNul", "props.Result = util.GetRegValue(k, L'Text')", L"hello"},
    {"ExpandableTextReadsAsNil",
     "props.Result = util.GetRegValue(k, L'Expand') == nil and L'nil' or L'?'", L"nil"},
    {"MissingValueReadsAsNil",
     "props.Result = util.GetRegValue(k, L'Missing') == nil and L'nil' or L'?'", L"nil"},
    {"MissingKeyFails", "util.GetRegValue(k .. L'\\\\Missing', L'Text')", nullptr,
     L"10042:00000002"},
    {"ValueQueries",
     "props.Result = (util.IsRegValue(k, L'Text') and L'T' or L'F') ..\n"
     "    (util.IsRegValue(k, L'No') and L'T' or L'F') ..\n"
     "    (util.IsRegKey(k .. L'\\\\No') and L'T' or L'F')",
     L"TFF"},
    {"LowerCaseRootIsAccepted",
     "props.Result = util.IsRegKey(props.LowerKey) and L'yes' or L'no'", L"yes"},
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
     "uninstall.RemoveRegKey(k .. L'\\\\Locked')\n"
     "uninstall.ClearAndRemoveRegKey(k .. L'\\\\Locked')\n"
     "uninstall.RemoveRegValue(k .. L'\\\\Locked', L'Text')",
     L"no", nullptr, {}, nullptr, L"Locked"},
    {"MissingValueIsRecorded", "uninstall.RemoveRegValue(k, L'Missing')", nullptr, nullptr,
     {L"Unable to write value \"Missing\" to registry key \"%K\" (10224:00000002)"}},
    {"SuppressedWarningsRecordNothing",
     "uninstall.StartSuppressWarnings() uninstall.RemoveRegValue(k, L'Missing')\n"
     "uninstall.EndSuppressWarnings()",
     nullptr},
    {"ValueOfMissingKeyIsSkipped", "uninstall.RemoveRegValue(k .. L'\\\\Missing', L'Text')"},
    {"KeyWithSubkeysIsRecorded", "uninstall.RemoveRegKey(k .. L'\\\\Parent')", nullptr, nullptr,
     {L"Unable to remove registry key \"%K\\Parent\" (10225:00000005)"}, nullptr, L"Parent"},
    {"ClearAndRemoveTakesTheSubkeys", "uninstall.ClearAndRemoveRegKey(k .. L'\\\\Parent')",
     nullptr, nullptr, {}, L"Parent"},
    {"MissingKeyIsNoProblem",
     "uninstall.RemoveRegKey(k .. L'\\\\Missing') uninstall.ClearAndRemoveRegKey(k .. L'\\\\No')"},
    {"TreeWalkStopsAtAParentWithOtherKeys", "uninstall.RemoveRegKeyTree(k .. L'\\\\V\\\\G', k)",
     nullptr, nullptr, {}, L"V\\G", L"V"},
    {"TreeWalkRemovesEmptiedParents", "uninstall.RemoveRegKeyTree(k .. L'\\\\Parent\\\\Child', k)",
     nullptr, nullptr, {}, L"Parent"},
    {"TreeWalkOutsideItsRootStops", "uninstall.RemoveRegKeyTree(k, k .. L'\\\\V')", nullptr,
     L"10266"},
    {"SetValueOnMissingKeyFails", "install.SetRegValue(k .. L'\\\\Missing', L'a', L'b')", nullptr,
     L"10042:00000002"},
    {"RemovingMissingValueFails", "install.RemoveRegValue(k, L'Missing')", nullptr,
     L"10179:00000002"},
    {"RollbackKeepsAKeyThatExisted",
     "install.CreateRegKeyTree(k .. L'\\\\Parent\\\\Child')\n"
     "util.FailWithError(L'm', L's', L'e', 10901)",
     nullptr, L"10901", {}, nullptr, L"Parent\\Child"},
    {"NarrowKeyPathIsABadArgument", "install.SetRegValue('narrow', L'a', L'b')", nullptr,
     L"10003"},
};

void WriteValue(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type,
                const void* data, DWORD size)
{
    RegistryKey key;
    RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                    nullptr);
    RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

// A key that everybody may read and delete but nobody may write.
void CreateReadOnlyKey(const std::wstring& subkey)
{
    WriteValue(HKEY_CURRENT_USER, subkey, L"Text", REG_SZ, L"x", 4);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1,
                                                         &descriptor, nullptr);
    RegistryKey key;
    RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, WRITE_DAC, key.Receive());
    RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
}

bool KeyExists(const std::wstring& subkey)
{
    RegistryKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, key.Receive()) ==
           ERROR_SUCCESS;
}

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
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
        WriteValue(HKEY_CURRENT_USER, k + L"\\Parent\\Child", L"", REG_SZ, L"c", 4);
        WriteValue(HKEY_CURRENT_USER, k + L"\\V\\G", L"", REG_SZ, L"g", 4);
        WriteValue(HKEY_CURRENT_USER, k + L"\\V\\Other", L"", REG_SZ, L"o", 4);
        CreateReadOnlyKey(k + L"\\Locked");
    }

    OstrelTest::TestRegistryKey m_key;
};

TEST_P(RegistryScriptApiTest, Behaves)
{
    const Case& c = GetParam();
    OstrelTest::ScriptPackage script(std::string("function Execute()\nlocal k = props.Key\n") +
                                     c.lua + "\nend");
    std::wstring lowerKey = m_key.KeyPath();
    lowerKey.replace(0, 17, L"hkey_current_user");
    script.Package().SetStringProp("Key", m_key.KeyPath());
    script.Package().SetStringProp("LowerKey", lowerKey);
    auto failure = OstrelTest::CatchEngineFailure([&] { script.Package().Execute(); });

    EXPECT_EQ(c.failure ? c.failure : L"", failure ? failure->GetErrorCode() : L"")
        << (failure ? failure->what() : "");
    if (c.result) {
        EXPECT_EQ(c.result, script.Prop("Result"));
    }
    std::vector<std::wstring> problems;
    for (const auto* problem : script.Package().GetErrors()) {
        problems.push_back(problem->GetDisplaySummary());
    }
    std::vector<std::wstring> expected;
    for (const wchar_t* problem : c.problems) {
        expected.push_back(Replace(problem, L"%K", m_key.KeyPath()));
    }
    EXPECT_EQ(expected, problems);
    if (c.removedKey) {
        EXPECT_FALSE(KeyExists(m_key.Subkey() + L"\\" + c.removedKey));
    }
    if (c.keptKey) {
        EXPECT_TRUE(KeyExists(m_key.Subkey() + L"\\" + c.keptKey));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryScriptApiTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The narrow argument is named in the Lua error that ends the run.
TEST(RegistryScriptApiBadArgumentTest, NamesTheArgumentAndTheFunction)
{
    OstrelTest::ScriptPackage script("function Execute() install.RemoveRegKey('narrow') end");
    auto failure = OstrelTest::CatchEngineFailure([&] { script.Package().Execute(); });
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(std::wstring::npos, failure->GetEnglishMessage().find(
                                      L"bad argument #1 to 'RemoveRegKey' (bad argument)"));
}

// The entry in the list of installed programs: the tolerant removal records
// each missing value and still removes the key; a missing entry is no problem.
TEST(UninstallInfoRemovalTest, RecordsMissingValuesAndRemovesTheKey)
{
    for (const wchar_t* name :
         {L"DisplayName", L"UninstallString", L"InstallLocation", L"Publisher", L"DisplayVersion",
          L"Extra"}) {
        WriteValue(HKEY_LOCAL_MACHINE, kUninstallSubkey, name, REG_SZ, L"v", 4);
    }
    OstrelTest::ScriptPackage script(
        "function Execute() uninstall.RemoveUninstallInfo(L'OstrelTestsPartial')\n"
        "uninstall.RemoveUninstallInfo(L'OstrelTestsNeverInstalled') end");
    script.Package().Execute();
    const auto problems = script.Package().GetErrors();
    ASSERT_EQ(1u, problems.size());
    EXPECT_EQ(std::wstring(L"Unable to write value \"DisplayIcon\" to registry key "
                           L"\"HKEY_LOCAL_MACHINE\\") +
                  kUninstallSubkey + L"\" (10224:00000002)",
              problems[0]->GetDisplaySummary());
    RegistryKey key;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallSubkey, 0, KEY_READ, key.Receive()));
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallSubkey);
}

}  // namespace
