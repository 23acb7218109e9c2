#include "transactions/RemoveAppFromFirewallTask.h"

#include "base/Exception.h"
#include "platform/WindowsFirewall.h"

namespace OstrelInstallEngine {

RemoveAppFromFirewallTask::RemoveAppFromFirewallTask(std::wstring imagePath)
    : m_imagePath(std::move(imagePath))
{
}

void RemoveAppFromFirewallTask::Perform()
{
    try {
        RemoveAppFromFirewall(m_imagePath.c_str());
    } catch (const Exception&) {
        // The rest of the rollback matters more than this one entry.
    }
}

}  // namespace OstrelInstallEngine
