// One deferred action of a transaction: undoing a change when the run fails
// (rollback list) or cleaning up after it has succeeded (commit list). The
// package owns every queued task and runs each at most once.
#pragma once

namespace OstrelInstallEngine {

class RollbackCommitTask {
public:
    virtual ~RollbackCommitTask() = default;

    // Carries out the action. File, folder and registry tasks are best effort:
    // a failing system call is ignored so that the rest of the list still runs.
    virtual void Perform() = 0;

protected:
    RollbackCommitTask() = default;
    RollbackCommitTask(const RollbackCommitTask&) = delete;
    RollbackCommitTask& operator=(const RollbackCommitTask&) = delete;
};

}  // namespace OstrelInstallEngine
