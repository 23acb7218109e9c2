// Deletes one value of a registry key; a missing key or value is no failure.
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class RemoveRegValueTask : public RollbackCommitTask {
public:
    RemoveRegValueTask(std::wstring keyPath, std::wstring valueName);

    void Perform() override;

private:
    std::wstring m_keyPath;
    std::wstring m_valueName;
};

}  // namespace OstrelInstallEngine
