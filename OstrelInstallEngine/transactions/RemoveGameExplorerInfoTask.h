// Takes a game off the Game Explorer again when an installation that
// registered it fails; a failure to do so does not stop the rollback.
#pragma once

#include <windows.h>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class RemoveGameExplorerInfoTask : public RollbackCommitTask {
public:
    explicit RemoveGameExplorerInfoTask(GUID instanceId);

    void Perform() override;

private:
    GUID m_instanceId;
};

}  // namespace OstrelInstallEngine
