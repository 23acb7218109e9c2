// The uninstaller's entry and bootstrap, run as real processes: which argument
// strings bootstrap, the copies in a fresh temp folder, their deletion at
// restart, and the boxes of the failure paths.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UninstallerProcess.h"

namespace {

using namespace OstrelTest;

class BootstrapTest : public ::testing::Test {
protected:
    ~BootstrapTest() override { ForgetPendingDeletionsUnder(m_folder.Path()); }

    // A temp path of the test's own, with its trailing backslash.
    std::wstring MakeFolder(const std::wstring& name)
    {
        const std::wstring path = m_folder.File(name);
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }

    // The GUID folders that bootstraps made there.
    static std::vector<std::wstring> CopyFolders(const std::wstring& tempPath)
    {
        std::vector<std::wstring> folders;
        for (const std::wstring& name : SubFolders(tempPath)) {
            if (PathExists(tempPath + L"\\" + name + L"\\OstrelUninstaller.exe") ||
                PathExists(tempPath + L"\\" + name + L"\\ScenarioUninstaller.exe")) {
                folders.push_back(tempPath + L"\\" + name);
            }
        }
        return folders;
    }

    TempFolder m_folder;
};

// Only the exact tokens select a copy's mode; letter case, a trailing blank or
// anything else makes a user's start, which bootstraps (children are ended:
// the dialog-mode copy would wait for a person).
TEST_F(BootstrapTest, OnlyExactTokensAvoidTheBootstrap)
{
    const struct {
        std::wstring arguments;
        bool bootstraps;
    } cases[] = {
        {L"", true},           {L"Quiet", true},         {L"quiet ", true},
        {L"bootstrapped ", true}, {L"Bootstrapped", true}, {L"uninstall", true},
        {L"quiet", true},      {L"bootstrapped-quiet", false}, {L"bootstrapped", false},
    };
    const std::wstring uninstaller =
        PlaceUninstaller(MakeFolder(L"app"), ScenarioUninstallerExe());
    for (const auto& testCase : cases) {
        const std::wstring tempPath = MakeFolder(L"case" + std::to_wstring(&testCase - cases));
        const ProcessRunResult run =
            RunProcessChain(Quoted(uninstaller) + L" " + testCase.arguments, {tempPath + L"\\", "success", false});
        SCOPED_TRACE(testCase.arguments);
        EXPECT_EQ(testCase.bootstraps ? 1u : 0u, CopyFolders(tempPath).size());
        EXPECT_TRUE(run.boxes.empty());
        // 0 only once the copy has been started.
        if (testCase.bootstraps) {
            EXPECT_EQ(0u, run.exitCode);
        }
    }
}

// The bootstrap copies the executable and the four crash-reporter files into
// a GUID-named folder of this account's alone and marks the files, the copy,
// then the folder, for deletion at restart, so that the folder is empty when
// its turn comes. The engine's own folder is gone.
TEST_F(BootstrapTest, QuietChainLeavesOnlyItsRestartDeletions)
{
    const std::wstring tempPath = MakeFolder(L"with blanks in it");
    const ProcessRunResult run = RunProcessChain(
        Quoted(DebugViewExe()) + L" " + Quoted(ScenarioUninstallerExe()) + L" quiet", {tempPath + L"\\"});
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("\nSUCCESS\n")) << run.output;

    const std::vector<std::wstring> copies = CopyFolders(tempPath);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(SubFolders(tempPath).size(), 1u) << "the engine's temp folder is left";
    EXPECT_EQ((std::vector<std::wstring>{L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll",
                                         L"DBGHELP.dll", L"ScenarioUninstaller.exe"}),
              FileNames(copies[0]));
    const std::wstring& copy = copies[0];
    // Made for this account alone (Wine shows that as no entry for everyone).
    EXPECT_EQ(std::wstring::npos, AccessList(copy).find(L";;;WD)")) << AccessList(copy);
    EXPECT_NE(std::wstring::npos, AccessList(copy).find(L"(A;OICI;FA;;;SY)")) << AccessList(copy);
    EXPECT_EQ((std::vector<std::wstring>{copy + L"\\BsSndRpt.exe", copy + L"\\BugSplat.dll",
                                         copy + L"\\BugSplatRC.dll", copy + L"\\DBGHELP.dll",
                                         copy + L"\\ScenarioUninstaller.exe", copy}),
              PendingDeletionsUnder(tempPath));
}

// The failure paths show their box with the exact text (a line when quiet),
// end with 1 (2 when quiet) and start no copy.
TEST_F(BootstrapTest, FailuresShowTheirBoxesAndStartNothing)
{
    // Started from inside the temp path, named in another letter case.
    const std::wstring loopTempPath = MakeFolder(L"loop");
    const std::wstring looping = PlaceUninstaller(MakeFolder(L"loop\\Copy"), UninstallerExe());
    std::wstring upperCaseTemp = loopTempPath + L"\\";
    CharUpperW(&upperCaseTemp[0]);
    const std::wstring loopingCommand = Quoted(looping);
    ProcessRunResult run = RunProcessChain(loopingCommand, {upperCaseTemp});
    EXPECT_EQ(1u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(L"Uninstall Error", run.boxes[0].caption);
    EXPECT_EQ(L"Uninstall executing from temp folder, bailing to avoid loop: " + loopingCommand,
              run.boxes[0].text);

    // BugSplatRC.dll missing: the first two files are copied, then it stops.
    // A quiet start shows no box (nobody may be there to answer it): the box's
    // text is an ERROR line, and the exit code that of such a line.
    const std::wstring tempPath = MakeFolder(L"temp");
    const std::wstring incomplete = PlaceUninstaller(MakeFolder(L"incomplete"), UninstallerExe(),
                                                    {L"BsSndRpt.exe", L"BugSplat.dll", L"DBGHELP.dll"});
    run = RunProcessChain(Quoted(DebugViewExe()) + L" " + Quoted(incomplete) + L" quiet", {tempPath + L"\\"});
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("ERROR\tUninstall bootstrap, Copying Problem.\n", run.output);
    const std::vector<std::wstring> copies = CopyFolders(tempPath);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ((std::vector<std::wstring>{L"BsSndRpt.exe", L"BugSplat.dll", L"OstrelUninstaller.exe"}),
              FileNames(copies[0]));
    EXPECT_TRUE(PendingDeletionsUnder(tempPath).empty());
    // Without the crash reporter's own library the program still reaches its
    // entry, so the same line reports it, not a box of the system's loader.
    const std::wstring withoutReporter = PlaceUninstaller(MakeFolder(L"no-reporter"), UninstallerExe(),
                                                         {L"BsSndRpt.exe", L"BugSplatRC.dll", L"DBGHELP.dll"});
    const std::wstring secondTempPath = MakeFolder(L"temp2");
    run = RunProcessChain(Quoted(DebugViewExe()) + L" " + Quoted(withoutReporter) + L" quiet",
                          {secondTempPath + L"\\"});
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("ERROR\tUninstall bootstrap, Copying Problem.\n", run.output);
    const std::vector<std::wstring> secondCopies = CopyFolders(secondTempPath);
    ASSERT_EQ(1u, secondCopies.size());
    EXPECT_EQ((std::vector<std::wstring>{L"BsSndRpt.exe", L"OstrelUninstaller.exe"}),
              FileNames(secondCopies[0]));
    EXPECT_TRUE(PendingDeletionsUnder(secondTempPath).empty());

    // A temp path of MAX_PATH characters or more, which the system's buffer
    // cannot take.
    run = RunProcessChain(Quoted(UninstallerExe()), {m_folder.File(std::wstring(MAX_PATH, L'x')) + L"\\"});
    EXPECT_EQ(1u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(L"Could not get temp folder path.", run.boxes[0].text);
    EXPECT_FALSE(run.childSeen);

    // A temp path that does not exist: the folder cannot be created.
    const std::wstring missingTemp = m_folder.File(L"missing") + L"\\";
    run = RunProcessChain(Quoted(UninstallerExe()), {missingTemp});
    EXPECT_EQ(1u, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(0u, run.boxes[0].text.find(L"Could not create temp folder: " + missingTemp));
    EXPECT_EQ(L"Uninstall bootstrap, InitTempDir error.", run.boxes[1].text);
    EXPECT_FALSE(run.childSeen);
}

}  // namespace
