#include "transactions/RunTempFolder.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <memory>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/LocalMemory.h"
#include "base/Platform.h"
#include "base/TreeRemoval.h"
#include "base/Util.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

namespace {

// The event of a live run's engine folder; see the header.
const wchar_t kLiveRunEventPrefix[] = L"Global\\OstrelInstallEngineRun_";

// The 32 lower-case hexadecimal digits that the folders are named by.
bool IsGuidFolderName(const std::wstring& name)
{
    return name.size() == 32 &&
           name.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
}

// The process token's information of one class; empty when it cannot be read.
std::vector<BYTE> TokenInformation(TOKEN_INFORMATION_CLASS informationClass)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    const UniqueHandle owner(token);
    DWORD size = 0;
    GetTokenInformation(token, informationClass, nullptr, 0, &size);
    std::vector<BYTE> information(size);
    if (size == 0 || !GetTokenInformation(token, informationClass, information.data(), size, &size)) {
        return {};
    }
    return information;
}

// Full control for SYSTEM, Administrators and this account, nothing inherited
// from the temp path and nothing for anyone else.
std::wstring PrivateFolderAccessList()
{
    const std::vector<BYTE> user = TokenInformation(TokenUser);
    wchar_t* userSid = nullptr;
    if (user.empty() ||
        !ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &userSid)) {
        return std::wstring();
    }
    const LocalMemory sidOwner(userSid);
    return FormatWide(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;%s)", userSid);
}

// Owned by this account: by its user, or by the owner that the process gives
// the objects it makes (Administrators when elevated). Another account's plant
// in a shared temp folder (SYSTEM's is writable by every user) never passes.
bool IsOwnedByThisAccount(HANDLE folder)
{
    const std::vector<BYTE> user = TokenInformation(TokenUser);
    const std::vector<BYTE> defaultOwner = TokenInformation(TokenOwner);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || defaultOwner.empty() ||
        GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const LocalMemory descriptorOwner(descriptor);
    return EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid) ||
           EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(defaultOwner.data())->Owner);
}

// An entry of a folder whose final path is parentPath, opened without
// following a link, and only when it is that very entry.
UniqueFileHandle OpenExactEntry(const std::wstring& parentPath, const std::wstring& name,
                                DWORD access)
{
    UniqueFileHandle entry(CreateFileW(JoinPath(parentPath, name).c_str(), access,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (entry.IsValid() && !IsEntryOf(entry.Get(), parentPath, name)) {
        entry.Close();
    }
    return entry;
}

bool HasAttributes(DWORD attributes, DWORD required, DWORD forbidden)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & required) == required &&
           (attributes & forbidden) == 0;
}

// Only a missing event means an ended run; an open refused for any other
// reason means the event, and so the run, still exists.
bool HasRunEnded(const std::wstring& folderName)
{
    const UniqueHandle liveRun(
        OpenEventW(SYNCHRONIZE, FALSE, (kLiveRunEventPrefix + folderName).c_str()));
    return !liveRun.IsValid() && GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool IsFolderOfEndedRun(const std::wstring& tempPath, const std::wstring& name)
{
    const UniqueFileHandle folder =
        OpenExactEntry(tempPath, name, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (!folder.IsValid() ||
        !HasAttributes(GetAttributes(folder.Get()), FILE_ATTRIBUTE_DIRECTORY,
                       FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsOwnedByThisAccount(folder.Get())) {
        return false;
    }
    const UniqueFileHandle marker = OpenExactEntry(GetFinalPath(folder.Get()),
                                                   RunTempFolder::kRunMarkerName, FILE_READ_ATTRIBUTES);
    return marker.IsValid() &&
           HasAttributes(GetAttributes(marker.Get()), 0,
                         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) &&
           HasRunEnded(name);
}

// The temp path under the system's own name for it.
std::wstring FinalTempPath()
{
    std::wstring tempPath;
    DWORD error = ERROR_SUCCESS;
    if (!TryGetTempPath(&tempPath, &error)) {
        return std::wstring();
    }
    std::wstring finalPath;
    return GetFinalFolderPath(tempPath, &finalPath) ? finalPath : std::wstring();
}

}  // namespace

RunTempFolder::RunTempFolder() : m_path(CreateEngineFolder())
{
    MarkAsLive();
}

RunTempFolder::~RunTempFolder()
{
    Remove();
}

std::wstring RunTempFolder::CreateEngineFolder()
{
    std::wstring tempPath;
    DWORD error = ERROR_SUCCESS;
    if (!TryGetTempPath(&tempPath, &error)) {
        ThrowCheckFailureWithError(OSTREL_SOURCE_FILE, __LINE__,
                                   error == ERROR_FILENAME_EXCED_RANGE ? "pathLength < MAX_PATH"
                                                                       : "pathLength != 0",
                                   10051, error);
    }
    const std::wstring folder = tempPath + MakeGuidString();
    if (!CreatePrivateFolder(folder)) {
        ThrowWin32Failure(FailureSite::kTempFolderCreate, GetLastError(), folder);
    }
    return folder;
}

void RunTempFolder::MarkAsLive()
{
    const std::wstring folderName = PathFindFileNameW(m_path.c_str());
    m_liveRunEvent.Set(CreateEventW(nullptr, TRUE, FALSE, (kLiveRunEventPrefix + folderName).c_str()));
    if (!m_liveRunEvent.IsValid() || GetLastError() == ERROR_ALREADY_EXISTS) {
        return;
    }
    const UniqueFileHandle marker(CreateFileW((m_path + L"\\" + kRunMarkerName).c_str(), GENERIC_WRITE,
                                              0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void RunTempFolder::Remove()
{
    if (!m_removed) {
        m_removed = true;
        RemoveTree(m_path, Leftovers::kDeleteAtRestart);
    }
}

std::vector<std::wstring> RunTempFolder::FindFoldersOfEndedRuns()
{
    std::vector<std::wstring> folders;
    const std::wstring tempPath = FinalTempPath();
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle find(tempPath.empty() ? INVALID_HANDLE_VALUE
                                                 : FindFirstFileW(JoinPath(tempPath, L"*").c_str(), &entry));
    for (BOOL more = find.IsValid(); more; more = FindNextFileW(find.Get(), &entry)) {
        const std::wstring name = entry.cFileName;
        if (IsGuidFolderName(name) && HasAttributes(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY,
                                                    FILE_ATTRIBUTE_REPARSE_POINT) &&
            IsFolderOfEndedRun(tempPath, name)) {
            folders.push_back(JoinPath(tempPath, name));
        }
    }
    return folders;
}

void RunTempFolder::RemoveFoldersOfEndedRuns()
{
    // A killed run's folder holds only its temp files (the backups of files it
    // replaced lie beside those files, not in it): nothing of value goes.
    for (const std::wstring& folder : FindFoldersOfEndedRuns()) {
        RemoveTree(folder, Leftovers::kDeleteAtRestart);
    }
}

bool RunTempFolder::CreatePrivateFolder(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring accessList = PrivateFolderAccessList();
    if (accessList.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                  accessList.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const LocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

void RunTempFolder::ScheduleRemovalAtRestart(const std::wstring& folder,
                                             const std::vector<std::wstring>& fileNames)
{
    for (const std::wstring& name : fileNames) {
        const std::wstring path = folder + name;
        if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) ||
            !MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            return;
        }
    }
    MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace OstrelInstallEngine
