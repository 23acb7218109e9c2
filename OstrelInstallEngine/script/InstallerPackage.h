// The host of one install or uninstall script: loads it from a FilePackage,
// runs it in its own Lua state with the script API and the props table,
// owns the run's Transaction (its changes, undo and clean-up tasks and
// problems) and the progress stack, and holds the machine-wide install lock
// while open.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "script/InstallLock.h"
#include "script/ProgressStack.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

class Exception;
class FilePackage;
class LuaBinding;
class ProgressReporter;
class Stream;

class InstallerPackage {
public:
    // Fills the script API into a new script state. The host does not know
    // the operations: its owner hands them in.
    using ScriptApiRegistration = void (*)(LuaBinding& binding);

    // Creates the private temporary folder of the state manager.
    explicit InstallerPackage(ScriptApiRegistration registerScriptApi);
    // Closes the package if it is open.
    ~InstallerPackage();
    InstallerPackage(const InstallerPackage&) = delete;
    InstallerPackage& operator=(const InstallerPackage&) = delete;

    // Creates the script state, registers the script API (through the
    // registration handed in) and props, takes the
    // install lock without waiting (10367 when another process holds it) and
    // runs the script's top level. A script state that cannot be set up is an
    // unexpected Lua exception (10018). The package is not owned and must
    // outlive this object. A failed Open leaves the package closed: the lock
    // is given back and the state dropped.
    void Open(FilePackage* package, std::string scriptName);
    bool IsOpen() const { return m_open; }

    // Null switches reporting off; the reporter is not owned.
    void SetProgressReporter(ProgressReporter* reporter);

    // Runs the script's global "Prepare". Neither commits nor rolls back.
    void Prepare();
    // Runs the script's global "Execute", then commits. On any failure before
    // the commit, every recorded change is rolled back before the exception
    // continues. Once the commit has begun nothing is rolled back: a commit
    // task that fails is recorded as a problem (10393) and the others run.
    void Execute();
    // The one operation for other threads: the script's next progress call
    // throws CancelInstallException. Commit and rollback tasks are not
    // cancellable: a request pending when they start, or made while they
    // run, is dropped.
    void Cancel();

    // The recorded problems, still owned by the package; read before Close.
    // A rollback task that failed is among them (10016), and so is a commit
    // task that failed (10393).
    std::vector<const Exception*> GetErrors() const { return m_transaction.GetErrors(); }

    // Rolls back what is left, drops the problems, releases the lock and the
    // script state. Failures inside are dropped.
    void Close();

    // The run's changes, for the script API operations and for a host that
    // carries out deferred removals.
    Transaction& GetTransaction() { return m_transaction; }

    // props[name], which must be a wide string (10168 otherwise).
    std::wstring GetProp(const std::string& name);
    void SetStringProp(const std::string& name, const std::wstring& value);
    void SetBoolProp(const std::string& name, bool value);

    // The three script progress calls: change the stack, report, then honour
    // a pending cancel request.
    void ProgressReport(uint32_t done, uint32_t total, const std::wstring& text);
    void ProgressStartStep(uint32_t start, uint32_t end, uint32_t total, const std::wstring& text);
    void ProgressEndStep();

    // The install lock, for sub-installs that hand it over to a child.
    void AcquireInstallLock(bool wait) { m_installLock.Acquire(wait); }
    void ReleaseInstallLock() { m_installLock.Release(); }

    // The package the script came from (null before Open); the operations
    // open their payload files from it.
    FilePackage* GetFilePackage() const { return m_package; }
    // For operations that report their own progress inside the script's step.
    ProgressStack& GetProgressStack() { return m_progressStack; }
    LuaBinding& GetBinding();

private:
    void OpenScriptState(FilePackage* package, const std::string& scriptName);
    void RegisterScriptApi();
    void FillProps();
    void RunScriptChunk(Stream& script);
    template <typename Body>
    void RunScript(int code, Body body);
    void Commit();
    void Rollback();
    void ReportRollbackStart();
    void RollbackCompletely();
    void ShutDown();
    void NotifyReporter();
    void HonourCancelRequest() const;

    ScriptApiRegistration m_registerScriptApi;
    InstallLock m_installLock;
    bool m_open = false;
    FilePackage* m_package = nullptr;
    std::unique_ptr<LuaBinding> m_luaBinding;
    // Written by another thread (Cancel), read by the script's.
    std::atomic<bool> m_cancelRequested{false};
    // Set while commit or rollback tasks run: undo and clean-up work is not
    // cancellable.
    bool m_cancelIgnored = false;
    ProgressReporter* m_progressReporter = nullptr;
    Transaction m_transaction;
    ProgressStack m_progressStack;
};

}  // namespace OstrelInstallEngine
