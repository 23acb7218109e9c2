// Writes a registry value back with its old type and data, of which the task
// keeps its own copy; the key must still exist.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class SetRegValueTask : public RollbackCommitTask {
public:
    // Copies size bytes of data; fails (10061) when no memory is left for them.
    SetRegValueTask(std::wstring keyPath, std::wstring valueName, DWORD type, const BYTE* data,
                    DWORD size);

    void Perform() override;

private:
    std::wstring m_keyPath;
    std::wstring m_valueName;
    DWORD m_type;
    std::unique_ptr<BYTE[]> m_buf;
    DWORD m_size;
};

}  // namespace OstrelInstallEngine
