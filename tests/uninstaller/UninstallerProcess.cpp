#include "UninstallerProcess.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "ProcessFamily.h"
#include "TestConfig.h"
#include "TestSupport.h"

namespace OstrelTest {

namespace {

const DWORD kPollMs = 50;
const DWORD kChainDeadlineMs = 90000;
const int kMessageBoxTextId = 0xFFFF;
const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring EnvironmentBlock(const ProcessRunOptions& options)
{
    std::vector<std::wstring> replaced = {L"OSTREL_TEST_SCENARIO="};
    std::wstring additions = L"OSTREL_TEST_SCENARIO=" + std::wstring(options.scenario.begin(), options.scenario.end());
    additions += L'\0';
    if (!options.tempPath.empty()) {
        replaced.push_back(L"TMP=");
        replaced.push_back(L"TEMP=");
        additions += L"TMP=" + options.tempPath + L'\0' + L"TEMP=" + options.tempPath + L'\0';
    }
    std::wstring block;
    wchar_t* environment = GetEnvironmentStringsW();
    for (const wchar_t* entry = environment; *entry != L'\0'; entry += wcslen(entry) + 1) {
        bool keep = true;
        for (const std::wstring& name : replaced) {
            keep = keep && !StartsWithNoCase(entry, name);
        }
        if (keep) {
            block += entry;
            block += L'\0';
        }
    }
    FreeEnvironmentStringsW(environment);
    return block + additions + L'\0';
}

struct WindowSearch {
    ProcessFamily* family;
    std::set<HWND>* handled;
    ProcessRunResult* result;
};

BOOL CALLBACK InspectWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!IsWindowVisible(window) || search->handled->count(window) != 0 ||
        search->family->Members().count(processId) == 0) {
        return TRUE;
    }
    search->handled->insert(window);
    HWND textControl = GetDlgItem(window, kMessageBoxTextId);
    if (textControl == nullptr) {
        search->result->dialogSeen = true;
        return TRUE;
    }
    wchar_t caption[512] = L"";
    wchar_t text[2048] = L"";
    GetWindowTextW(window, caption, 512);
    GetWindowTextW(textControl, text, 2048);
    search->result->boxes.push_back({caption, text});
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void EndOthers(ProcessFamily& family, DWORD rootId)
{
    family.Refresh();
    for (DWORD member : family.Members()) {
        HANDLE process = member != rootId ? OpenProcess(PROCESS_TERMINATE, FALSE, member) : nullptr;
        if (process != nullptr) {
            TerminateProcess(process, 99);
            CloseHandle(process);
        }
    }
}

bool DrainOutput(HANDLE pipe, std::string* output)
{
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    if (available > 0 && ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr)) {
        output->append(buffer, read);
    }
    return true;
}

std::vector<std::wstring> ReadPendingOperations()
{
    std::vector<std::wstring> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return entries;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size);
        // Pairs of a source and a target (empty: delete), then one empty
        // string that closes the list.
        const size_t count = size / sizeof(wchar_t);
        for (size_t position = 0; position < count;) {
            const size_t sourceEnd = data.find(L'\0', position);
            if (sourceEnd == position) {
                break;
            }
            const size_t targetEnd = data.find(L'\0', sourceEnd + 1);
            entries.push_back(data.substr(position, sourceEnd - position));
            entries.push_back(data.substr(sourceEnd + 1, targetEnd - sourceEnd - 1));
            position = targetEnd + 1;
        }
    }
    RegCloseKey(key);
    return entries;
}

}  // namespace

ProcessRunResult RunProcessChain(const std::wstring& commandLine, const ProcessRunOptions& options)
{
    ProcessRunResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    CreatePipe(&outputRead, &outputWrite, &inheritable, 0);
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    std::wstring environment = EnvironmentBlock(options);
    std::wstring mutableCommandLine = commandLine;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &mutableCommandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, &environment[0], nullptr,
                                        &startup, &process);
    CloseHandle(outputWrite);
    if (!started) {
        CloseHandle(outputRead);
        return result;
    }
    ProcessFamily family(process.dwProcessId);
    std::set<HWND> handled;
    WindowSearch search = {&family, &handled, &result};
    bool outputOpen = true;
    for (DWORD waited = 0; waited < kChainDeadlineMs; waited += kPollMs) {
        family.Refresh();
        result.childSeen = result.childSeen || family.Members().size() > 1;
        EnumWindows(InspectWindow, reinterpret_cast<LPARAM>(&search));
        const bool rootEnded = WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0;
        if (result.dialogSeen || (rootEnded && !options.waitForChildren)) {
            EndOthers(family, 0);
        }
        outputOpen = DrainOutput(outputRead, &result.output);
        if (rootEnded && !outputOpen) {
            break;
        }
    }
    EndOthers(family, 0);
    while (DrainOutput(outputRead, &result.output)) {
        Sleep(kPollMs);
    }
    // Text-mode writers end their lines with CR LF.
    result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'),
                        result.output.end());
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(outputRead);
    return result;
}

std::wstring UninstallerExe()
{
    return HostPath(OSTREL_TEST_UNINSTALLER_EXE);
}

std::wstring ScenarioUninstallerExe()
{
    return HostPath(OSTREL_TEST_SCENARIO_UNINSTALLER_EXE);
}

std::wstring DebugViewExe()
{
    return HostPath(OSTREL_TEST_DEBUG_VIEW_EXE);
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\'));
}

namespace {

std::vector<std::wstring> Entries(const std::wstring& folder, bool folders)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = entry.cFileName;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name != L"." && name != L".." && isFolder == folders) {
            names.push_back(name);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

}  // namespace

std::vector<std::wstring> SubFolders(const std::wstring& folder)
{
    return Entries(folder, true);
}

std::vector<std::wstring> FileNames(const std::wstring& folder)
{
    return Entries(folder, false);
}

std::vector<std::wstring> PendingDeletionsUnder(const std::wstring& folder)
{
    const std::vector<std::wstring> entries = ReadPendingOperations();
    std::vector<std::wstring> paths;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        const std::wstring path = entries[i].substr(entries[i].compare(0, 4, L"\\??\\") == 0 ? 4 : 0);
        if (entries[i + 1].empty() && StartsWithNoCase(path, folder)) {
            paths.push_back(path);
        }
    }
    return paths;
}

void ForgetPendingDeletionsUnder(const std::wstring& folder)
{
    const std::vector<std::wstring> entries = ReadPendingOperations();
    std::wstring kept;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        const std::wstring path = entries[i].substr(entries[i].compare(0, 4, L"\\??\\") == 0 ? 4 : 0);
        if (!StartsWithNoCase(path, folder)) {
            kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
        }
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    if (kept.empty()) {
        RegDeleteValueW(key, kPendingValue);
    } else {
        kept += L'\0';
        RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

}  // namespace OstrelTest
