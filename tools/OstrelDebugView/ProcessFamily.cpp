#include "ProcessFamily.h"

#include <tlhelp32.h>

#include <map>

#include "base/UniqueHandle.h"

namespace {

std::map<DWORD, DWORD> ParentsOfRunningProcesses()
{
    std::map<DWORD, DWORD> parents;
    OstrelInstallEngine::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (snapshot.IsValid() && Process32FirstW(snapshot.Get(), &entry)) {
        do {
            parents[entry.th32ProcessID] = entry.th32ParentProcessID;
        } while (Process32NextW(snapshot.Get(), &entry));
    }
    return parents;
}

}  // namespace

ProcessFamily::ProcessFamily(DWORD rootProcessId) : m_members{rootProcessId} {}

void ProcessFamily::Refresh()
{
    // Parents come before children in no particular order, so repeat until
    // a pass adds nobody.
    const std::map<DWORD, DWORD> parents = ParentsOfRunningProcesses();
    for (bool grown = true; grown;) {
        grown = false;
        for (const auto& [child, parent] : parents) {
            if (m_members.count(parent) != 0 && m_members.insert(child).second) {
                grown = true;
            }
        }
    }
}

bool ProcessFamily::Contains(DWORD processId)
{
    if (m_members.count(processId) == 0) {
        Refresh();
    }
    return m_members.count(processId) != 0;
}
