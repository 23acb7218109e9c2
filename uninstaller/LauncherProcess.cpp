#include "LauncherProcess.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <utility>

#include "Bootstrap.h"
#include "PatchApplier.h"
#include "RunCleanup.h"
#include "base/Exception.h"
#include "base/Platform.h"

using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::UniqueHandle;

namespace {

// The launcher ends right after it has read the outcome; should it not, the
// removals are tried all the same, and what it still holds goes at the next
// restart.
const DWORD kLauncherEndWaitMs = 30000;

DWORD ParentProcessId()
{
    // A snapshot is invalid as INVALID_HANDLE_VALUE, as a file is.
    const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = snapshot.IsValid() && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self) {
            return entry.th32ParentProcessID;
        }
    }
    return 0;
}

ULONGLONG CreationTime(HANDLE process)
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::wstring ImagePath(HANDLE process)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, &path[0], &length)) {
            path.resize(length);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768) {
            return std::wstring();
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\'));
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::string FileBytes(const std::wstring& path)
{
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char block[65536];
    DWORD read = 0;
    while (file.IsValid() && ReadFile(file.Get(), block, sizeof(block), &read, nullptr) && read > 0) {
        bytes.append(block, read);
    }
    return bytes;
}

// The bootstrap copies the executable as it is: a launcher runs the same bytes.
bool IsCopyOf(const std::wstring& launcher, const std::wstring& self)
{
    const std::wstring launcherName = launcher.substr(launcher.rfind(L'\\') + 1);
    const std::wstring ownName = self.substr(self.rfind(L'\\') + 1);
    if (!SameText(launcherName, ownName) || SameText(launcher, self)) {
        return false;
    }
    const std::string bytes = FileBytes(self);
    return !bytes.empty() && FileBytes(launcher) == bytes;
}

bool RunsFromTempPath(const std::wstring& self)
{
    std::wstring tempPath;
    DWORD error = ERROR_SUCCESS;
    return OstrelInstallEngine::TryGetTempPath(&tempPath, &error) &&
           IsInsideTempPath(FolderOf(self) + L"\\", tempPath);
}

}  // namespace

LauncherProcess::LauncherProcess(UniqueHandle process, std::wstring executable)
    : m_process(std::move(process))
{
    const std::wstring folder = FolderOf(executable);
    m_heldFiles.push_back(std::move(executable));
    for (const wchar_t* name : CrashReporterFileNames()) {
        m_heldFiles.push_back(folder + name);
    }
}

std::unique_ptr<LauncherProcess> LauncherProcess::Find()
{
    std::wstring self;
    try {
        self = OstrelInstallEngine::GetExecutableFilePath();
    } catch (const OstrelInstallEngine::Exception&) {
        return nullptr;
    }
    const DWORD parentId = ParentProcessId();
    if (!RunsFromTempPath(self) || parentId == 0) {
        return nullptr;
    }
    // The handle keeps the parent's id from going to another process; an
    // older creation time shows that it was not reused before the open.
    UniqueHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
    if (!parent.IsValid() || CreationTime(parent.Get()) > CreationTime(GetCurrentProcess())) {
        return nullptr;
    }
    const std::wstring launcher = ImagePath(parent.Get());
    if (launcher.empty() || !IsCopyOf(launcher, self)) {
        return nullptr;
    }
    return std::unique_ptr<LauncherProcess>(new LauncherProcess(std::move(parent), launcher));
}

void LauncherProcess::HandOff(std::unique_ptr<LauncherProcess> launcher, int exitCode)
{
    launcher->m_exitCode = exitCode;
    // The thread owns the launcher from here; this thread's stack is never
    // unwound.
    LauncherProcess* owned = launcher.release();
    const UniqueHandle finisher(CreateThread(nullptr, 0, &FinishAfterLauncher, owned, 0, nullptr));
    if (!finisher.IsValid()) {
        FinishAfterLauncher(owned);
    }
    ExitThread(static_cast<DWORD>(exitCode));
}

DWORD WINAPI LauncherProcess::FinishAfterLauncher(void* parameter)
{
    const LauncherProcess* launcher = static_cast<const LauncherProcess*>(parameter);
    WaitForSingleObject(launcher->m_process.Get(), kLauncherEndWaitMs);
    PatchApplier* applier = PatchApplier::Instance();
    if (applier != nullptr) {
        applier->PerformDeferredRemovals();
    }
    std::exit(launcher->m_exitCode);
}

int WaitForCopyOutcome(HANDLE copyMainThread)
{
    DWORD exitCode = 2;
    if (WaitForSingleObject(copyMainThread, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(copyMainThread, &exitCode)) {
        return 2;
    }
    return static_cast<int>(exitCode);
}
