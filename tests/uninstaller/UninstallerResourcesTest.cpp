// The built executable carries the resources the uninstaller looks up: the
// embedded package "UNINSTALL.ZIP" and the engine's English table (RCDATA
// 103). The dialog templates are proven by the dialog tests, which drive every
// control of both dialogs in the running program.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "TestConfig.h"
#include "TestSupport.h"
#include "UninstallerProcess.h"

namespace {

using namespace OstrelTest;

// "UNINSTALL.ZIP" is a zip archive whose entries are exactly the files of the
// staged uninstall package (the script with its generated tables), byte for
// byte; RCDATA 103 holds 65 lines "id<TAB>text" with CR LF, ids
// 1000010001..1000010065.
TEST(UninstallerResourcesTest, PackageAndMessageTable)
{
    std::map<std::wstring, std::string> resources = ProgramResources(UninstallerExe());
    std::map<std::string, std::string> expected;
    for (const std::string& name : SplitList(OSTREL_TEST_PACKAGE_FILES, '|')) {
        expected[name] = ReadFileBytes(HostPath(OSTREL_TEST_PACKAGE_DIR "/" + name));
    }
    ASSERT_EQ(1u, resources.count(L"#10/UNINSTALL.ZIP/1033"));
    EXPECT_EQ(expected, ZipEntries(resources[L"#10/UNINSTALL.ZIP/1033"]));

    const std::string table = resources[L"#10/#103/1033"];
    std::vector<std::string> lines = SplitList(table, '\n');
    ASSERT_EQ(66u, lines.size()) << "65 lines and nothing after the last line end";
    EXPECT_EQ("", lines.back());
    lines.pop_back();
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(std::to_string(1000010001 + i) + "\t", lines[i].substr(0, 11));
        EXPECT_EQ(lines[i].size() - 1, lines[i].find('\r')) << "one CR, at the end: " << i;
    }
}

}  // namespace
