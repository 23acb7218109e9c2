// The one removal of a folder tree. It never follows a link out of the tree:
// every entry is opened without following a reparse point and is removed
// through that handle only when the system names it exactly as the walk
// reached it. A junction or symbolic link is removed as a link, never entered;
// a link that the system resolves anyway (Wine follows Unix links, and its
// delete and rename calls act on the target) is left alone and counts as a
// failure. Each folder being emptied is held open without delete sharing, so
// it cannot be swapped for a link while the walk is inside it.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelInstallEngine {

// ERROR_STOPPED_ON_SYMLINK of the SDK (mingw's headers lack it): the walk met
// an entry that the system opens as something else, a link it cannot remove
// as a link.
const DWORD kErrorStoppedOnSymlink = 681;

// The first call that failed during a removal; none when everything went.
struct RemovalFailure {
    const wchar_t* functionName = nullptr;
    DWORD error = ERROR_SUCCESS;
    bool Happened() const { return functionName != nullptr; }
};

enum class Leftovers {
    // What cannot be removed stays where it is.
    kKeep,
    // What cannot be removed now, links excepted, is deleted at the next
    // restart, contents before their folder.
    kDeleteAtRestart,
};

// Removes the folder with everything in it, or a single file, clearing
// read-only bits on the way. The walk goes on past a failure and reports the
// first one. A missing path fails with the system's error.
RemovalFailure RemoveTree(const std::wstring& path, Leftovers leftovers);

}  // namespace OstrelInstallEngine
