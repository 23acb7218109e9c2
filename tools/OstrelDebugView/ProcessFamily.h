// The processes that one started process and its descendants make up, told
// apart by their parents' ids, which stay known after a parent has ended.
#pragma once

#include <windows.h>

#include <set>

class ProcessFamily {
public:
    explicit ProcessFamily(DWORD rootProcessId);

    // Adds the running processes whose parent is a member. Call it often: a
    // child that ends before its first message is then still known.
    void Refresh();
    // Refreshes first when the process is not known yet.
    bool Contains(DWORD processId);
    const std::set<DWORD>& Members() const { return m_members; }

private:
    std::set<DWORD> m_members;
};
