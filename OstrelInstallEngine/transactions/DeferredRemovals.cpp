#include "transactions/DeferredRemovals.h"

#include <algorithm>

#include "base/PathShape.h"
#include "base/Platform.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

void DeferredRemovals::SetHeldFiles(const std::vector<std::wstring>& paths)
{
    m_held.clear();
    for (const std::wstring& path : paths) {
        FileIdentity identity;
        if (GetFileIdentity(path, &identity)) {
            m_held.push_back(identity);
        }
    }
}

bool DeferredRemovals::IsHeldOrWaiting(const std::wstring& path) const
{
    FileIdentity identity;
    return GetFileIdentity(path, &identity) &&
           (std::find(m_held.begin(), m_held.end(), identity) != m_held.end() ||
            std::find(m_waitingFolders.begin(), m_waitingFolders.end(), identity) !=
                m_waitingFolders.end());
}

bool DeferredRemovals::HoldsOnlyHeldOrWaiting(const std::wstring& folder) const
{
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &entry));
    for (BOOL more = find.IsValid(); more; more = FindNextFileW(find.Get(), &entry)) {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L".." && !IsHeldOrWaiting(JoinPath(folder, name))) {
            return false;
        }
    }
    return find.IsValid();
}

bool DeferredRemovals::DeferFile(const std::wstring& path)
{
    if (m_held.empty() || !IsExactFilePath(path) || !IsHeldOrWaiting(path)) {
        return false;
    }
    m_removals.push_back({path, false});
    return true;
}

bool DeferredRemovals::DeferFolder(const std::wstring& path)
{
    FileIdentity identity;
    if (m_held.empty() || !IsExactFilePath(path) || !HoldsOnlyHeldOrWaiting(path) ||
        !GetFileIdentity(path, &identity)) {
        return false;
    }
    m_waitingFolders.push_back(identity);
    m_removals.push_back({path, true});
    return true;
}

void DeferredRemovals::Perform()
{
    for (const Removal& removal : m_removals) {
        const wchar_t* path = removal.path.c_str();
        const bool removed = removal.isFolder ? RemoveDirectoryW(path) != FALSE
                                              : SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL) &&
                                                    DeleteFileW(path);
        if (!removed) {
            MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    m_removals.clear();
    m_waitingFolders.clear();
    m_held.clear();
}

}  // namespace OstrelInstallEngine
