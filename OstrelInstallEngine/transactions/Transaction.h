// The record of one script run's changes: the state manager through which
// they are made, the tasks that undo them (rollback, last queued first) or
// finish them (commit, first to last), the problems that the run tolerated
// with the warnings switch, and the removals that wait for another process.
// The operations reach it through the script call; the package that hosts the
// script owns one and says when to commit or roll back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "transactions/DeferredRemovals.h"
#include "transactions/SystemStateManager.h"

namespace OstrelInstallEngine {

class Exception;
class RollbackCommitTask;
struct TaskFailureReport;

class Transaction {
public:
    // Creates the state manager's private temporary folder (10051, 10045).
    Transaction();
    // Drops the tasks that are left without running them.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    SystemStateManager& GetSystemStateManager() { return m_systemStateManager; }
    DeferredRemovals& GetDeferredRemovals() { return m_deferredRemovals; }

    void AddRollbackTask(std::unique_ptr<RollbackCommitTask> task);
    void AddCommitTask(std::unique_ptr<RollbackCommitTask> task);
    // Moves the file to a "BK_%08x" backup in its folder; queues moving it
    // back on rollback and deleting the backup on commit. Returns the backup.
    std::wstring BackupFileTransacted(const std::wstring& fileName);

    // Records a problem unless warnings are suppressed.
    void AddError(std::unique_ptr<Exception> error);
    void SetWarningsSuppressed(bool suppressed) { m_warningsSuppressed = suppressed; }
    // The recorded problems, still owned here.
    std::vector<const Exception*> GetErrors() const;
    void ClearErrors();

    // Once the first commit task has run, backups are going, and a rollback
    // could no longer bring back a complete old version: the rollback tasks
    // are dropped first, and a commit task that fails is recorded as a
    // problem (10393) while the others still run. A commit task may queue
    // further commit tasks; they run in this commit, after the others. Both
    // lists are empty afterwards.
    void Commit();
    // Every rollback task runs, last queued first, whatever fails around it:
    // a task that fails is recorded as a problem (10016), even while warnings
    // are suppressed, because its change stays on the machine; a task that a
    // rollback task queues runs next. Both lists are empty afterwards, and the
    // first failure that is not a task's own is thrown then.
    void Rollback();
    // Drops both lists without running them.
    void DeleteAllTasks();

private:
    void PerformRecordingFailure(RollbackCommitTask& task, const TaskFailureReport& report);
    void RecordTaskFailure(const TaskFailureReport& report, const Exception& failure,
                           const std::wstring& what);

    SystemStateManager m_systemStateManager;
    DeferredRemovals m_deferredRemovals;
    std::vector<std::unique_ptr<RollbackCommitTask>> m_rollbackTasks;
    std::vector<std::unique_ptr<RollbackCommitTask>> m_commitTasks;
    bool m_warningsSuppressed = false;
    std::vector<std::unique_ptr<Exception>> m_problems;
};

}  // namespace OstrelInstallEngine
