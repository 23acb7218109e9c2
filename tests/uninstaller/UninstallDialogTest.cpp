// Dialog mode as the user meets it: a real uninstaller with a test script runs
// "bootstrapped" under the display, and this process drives its windows
// through window messages and reads back what they show.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestConfig.h"
#include "TestSupport.h"
#include "UninstallerProcess.h"
#include "base/GenericException.h"
#include "base/Localizer.h"
#include "base/UniqueHandle.h"
#include "streams/FileStream.h"

using namespace OstrelInstallEngine;

namespace {

const int kUninstallButton = 1005;
const int kCancelButton = 1004;
const int kInstructionText = 1001;
const int kProgressBar = 1003;
const int kDeletePersonalCheck = 1009;
const int kProblemsList = 1006;
const int kProblemsHeading = 1008;
const int kMessageBoxText = 0xFFFF;

const DWORD kPatienceMs = 60000;

// Polls until the condition holds; false when patience runs out.
bool WaitUntil(const std::function<bool()>& condition)
{
    for (DWORD waited = 0; !condition(); waited += 20) {
        if (waited >= kPatienceMs) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = L"";
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ControlText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

std::wstring Text(int id)
{
    return Localizer::GetInstance()->GetString(id);
}

// The top-level windows of one process that hold a control with the given id.
std::vector<HWND> WindowsWithControl(DWORD processId, int controlId)
{
    std::vector<HWND> found;
    for (HWND window : OstrelTest::VisibleWindowsOf({processId})) {
        if (GetDlgItem(window, controlId) != nullptr) {
            found.push_back(window);
        }
    }
    return found;
}

// A copy of a test uninstaller started with "bootstrapped", as the bootstrap
// would start it, from a temporary folder (see PlaceUninstaller).
class DialogUninstaller {
public:
    DialogUninstaller(const char* builtExe, const std::wstring& gateFile)
    {
        OstrelTest::ScopedEnvironmentVariable gate(L"OSTREL_DIALOG_TEST_GATE", gateFile);
        std::wstring commandLine =
            OstrelTest::Quoted(OstrelTest::PlaceUninstaller(m_folder.Path(), OstrelTest::HostPath(builtExe))) +
            L" bootstrapped";
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        UniqueHandle thread(process.hThread);
        m_process.Set(process.hProcess);
        m_processId = process.dwProcessId;
    }
    ~DialogUninstaller()
    {
        if (WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 99);
            WaitForSingleObject(m_process.Get(), INFINITE);
        }
        OstrelTest::ForgetPendingDeletionsUnder(m_folder.Path());
    }

    // The one visible window of the process holding the control; null on timeout.
    HWND WaitForWindowWith(int controlId) const
    {
        HWND window = nullptr;
        WaitUntil([&]() {
            std::vector<HWND> found = WindowsWithControl(m_processId, controlId);
            window = found.size() == 1 ? found[0] : nullptr;
            return window != nullptr;
        });
        return window;
    }
    size_t CountWindowsWith(int controlId) const { return WindowsWithControl(m_processId, controlId).size(); }

    DWORD WaitForExitCode() const
    {
        DWORD code = 99;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_process.Get(), kPatienceMs));
        GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

private:
    OstrelTest::TempFolder m_folder;
    UniqueHandle m_process;
    DWORD m_processId = 0;
};

void Click(HWND dialog, int controlId)
{
    SendMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

int BarPosition(HWND dialog)
{
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, kProgressBar), PBM_GETPOS, 0, 0));
}

bool IsShown(HWND dialog, int controlId)
{
    return IsWindowVisible(GetDlgItem(dialog, controlId)) != FALSE;
}

bool IsEnabled(HWND dialog, int controlId)
{
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

std::vector<std::wstring> ListLines(HWND dialog, int controlId)
{
    HWND list = GetDlgItem(dialog, controlId);
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t line[1024] = L"";
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        lines.push_back(line);
    }
    return lines;
}

std::wstring SavedGamesFolder()
{
    wchar_t personal[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, personal, CSIDL_PERSONAL, TRUE);
    return std::wstring(personal) + L"\\OstrelTests\\DialogSavedGames";
}

class UninstallDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const char* name : {"OstrelInstallEngine.ucs", "OstrelUninstaller.ucs", "Uninstaller.ucs"}) {
            auto stream = std::make_unique<FileStream>();
            stream->Open(OstrelTest::SourcePath(std::string("uninstall_package/") + name));
            Localizer::GetInstance()->Load(std::move(stream));
        }
    }

    // The ready state as the forced first refresh shows it: every text from
    // the string table, the question unticked, no bar yet.
    static void ExpectReady(HWND dialog)
    {
        const struct {
            int controlId;
            int textId;
        } texts[] = {
            {kUninstallButton, 1000002000},
            {kCancelButton, 1000002001},
            {kInstructionText, 1000002002},
            {kDeletePersonalCheck, 1000002013},
        };
        EXPECT_EQ(Text(1000002011), WindowText(dialog));
        for (const auto& text : texts) {
            EXPECT_EQ(Text(text.textId), ControlText(dialog, text.controlId)) << text.controlId;
            EXPECT_TRUE(IsEnabled(dialog, text.controlId)) << text.controlId;
        }
        EXPECT_EQ(BST_UNCHECKED, SendMessageW(GetDlgItem(dialog, kDeletePersonalCheck),
                                              BM_GETCHECK, 0, 0));
        EXPECT_TRUE(IsShown(dialog, kDeletePersonalCheck));
        EXPECT_FALSE(IsShown(dialog, kProgressBar));
    }
};

// A whole run: the answer to the question decides the saved games' fate, the
// bar follows the script (0.49995 -> 5000, the end -> 10000), the close
// command and Esc wait for the end, and the recorded problems are listed in
// order.
TEST_F(UninstallDialogTest, RunFollowsTheScriptAndTheAnswer)
{
    const struct {
        bool tick;
        bool savedGamesRemain;
    } cases[] = {{true, false}, {false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tick ? "ticked" : "unticked");
        OstrelTest::TempFolder gateFolder;
        const std::wstring gate = gateFolder.File(L"go");
        SHCreateDirectoryExW(nullptr, SavedGamesFolder().c_str(), nullptr);
        OstrelTest::WriteFileBytes(SavedGamesFolder() + L"\\slot1.sav", "saved");

        DialogUninstaller uninstaller(OSTREL_TEST_DIALOG_UNINSTALLER_EXE, gate);
        HWND dialog = uninstaller.WaitForWindowWith(kUninstallButton);
        ASSERT_NE(nullptr, dialog);
        ExpectReady(dialog);
        if (c.tick) {
            Click(dialog, kDeletePersonalCheck);
            EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(dialog, kDeletePersonalCheck),
                                                BM_GETCHECK, 0, 0));
        }
        Click(dialog, kUninstallButton);

        ASSERT_TRUE(WaitUntil([&]() { return BarPosition(dialog) == 5000; }));
        EXPECT_TRUE(IsShown(dialog, kProgressBar));
        EXPECT_FALSE(IsShown(dialog, kDeletePersonalCheck));
        EXPECT_FALSE(IsEnabled(dialog, kUninstallButton));
        EXPECT_FALSE(IsEnabled(dialog, kCancelButton));
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(200);
        EXPECT_TRUE(IsWindow(dialog));

        OstrelTest::WriteFileBytes(gate, "");
        HWND problems = uninstaller.WaitForWindowWith(kProblemsList);
        ASSERT_NE(nullptr, problems);
        EXPECT_EQ(Text(1000002011), WindowText(problems));
        EXPECT_EQ(Text(1000002009), ControlText(problems, kProblemsHeading));
        EXPECT_EQ(Text(1000002012), ControlText(problems, IDOK));
        EXPECT_EQ((std::vector<std::wstring>{
                      L"Unable to delete file \"C:\\Games\\Vekt\\Vekt.dat\" (10301)",
                      L"Unable to remove folder \"C:\\Games\\Vekt\\data\" (10302)"}),
                  ListLines(problems, kProblemsList));
        EXPECT_EQ(Text(1000002003), ControlText(dialog, kInstructionText));
        EXPECT_EQ(Text(1000002004), ControlText(dialog, kUninstallButton));
        EXPECT_EQ(10000, BarPosition(dialog));

        Click(problems, IDOK);
        ASSERT_TRUE(WaitUntil([&]() { return !IsWindow(problems); }));
        EXPECT_TRUE(IsWindow(dialog));
        Click(dialog, kUninstallButton);
        EXPECT_EQ(0u, uninstaller.WaitForExitCode());
        EXPECT_EQ(c.savedGamesRemain, OstrelTest::PathExists(SavedGamesFolder()));
        OstrelTest::RemoveTreeForTest(SavedGamesFolder());
    }
}

// A preparation that fails (the game is running) goes from ready straight to
// one error box with the error's display text, owned by the dialog; after it
// the process ends 0.
TEST_F(UninstallDialogTest, PreparationFailureShowsOneErrorBox)
{
    DialogUninstaller uninstaller(OSTREL_TEST_PREPARE_FAILS_UNINSTALLER_EXE, L"");
    HWND dialog = uninstaller.WaitForWindowWith(kUninstallButton);
    ASSERT_NE(nullptr, dialog);
    ExpectReady(dialog);
    PostMessageW(GetDlgItem(dialog, kUninstallButton), BM_CLICK, 0, 0);

    HWND box = uninstaller.WaitForWindowWith(kMessageBoxText);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(1u, uninstaller.CountWindowsWith(kMessageBoxText));
    EXPECT_EQ(dialog, GetWindow(box, GW_OWNER)) << "the box could fall behind the dialog";
    const std::wstring running = Text(1000001001);
    EXPECT_EQ(GenericException(running, running, L"", 10232).GetDisplayMessage(),
              ControlText(box, kMessageBoxText));
    EXPECT_EQ(Text(1000002004), ControlText(dialog, kUninstallButton));
    EXPECT_FALSE(IsEnabled(dialog, kCancelButton));
    EXPECT_FALSE(IsShown(dialog, kDeletePersonalCheck));

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, uninstaller.WaitForExitCode());
}

// Esc acts as Cancel where Cancel can be pressed: before the start it closes
// the dialog, and nothing is removed, not even the saved games it was asked
// to remove.
TEST_F(UninstallDialogTest, EscapeCancelsBeforeTheStart)
{
    SHCreateDirectoryExW(nullptr, SavedGamesFolder().c_str(), nullptr);
    OstrelTest::WriteFileBytes(SavedGamesFolder() + L"\\slot1.sav", "saved");
    DialogUninstaller uninstaller(OSTREL_TEST_DIALOG_UNINSTALLER_EXE, L"");
    HWND dialog = uninstaller.WaitForWindowWith(kUninstallButton);
    ASSERT_NE(nullptr, dialog);
    Click(dialog, kDeletePersonalCheck);
    EXPECT_EQ(BST_CHECKED,
              SendMessageW(GetDlgItem(dialog, kDeletePersonalCheck), BM_GETCHECK, 0, 0));
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(0u, uninstaller.WaitForExitCode());
    EXPECT_TRUE(OstrelTest::PathExists(SavedGamesFolder() + L"\\slot1.sav"));
    OstrelTest::RemoveTreeForTest(SavedGamesFolder());
}

// An engine that cannot start (a broken package; another install holding
// the lock) shows its error in a box before any dialog, and the process ends
// with 1.
TEST_F(UninstallDialogTest, EngineThatCannotStartShowsItsError)
{
    const struct {
        const char* uninstaller;
        bool lockHeld;
        std::wstring message;
    } cases[] = {
        {OSTREL_TEST_BROKEN_SCRIPT_UNINSTALLER_EXE, false, Text(1000010002) + L" (Error code 10188)"},
        {OSTREL_TEST_DIALOG_UNINSTALLER_EXE, true, Text(1000010065) + L" (Error code 10367)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uninstaller);
        std::unique_ptr<OstrelTest::InstallLockHolder> holder(c.lockHeld ? new OstrelTest::InstallLockHolder
                                                                          : nullptr);
        DialogUninstaller uninstaller(c.uninstaller, L"");
        HWND box = uninstaller.WaitForWindowWith(kMessageBoxText);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(c.message, ControlText(box, kMessageBoxText));
        EXPECT_EQ(0u, uninstaller.CountWindowsWith(kUninstallButton));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(1u, uninstaller.WaitForExitCode());
    }
}

}  // namespace
