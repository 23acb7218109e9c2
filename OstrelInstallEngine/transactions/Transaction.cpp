#include "transactions/Transaction.h"

#include <cstdio>
#include <exception>

#include "base/Exceptions.h"
#include "base/LuaBindingError.h"
#include "base/Util.h"
#include "transactions/MoveFileTask.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

// How a task that failed is reported: a change that could not be undone, or
// one whose clean-up could not be finished, stays on the machine.
struct TaskFailureReport {
    const char* printedAs;
    const wchar_t* summaryPrefix;
    const wchar_t* englishPrefix;
    int code;
};

namespace {

const TaskFailureReport kRollbackTaskFailure = {"Rollback task error", L"Unable to undo a change: ",
                                                L"Rollback task failed: ", 10016};
const TaskFailureReport kCommitTaskFailure = {"Commit task error", L"Unable to finish a change: ",
                                              L"Commit task failed: ", 10393};

}  // namespace

Transaction::Transaction() = default;

Transaction::~Transaction() = default;

void Transaction::AddRollbackTask(std::unique_ptr<RollbackCommitTask> task)
{
    m_rollbackTasks.push_back(std::move(task));
}

void Transaction::AddCommitTask(std::unique_ptr<RollbackCommitTask> task)
{
    m_commitTasks.push_back(std::move(task));
}

std::wstring Transaction::BackupFileTransacted(const std::wstring& fileName)
{
    const std::wstring backup = m_systemStateManager.BackupFile(fileName);
    AddRollbackTask(std::make_unique<MoveFileTask>(backup, fileName));
    AddCommitTask(std::make_unique<RemoveFileTask>(backup));
    return backup;
}

void Transaction::AddError(std::unique_ptr<Exception> error)
{
    if (!m_warningsSuppressed) {
        m_problems.push_back(std::move(error));
    }
}

std::vector<const Exception*> Transaction::GetErrors() const
{
    std::vector<const Exception*> errors;
    for (const auto& problem : m_problems) {
        errors.push_back(problem.get());
    }
    return errors;
}

void Transaction::ClearErrors()
{
    m_problems.clear();
}

void Transaction::Commit()
{
    m_rollbackTasks.clear();
    // The list grows under the walk, so the walk goes by index.
    for (size_t i = 0; i < m_commitTasks.size(); ++i) {
        PerformRecordingFailure(*m_commitTasks[i], kCommitTaskFailure);
    }
    DeleteAllTasks();
}

void Transaction::Rollback()
{
    std::exception_ptr failure;
    // Each task leaves the list before it runs, so a task that a rollback
    // task queues runs next, and none runs twice.
    while (!m_rollbackTasks.empty()) {
        std::unique_ptr<RollbackCommitTask> task = std::move(m_rollbackTasks.back());
        m_rollbackTasks.pop_back();
        KeepFirstFailure(&failure, [&] { PerformRecordingFailure(*task, kRollbackTaskFailure); });
    }
    DeleteAllTasks();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Transaction::DeleteAllTasks()
{
    m_commitTasks.clear();
    m_rollbackTasks.clear();
}

void Transaction::PerformRecordingFailure(RollbackCommitTask& task, const TaskFailureReport& report)
{
    try {
        task.Perform();
    } catch (const LuaBindingError& error) {
        RecordTaskFailure(report, LuaException(error, report.code), Widen(error.what()));
    } catch (const Exception& error) {
        RecordTaskFailure(report, error, error.GetLocalizedSummary());
    } catch (const std::exception& error) {
        RecordTaskFailure(
            report,
            SanityCheckException(FormatWide(L"std::exception: %hs", error.what()), report.code),
            Widen(error.what()));
    }
}

// What a failed task left stays on the machine, so the user is told as for
// any other problem of the run, even while warnings are suppressed.
void Transaction::RecordTaskFailure(const TaskFailureReport& report, const Exception& failure,
                                    const std::wstring& what)
{
    PrintFormatted(stdout, L"%hs:\n%s\n", report.printedAs, failure.GetReport().c_str());
    m_problems.push_back(std::make_unique<GenericException>(
        failure.GetLocalizedMessage(), report.summaryPrefix + what,
        report.englishPrefix + failure.GetEnglishMessage(), report.code, failure.Clone()));
}

}  // namespace OstrelInstallEngine
