#include "LauncherProcess.h"

#include <winternl.h>

#include <cstdlib>
#include <cstring>
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

using QueryInformationProcessFunction =
    NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

// Asked of the process itself rather than looked up in a process snapshot,
// which cost 11 ms of every quiet start under Wine.
DWORD ParentProcessId()
{
    const auto queryInformation =
        reinterpret_cast<QueryInformationProcessFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION information = {};
    if (queryInformation == nullptr ||
        queryInformation(GetCurrentProcess(), ProcessBasicInformation, &information,
                         sizeof(information), nullptr) < 0) {
        return 0;
    }
    return static_cast<DWORD>(information.InheritedFromUniqueProcessId);
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

// A whole file, read-only; no view for an empty file or one that cannot be
// mapped. Mapped rather than read, because reading two copies of the 1 MB
// executable into memory cost 10 ms of every quiet start under Wine, a
// mapping 2 ms.
struct FileView {
    OstrelInstallEngine::UniqueMappedView view;
    size_t size = 0;
};

FileView MapWholeFile(const std::wstring& path)
{
    FileView file;
    const UniqueFileHandle handle(CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!handle.IsValid() || !GetFileSizeEx(handle.Get(), &size) || size.QuadPart == 0) {
        return file;
    }
    const UniqueHandle mapping(
        CreateFileMappingW(handle.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping.IsValid()) {
        file.view.Set(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        file.size = file.view.IsValid() ? static_cast<size_t>(size.QuadPart) : 0;
    }
    return file;
}

// The bootstrap copies the executable as it is: a launcher runs the same bytes.
bool IsCopyOf(const std::wstring& launcher, const std::wstring& self)
{
    const std::wstring launcherName = launcher.substr(launcher.rfind(L'\\') + 1);
    const std::wstring ownName = self.substr(self.rfind(L'\\') + 1);
    if (!SameText(launcherName, ownName) || SameText(launcher, self)) {
        return false;
    }
    const FileView own = MapWholeFile(self);
    const FileView other = MapWholeFile(launcher);
    return own.size != 0 && own.size == other.size &&
           std::memcmp(own.view.Get(), other.view.Get(), own.size) == 0;
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
