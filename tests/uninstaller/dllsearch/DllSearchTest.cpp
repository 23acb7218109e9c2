// The uninstaller's DLL search, with libraries planted beside it under the
// names of system DLLs that it, or Wine's own DLLs on its behalf, load.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestConfig.h"
#include "TestSupport.h"
#include "UninstallerProcess.h"
#include "base/UniqueHandle.h"

namespace {

using namespace OstrelTest;

const wchar_t* const kPlantedNames[] = {L"Riched32.dll", L"comctl32.dll", L"version.dll", L"msi.dll"};

// The marks that planted libraries left, taken away for the next run.
std::vector<std::wstring> TakeLoadMarks(const std::wstring& folder)
{
    std::vector<std::wstring> marks;
    for (const std::wstring& name : FileNames(folder)) {
        if (name.size() > 7 && name.compare(name.size() - 7, 7, L".loaded") == 0) {
            marks.push_back(name);
            DeleteFileW((folder + L"\\" + name).c_str());
        }
    }
    return marks;
}

// With Wine told to prefer native DLLs of those names (ctest starts this
// program so; Wine's search is then Windows's, program folder first), no
// planted library is loaded in any mode: the user's start, the quiet copy
// (whose script asks Windows Installer, so msi.dll is bound), and the dialog
// (rich edit and common controls), which is ended once its window shows.
TEST(DllSearchTest, LibrariesPlantedBesideTheProgramAreNotLoaded)
{
    // The program's folder lies outside the chain's temp path, as a game's does.
    TempFolder folder;
    const std::wstring programFolder = folder.File(L"game");
    const std::wstring tempPath = folder.File(L"temp") + L"\\";
    CreateDirectoryW(programFolder.c_str(), nullptr);
    CreateDirectoryW(tempPath.c_str(), nullptr);
    const std::wstring uninstaller = PlaceUninstaller(programFolder, ScenarioUninstallerExe());
    for (const wchar_t* name : kPlantedNames) {
        const std::wstring planted = programFolder + L"\\" + name;
        ASSERT_TRUE(CopyFileW(HostPath(OSTREL_TEST_PLANTED_DLL).c_str(), planted.c_str(), FALSE));
    }
    // The control: a search that includes the program's folder does load the
    // planted library by its bare name, and it leaves its mark.
    {
        SetDllDirectoryW(programFolder.c_str());
        const OstrelInstallEngine::UniqueModule control(LoadLibraryW(L"Riched32.dll"));
        SetDllDirectoryW(nullptr);
        ASSERT_TRUE(control.IsValid()) << "the planted library does not load at all";
    }
    ASSERT_EQ(std::vector<std::wstring>{L"Riched32.dll.loaded"}, TakeLoadMarks(programFolder))
        << "native-first overrides are not in effect";
    const struct {
        const wchar_t* arguments;
        bool showsDialog;
    } cases[] = {{L"quiet", false}, {L"bootstrapped-quiet", false}, {L"bootstrapped", true}};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.arguments);
        const ProcessRunResult run =
            RunProcessChain(Quoted(uninstaller) + L" " + testCase.arguments, {tempPath, "query-msi"});
        EXPECT_EQ(std::vector<std::wstring>(), TakeLoadMarks(programFolder));
        EXPECT_EQ(testCase.showsDialog, run.dialogSeen) << run.output;
        if (!testCase.showsDialog) {
            EXPECT_EQ(0u, run.exitCode) << run.output;
        }
    }
    ForgetPendingDeletionsUnder(folder.Path());
}

}  // namespace
