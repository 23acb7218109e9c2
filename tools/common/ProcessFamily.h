// The processes that one started process and its descendants make up, told
// apart by their parents' ids, which stay known after a parent has ended.
// Wine's own services (the desktop, rpcss, services and the device host) are
// started on demand by whichever process first needs them, so they would pass
// for its children; they are never members, and neither are their children.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "base/UniqueHandle.h"

class ProcessFamily {
public:
    explicit ProcessFamily(DWORD rootProcessId);

    // Adds the running processes whose parent is a member. Call it often: a
    // child that ends before its first message is then still known.
    void Refresh();
    // Refreshes first when the process is not known yet.
    bool Contains(DWORD processId);
    const std::set<DWORD>& Members() const { return m_members; }
    // Whether a member is still running, refreshing first where needed: a
    // member may have started a child just before it ended. False is the end
    // of the chain, which the services above may outlive while they hold its
    // handles.
    bool AnyMemberRunning();

    // The image names of those services (case-insensitive).
    static bool IsSystemService(const std::wstring& imageName);

private:
    void Join(DWORD processId);

    std::set<DWORD> m_members;
    // Wine soon gives an ended process's id to a new one, the services above
    // included; a member's handle keeps its id from being reused.
    std::map<DWORD, OstrelInstallEngine::UniqueHandle> m_processes;
};
