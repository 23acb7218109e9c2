// Recreates a registry key from a backup copy: the destination key is
// created (or opened) and the source tree with its values copied into it.
// Key paths are "<root name>\<subkey>"; an unknown root name throws (10078).
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class CopyRegKeyTask : public RollbackCommitTask {
public:
    CopyRegKeyTask(std::wstring sourceKeyPath, std::wstring destinationKeyPath);

    void Perform() override;

private:
    std::wstring m_sourceKeyPath;
    std::wstring m_destinationKeyPath;
};

}  // namespace OstrelInstallEngine
