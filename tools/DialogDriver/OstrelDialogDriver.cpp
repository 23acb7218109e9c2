// Drives the uninstaller's dialogs from another process, one command per run,
// so that a shell script can take a picture between the steps. A dialog is
// named by the id of a control that only it holds (1005 the main dialog, 1006
// the problems list, 65535 the text of a message box); it is looked up among
// the visible top-level windows of the desktop given with --desktop (for
// example a Wine virtual desktop), or of this process's own desktop.
//   OstrelDialogDriver [--desktop name] wait <dialog> [bar position]
//   OstrelDialogDriver [--desktop name] gone <dialog>
//   OstrelDialogDriver [--desktop name] click <dialog> <control>
//   OstrelDialogDriver [--desktop name] rect <dialog> <output file>
// Exit code 0 when done, 1 when the dialog did not come (or go) within a
// minute, 2 for a bad command line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/UniqueHandle.h"

namespace {

const int kProgressBar = 1003;
const DWORD kPatienceMs = 60000;

struct Search {
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (IsWindowVisible(window) && GetDlgItem(window, search->controlId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(int controlId)
{
    Search search = {controlId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Condition>
bool WaitUntil(Condition condition)
{
    for (DWORD waited = 0; waited < kPatienceMs; waited += 20) {
        if (condition()) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

bool HasBarAt(HWND dialog, int position)
{
    return SendMessageW(GetDlgItem(dialog, kProgressBar), PBM_GETPOS, 0, 0) == position;
}

int Wait(int dialogControl, const char* barPosition)
{
    return WaitUntil([&]() {
               HWND dialog = FindDialog(dialogControl);
               return dialog != nullptr &&
                      (barPosition == nullptr || HasBarAt(dialog, std::atoi(barPosition)));
           })
               ? 0
               : 1;
}

int Gone(int dialogControl)
{
    return WaitUntil([&]() { return FindDialog(dialogControl) == nullptr; }) ? 0 : 1;
}

// Posted, so that a click that opens a modal box does not hold the driver.
int Click(int dialogControl, int control)
{
    HWND dialog = FindDialog(dialogControl);
    if (dialog == nullptr) {
        return 1;
    }
    PostMessageW(GetDlgItem(dialog, control), BM_CLICK, 0, 0);
    return 0;
}

// "<width>x<height>+<x>+<y>" of the dialog's frame, the geometry form of
// ImageMagick's -crop.
int Rect(int dialogControl, const char* outputFile)
{
    HWND dialog = FindDialog(dialogControl);
    if (dialog == nullptr) {
        return 1;
    }
    RECT bounds;
    GetWindowRect(dialog, &bounds);
    FILE* output = std::fopen(outputFile, "w");
    if (output == nullptr) {
        return 1;
    }
    std::fprintf(output, "%ldx%ld+%ld+%ld\n", bounds.right - bounds.left,
                 bounds.bottom - bounds.top, bounds.left, bounds.top);
    std::fclose(output);
    return 0;
}

int Usage()
{
    std::fputs("usage: OstrelDialogDriver [--desktop name] wait|gone|click|rect <dialog> [...]\n",
               stderr);
    return 2;
}

// Windows are listed per desktop, and a process finds its desktop at its start:
// the command runs again in a child started on the named desktop.
int RunOnDesktop(const std::string& desktop)
{
    // The desktop may still be on its way.
    HDESK existing = nullptr;
    WaitUntil([&]() {
        existing = OpenDesktopA(desktop.c_str(), 0, FALSE, DESKTOP_ENUMERATE);
        return existing != nullptr;
    });
    if (existing == nullptr) {
        return 1;
    }
    CloseDesktop(existing);
    std::string commandLine = GetCommandLineA();
    const size_t option = commandLine.find(" --desktop ");
    if (option == std::string::npos) {
        return Usage();
    }
    commandLine.erase(option, std::strlen(" --desktop ") + desktop.size());
    std::string desktopName = desktop;
    STARTUPINFOA startup = {sizeof(startup)};
    startup.lpDesktop = &desktopName[0];
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 2;
    }
    const OstrelInstallEngine::UniqueHandle child(process.hProcess);
    const OstrelInstallEngine::UniqueHandle thread(process.hThread);
    DWORD exitCode = 2;
    WaitForSingleObject(child.Get(), INFINITE);
    GetExitCodeProcess(child.Get(), &exitCode);
    return static_cast<int>(exitCode);
}


}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--desktop") {
        return RunOnDesktop(args[1]);
    }
    if (args.size() < 2) {
        return Usage();
    }
    const std::string& command = args[0];
    const int dialog = std::atoi(args[1].c_str());
    if (command == "wait") {
        return Wait(dialog, args.size() > 2 ? args[2].c_str() : nullptr);
    }
    if (command == "gone") {
        return Gone(dialog);
    }
    if (command == "click" && args.size() > 2) {
        return Click(dialog, std::atoi(args[2].c_str()));
    }
    if (command == "rect" && args.size() > 2) {
        return Rect(dialog, args[2].c_str());
    }
    return Usage();
}
