// Removes a registry key with all its subkeys and values. A bare root name
// (no backslash) is never removed; an unknown root name throws (10078).
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class ClearAndRemoveRegKeyTask : public RollbackCommitTask {
public:
    explicit ClearAndRemoveRegKeyTask(std::wstring keyPath);

    void Perform() override;

private:
    std::wstring m_keyPath;
};

}  // namespace OstrelInstallEngine
