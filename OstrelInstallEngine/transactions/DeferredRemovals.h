// Removals that must wait until another process has ended. The process that
// starts a quiet uninstall waits for its outcome, and until then it holds its
// executable and the crash reporter's library in the game folder. Its files
// are named before the run: a tolerant removal that fails on one of them, or
// on a folder that holds nothing else, waits here instead of becoming a
// problem of the run, and is carried out once that process has ended.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/Platform.h"

namespace OstrelInstallEngine {

class DeferredRemovals {
public:
    // Files that another process holds until it ends; a missing one is left
    // out.
    void SetHeldFiles(const std::vector<std::wstring>& paths);

    // After a removal of the path failed: true, and the removal waits, when
    // the file is held, or when the folder holds only held files and folders
    // that wait already. A path that a removal refuses never waits.
    bool DeferFile(const std::wstring& path);
    bool DeferFolder(const std::wstring& path);

    // The removals that wait, in the order they were asked for; whatever
    // still fails is deleted at the next restart. Silent.
    void Perform();

private:
    struct Removal {
        std::wstring path;
        bool isFolder;
    };

    bool IsHeldOrWaiting(const std::wstring& path) const;
    bool HoldsOnlyHeldOrWaiting(const std::wstring& folder) const;

    std::vector<FileIdentity> m_held;
    // The folders that wait, by identity, so that their parent can wait too.
    std::vector<FileIdentity> m_waitingFolders;
    std::vector<Removal> m_removals;
};

}  // namespace OstrelInstallEngine
