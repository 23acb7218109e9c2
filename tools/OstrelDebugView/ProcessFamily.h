// The processes that one started process and its descendants make up, told
// apart by their parents' ids, which stay known after a parent has ended.
// Wine's own services (the desktop, rpcss, services and the device host) are
// started on demand by whichever process first needs them, so they would pass
// for its children; they are never members, and neither are their children.
#pragma once

#include <windows.h>

#include <set>
#include <string>

class ProcessFamily {
public:
    explicit ProcessFamily(DWORD rootProcessId);

    // Adds the running processes whose parent is a member. Call it often: a
    // child that ends before its first message is then still known.
    void Refresh();
    // Refreshes first when the process is not known yet.
    bool Contains(DWORD processId);
    const std::set<DWORD>& Members() const { return m_members; }
    // Whether a member was running at the last refresh: the end of the chain,
    // which the services above may outlive while they hold its handles.
    bool AnyMemberRunning() const { return m_anyMemberRunning; }

    // The image names of those services (case-insensitive).
    static bool IsSystemService(const std::wstring& imageName);

private:
    std::set<DWORD> m_members;
    bool m_anyMemberRunning = true;
};
