#include "common/ProcessFamily.h"

#include <tlhelp32.h>

namespace {

struct RunningProcess {
    DWORD parentId;
    bool isSystemService;
};

std::map<DWORD, RunningProcess> RunningProcesses()
{
    std::map<DWORD, RunningProcess> running;
    OstrelInstallEngine::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (snapshot.IsValid() && Process32FirstW(snapshot.Get(), &entry)) {
        do {
            running[entry.th32ProcessID] = {entry.th32ParentProcessID,
                                            ProcessFamily::IsSystemService(entry.szExeFile)};
        } while (Process32NextW(snapshot.Get(), &entry));
    }
    return running;
}

}  // namespace

ProcessFamily::ProcessFamily(DWORD rootProcessId)
{
    Join(rootProcessId);
}

void ProcessFamily::Join(DWORD processId)
{
    m_members.insert(processId);
    m_processes[processId].Set(OpenProcess(SYNCHRONIZE, FALSE, processId));
}

bool ProcessFamily::IsSystemService(const std::wstring& imageName)
{
    static const wchar_t* const kServices[] = {L"explorer.exe", L"rpcss.exe",     L"services.exe",
                                               L"plugplay.exe", L"winedevice.exe", L"svchost.exe"};
    for (const wchar_t* service : kServices) {
        if (lstrcmpiW(imageName.c_str(), service) == 0) {
            return true;
        }
    }
    return false;
}

void ProcessFamily::Refresh()
{
    // Parents come before children in no particular order, so repeat until
    // a pass adds nobody.
    const std::map<DWORD, RunningProcess> running = RunningProcesses();
    for (bool grown = true; grown;) {
        grown = false;
        for (const auto& [child, process] : running) {
            if (!process.isSystemService && m_members.count(process.parentId) != 0 &&
                m_members.count(child) == 0) {
                Join(child);
                grown = true;
            }
        }
    }
}

bool ProcessFamily::AnyMemberRunning()
{
    const auto anyRunning = [this]() {
        for (const auto& [processId, process] : m_processes) {
            if (process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
                return true;
            }
        }
        return false;
    };
    // Once every member has ended, a child of theirs exists already and the
    // refresh finds it.
    if (anyRunning()) {
        return true;
    }
    Refresh();
    return anyRunning();
}

bool ProcessFamily::Contains(DWORD processId)
{
    if (m_members.count(processId) == 0) {
        Refresh();
    }
    return m_members.count(processId) != 0;
}
