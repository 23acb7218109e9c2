// Removes a folder if it is empty; a folder that something else has been
// written into meanwhile stays.
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class RemoveDirectoryTask : public RollbackCommitTask {
public:
    explicit RemoveDirectoryTask(std::wstring path);

    void Perform() override;

private:
    std::wstring m_path;
};

}  // namespace OstrelInstallEngine
