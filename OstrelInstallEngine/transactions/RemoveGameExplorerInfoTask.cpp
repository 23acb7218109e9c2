#include "transactions/RemoveGameExplorerInfoTask.h"

#include "base/Exception.h"
#include "platform/GameExplorer.h"

namespace OstrelInstallEngine {

RemoveGameExplorerInfoTask::RemoveGameExplorerInfoTask(GUID instanceId) : m_instanceId(instanceId)
{
}

void RemoveGameExplorerInfoTask::Perform()
{
    try {
        RemoveGame(m_instanceId);
    } catch (const Exception&) {
        // The rest of the rollback matters more than this one entry.
    }
}

}  // namespace OstrelInstallEngine
