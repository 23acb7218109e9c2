#include "UninstallerProcess.h"

#include <gtest/gtest.h>

#include <unzip.h>

#include <algorithm>
#include <memory>
#include <set>

#include "TestConfig.h"
#include "TestSupport.h"
#include "base/RegistryKey.h"
#include "base/UniqueHandle.h"
#include "common/ProcessFamily.h"

using OstrelInstallEngine::RegistryKey;
using OstrelInstallEngine::UniqueFindHandle;
using OstrelInstallEngine::UniqueHandle;
using OstrelInstallEngine::UniqueModule;

namespace OstrelTest {

namespace {

const DWORD kPollMs = 50;
const DWORD kChainDeadlineMs = 90000;
const int kMessageBoxTextId = 0xFFFF;

// Reads and answers each message box seen for the first time; any other
// window is a dialog.
void InspectWindows(const std::set<DWORD>& processIds, std::set<HWND>* handled, ProcessRunResult* result)
{
    for (HWND window : VisibleWindowsOf(processIds)) {
        if (!handled->insert(window).second) {
            continue;
        }
        HWND textControl = GetDlgItem(window, kMessageBoxTextId);
        if (textControl == nullptr) {
            result->dialogSeen = true;
            continue;
        }
        wchar_t caption[512] = L"";
        wchar_t text[2048] = L"";
        GetWindowTextW(window, caption, 512);
        GetWindowTextW(textControl, text, 2048);
        result->boxes.push_back({caption, text});
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
}

void EndAll(ProcessFamily& family)
{
    family.Refresh();
    for (DWORD member : family.Members()) {
        const UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, member));
        if (process.IsValid()) {
            TerminateProcess(process.Get(), 99);
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

std::vector<std::wstring> Entries(const std::wstring& folder, bool folders)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    for (bool more = find.IsValid(); more; more = FindNextFileW(find.Get(), &entry) != FALSE) {
        const std::wstring name = entry.cFileName;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name != L"." && name != L".." && isFolder == folders) {
            names.push_back(name);
        }
    }
    return names;
}

bool InstallLockIsHeldElsewhere()
{
    const UniqueHandle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\OstrelInstallEngineMutex"));
    const DWORD result = mutex.IsValid() ? WaitForSingleObject(mutex.Get(), 0) : WAIT_FAILED;
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        ReleaseMutex(mutex.Get());
    }
    return result == WAIT_TIMEOUT;
}

}  // namespace

InstallLockHolder::InstallLockHolder()
{
    STARTUPINFOW startup = {sizeof(startup)};
    std::wstring command = Quoted(ScenarioUninstallerExe()) + L" bootstrapped-quiet";
    const ScopedEnvironmentVariable scenario(L"OSTREL_TEST_SCENARIO", L"hold-lock");
    const ScopedEnvironmentVariable gate(L"OSTREL_TEST_LOCK_GATE", m_gateFolder.File(L"open"));
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started)) {
        const UniqueHandle thread(started.hThread);
        m_process.Set(started.hProcess);
        while (!InstallLockIsHeldElsewhere() && WaitForSingleObject(m_process.Get(), 50) == WAIT_TIMEOUT) {
        }
    }
}

InstallLockHolder::~InstallLockHolder()
{
    Release();
}

DWORD InstallLockHolder::Release()
{
    DWORD exitCode = STILL_ACTIVE;
    if (m_process.IsValid()) {
        WriteFileBytes(m_gateFolder.File(L"open"), "");
        WaitForSingleObject(m_process.Get(), INFINITE);
        GetExitCodeProcess(m_process.Get(), &exitCode);
        m_process.Close();
    }
    return exitCode;
}

ProcessRunResult RunProcessChain(const std::wstring& commandLine, const ProcessRunOptions& options)
{
    // The chain inherits this process's environment.
    std::vector<std::unique_ptr<ScopedEnvironmentVariable>> environment;
    environment.push_back(std::make_unique<ScopedEnvironmentVariable>(
        L"OSTREL_TEST_SCENARIO", std::wstring(options.scenario.begin(), options.scenario.end())));
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
        if (!options.tempPath.empty()) {
            environment.push_back(std::make_unique<ScopedEnvironmentVariable>(name, options.tempPath));
        }
    }
    ProcessRunResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
    const UniqueHandle outputRead(readEnd);
    UniqueHandle outputWrite(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    std::wstring mutableCommandLine = commandLine;
    PROCESS_INFORMATION started = {};
    const bool isStarted = CreateProcessW(nullptr, &mutableCommandLine[0], nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &started) != FALSE;
    outputWrite.Close();
    if (!isStarted) {
        return result;
    }
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    ProcessFamily family(started.dwProcessId);
    std::set<HWND> handled;
    for (DWORD waited = 0; waited < kChainDeadlineMs; waited += kPollMs) {
        family.Refresh();
        result.childSeen = result.childSeen || family.Members().size() > 1;
        InspectWindows(family.Members(), &handled, &result);
        const bool rootEnded = WaitForSingleObject(process.Get(), kPollMs) == WAIT_OBJECT_0;
        if (result.dialogSeen || (rootEnded && !options.waitForChildren)) {
            EndAll(family);
        }
        if (!DrainOutput(readEnd, &result.output) && rootEnded) {
            break;
        }
    }
    EndAll(family);
    while (DrainOutput(readEnd, &result.output)) {
        Sleep(kPollMs);
    }
    // Text-mode writers end their lines with CR LF.
    result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'), result.output.end());
    GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

std::vector<HWND> VisibleWindowsOf(const std::set<DWORD>& processIds)
{
    struct Search {
        const std::set<DWORD>& processIds;
        std::vector<HWND> found;
    } search = {processIds, {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* search = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (search->processIds.count(owner) != 0 && IsWindowVisible(window)) {
                search->found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const std::vector<std::wstring>& CrashReporterFiles()
{
    static const std::vector<std::wstring> files = {L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll",
                                                    L"DBGHELP.dll"};
    return files;
}

std::wstring PlaceUninstaller(const std::wstring& folder, const std::wstring& executable,
                              const std::vector<std::wstring>& files)
{
    const std::wstring source = FolderOf(executable);
    for (const std::wstring& name : files) {
        CopyFileW((source + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE);
    }
    const std::wstring copy = folder + executable.substr(source.size());
    CopyFileW(executable.c_str(), copy.c_str(), FALSE);
    return copy;
}

std::vector<std::wstring> SubFolders(const std::wstring& folder)
{
    return Entries(folder, true);
}

std::vector<std::wstring> FileNames(const std::wstring& folder)
{
    std::vector<std::wstring> names = Entries(folder, false);
    std::sort(names.begin(), names.end());
    return names;
}


namespace {

struct ResourceWalk {
    HMODULE module;
    std::map<std::wstring, std::string> found;

    static std::wstring Id(LPCWSTR id)
    {
        return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : id;
    }
    static BOOL CALLBACK Language(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR walk)
    {
        HRSRC info = FindResourceExW(module, type, name, language);
        reinterpret_cast<ResourceWalk*>(walk)->found[Id(type) + L"/" + Id(name) + L"/" + std::to_wstring(language)] =
            std::string(static_cast<const char*>(LockResource(LoadResource(module, info))),
                        SizeofResource(module, info));
        return TRUE;
    }
    static BOOL CALLBACK Name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR walk)
    {
        return EnumResourceLanguagesW(module, type, name, &Language, walk) || TRUE;
    }
    static BOOL CALLBACK Type(HMODULE module, LPWSTR type, LONG_PTR walk)
    {
        return EnumResourceNamesW(module, type, &Name, walk) || TRUE;
    }
};

}  // namespace

std::map<std::wstring, std::string> ProgramResources(const std::wstring& path)
{
    const UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ResourceWalk walk{module.Get(), {}};
    EnumResourceTypesW(module.Get(), &ResourceWalk::Type, reinterpret_cast<LONG_PTR>(&walk));
    return walk.found;
}

std::map<std::string, std::string> ZipEntries(const std::string& archive, std::vector<int>* methods)
{
    TempFolder folder;
    const std::wstring path = folder.File(L"a.zip");
    WriteFileBytes(path, archive);
    std::map<std::string, std::string> entries;
    unzFile zip = unzOpen(std::string(path.begin(), path.end()).c_str());
    for (int r = unzGoToFirstFile(zip); zip != nullptr && r == UNZ_OK; r = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info info;
        unzGetCurrentFileInfo(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
        std::string content(info.uncompressed_size, '\0');
        unzOpenCurrentFile(zip);
        const int read =
            content.empty() ? 0 : unzReadCurrentFile(zip, &content[0], static_cast<unsigned>(content.size()));
        EXPECT_EQ(static_cast<int>(content.size()), read) << name;
        EXPECT_EQ(UNZ_OK, unzCloseCurrentFile(zip)) << "CRC of " << name;
        if (methods != nullptr) {
            methods->push_back(static_cast<int>(info.compression_method));
        }
        entries[name] = content;
    }
    unzClose(zip);
    return entries;
}

}  // namespace OstrelTest
