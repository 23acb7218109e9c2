// Deletes a file, read-only or not; a missing file is no failure.
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class RemoveFileTask : public RollbackCommitTask {
public:
    explicit RemoveFileTask(std::wstring path);

    void Perform() override;

private:
    std::wstring m_path;
};

}  // namespace OstrelInstallEngine
