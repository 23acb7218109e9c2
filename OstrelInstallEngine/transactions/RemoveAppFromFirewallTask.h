// Takes a program off the firewall's list again when an installation that
// added it fails; a failure to do so does not stop the rollback.
#pragma once

#include <string>

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class RemoveAppFromFirewallTask : public RollbackCommitTask {
public:
    explicit RemoveAppFromFirewallTask(std::wstring imagePath);

    void Perform() override;

private:
    std::wstring m_imagePath;
};

}  // namespace OstrelInstallEngine
