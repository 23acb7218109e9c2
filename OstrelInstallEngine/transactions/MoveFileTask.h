// Moves a file back to where it came from, for instance a backup to its
// original name; a destination that exists meanwhile makes it do nothing.
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class MoveFileTask : public RollbackCommitTask {
public:
    MoveFileTask(std::wstring source, std::wstring destination);

    void Perform() override;

private:
    std::wstring m_source;
    std::wstring m_destination;
};

}  // namespace OstrelInstallEngine
