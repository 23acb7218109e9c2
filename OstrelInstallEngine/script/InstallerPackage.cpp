#include "script/InstallerPackage.h"

#include <shlobj.h>

#include <cstdio>
#include <new>

#include "base/Check.h"
#include "base/Exceptions.h"
#include "streams/FilePackage.h"
#include "base/Localizer.h"
#include "script/LuaBinding.h"
#include "base/LuaBindingError.h"
#include "transactions/MoveFileTask.h"
#include "script/ProgressReporter.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/RollbackCommitTask.h"
#include "operations/ScriptApi.h"
#include "streams/Stream.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

const char kPropsTable[] = "props";
const int kRollbackStatusTextId = 1000010066;

struct FolderProp {
    const char* name;
    int csidl;
    int code;
};

const FolderProp kFolderProps[] = {
    {"CommonProgramsDir", CSIDL_COMMON_PROGRAMS, 10189},
    {"PersonalDir", CSIDL_PERSONAL, 10190},
    {"CommonDesktopDir", CSIDL_COMMON_DESKTOPDIRECTORY, 10191},
    {"DesktopDir", CSIDL_DESKTOP, 10192},
    {"ProgramFilesDir", CSIDL_PROGRAM_FILES, 10193},
    {"CommonDocsDir", CSIDL_COMMON_DOCUMENTS, 10194},
    {"CommonAppDataDir", CSIDL_COMMON_APPDATA, 10195},
};

bool IsWindowsXP()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 5;
    version.dwMinorVersion = 1;
    version.wServicePackMajor = 0;
    version.wServicePackMinor = 0;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version,
                              VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR |
                                  VER_SERVICEPACKMINOR,
                              mask) != FALSE;
}

void PrintFailure(const char* what, const std::wstring& report)
{
    PrintFormatted(stdout, L"%hs:\n%s\n", what, report.c_str());
}

}  // namespace

InstallerPackage::InstallerPackage() = default;

InstallerPackage::~InstallerPackage()
{
    if (m_open) {
        Close();
    }
}

LuaBinding& InstallerPackage::GetBinding()
{
    OSTREL_CHECK(m_luaBinding != nullptr, 10140);
    return *m_luaBinding;
}

void InstallerPackage::Open(FilePackage* package, std::string scriptName)
{
    OSTREL_CHECK(!m_open, 10384);
    try {
        OpenScriptState(package, scriptName);
    } catch (...) {
        ShutDown();
        throw;
    }
    m_open = true;
}

void InstallerPackage::OpenScriptState(FilePackage* package, const std::string& scriptName)
{
    OSTREL_CHECK(package != nullptr, 10141);
    m_package = package;
    m_progressStack.Reset(ProgressEntry{1, 0, 1});
    std::unique_ptr<Stream> script = m_package->OpenFile(scriptName);
    m_luaBinding = std::make_unique<LuaBinding>(*this);
    RegisterScriptApi();
    FillProps();
    m_installLock.Create();
    m_installLock.Acquire(false);
    RunScriptChunk(*script);
}

void InstallerPackage::RegisterScriptApi()
{
    ScriptApi::Register(*m_luaBinding);
    m_luaBinding->CreateApiTable(kPropsTable);
}

void InstallerPackage::FillProps()
{
    for (const FolderProp& prop : kFolderProps) {
        wchar_t folder[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathW(nullptr, folder, prop.csidl, FALSE)) {
            OSTREL_FAIL_LAST_ERROR(prop.code);
        }
        SetStringProp(prop.name, folder);
    }
    SetBoolProp("WindowsMCE", GetSystemMetrics(SM_MEDIACENTER) != 0);
    SetBoolProp("WindowsXP", IsWindowsXP());
    SetBoolProp("RebootRequired", false);
}

void InstallerPackage::RunScriptChunk(Stream& script)
{
    const uint32_t size = script.GetSize();
    std::unique_ptr<char[]> buf(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
    OSTREL_CHECK(buf != 0, 10187);
    script.ReadExact(buf.get(), size);
    buf[size] = '\0';
    RunScript(10188, [&] { m_luaBinding->RunChunk(buf.get(), size); });
}

// A Lua error, or a Lua exception of an operation, leaves the script wrapped
// as an unexpected exception whose code names the calling site; every other
// exception passes unchanged.
template <typename Body>
void InstallerPackage::RunScript(int code, Body body)
{
    try {
        body();
    } catch (const LuaBindingError& error) {
        throw SanityCheckException(std::make_unique<LuaException>(error, code));
    } catch (const LuaException& error) {
        throw SanityCheckException(error.Clone());
    }
}

void InstallerPackage::Prepare()
{
    OSTREL_CHECK(m_open, 10142);
    RunScript(10222, [this] { m_luaBinding->CallGlobalFunction("Prepare"); });
}

void InstallerPackage::Execute()
{
    OSTREL_CHECK(m_open, 10143);
    try {
        RunScript(10003, [this] {
            m_luaBinding->CallGlobalFunction("Execute");
            Commit();
        });
    } catch (...) {
        // Whatever stopped the run, the machine goes back to where it was
        // before the exception continues.
        RollbackCompletely();
        throw;
    }
}

void InstallerPackage::Cancel()
{
    m_cancelRequested = true;
}

void InstallerPackage::SetProgressReporter(ProgressReporter* reporter)
{
    m_progressReporter = reporter;
}

std::vector<const Exception*> InstallerPackage::GetErrors() const
{
    std::vector<const Exception*> errors;
    for (const auto& problem : m_problems) {
        errors.push_back(problem.get());
    }
    return errors;
}

void InstallerPackage::AddRollbackTask(std::unique_ptr<RollbackCommitTask> task)
{
    m_rollbackTasks.push_back(std::move(task));
}

void InstallerPackage::AddCommitTask(std::unique_ptr<RollbackCommitTask> task)
{
    m_commitTasks.push_back(std::move(task));
}

void InstallerPackage::AddError(std::unique_ptr<Exception> error)
{
    if (!m_warningsSuppressed) {
        m_problems.push_back(std::move(error));
    }
}

std::wstring InstallerPackage::GetProp(const std::string& name)
{
    try {
        return GetBinding().GetWideGlobalField(kPropsTable, name);
    } catch (const LuaBindingError& error) {
        throw LuaException(error, 10168);
    }
}

void InstallerPackage::SetStringProp(const std::string& name, const std::wstring& value)
{
    try {
        GetBinding().SetWideGlobalField(kPropsTable, name, value);
    } catch (const LuaBindingError& error) {
        throw LuaException(error, 10163);
    }
}

void InstallerPackage::SetBoolProp(const std::string& name, bool value)
{
    try {
        GetBinding().SetBoolGlobalField(kPropsTable, name, value);
    } catch (const LuaBindingError& error) {
        throw LuaException(error, 10159);
    }
}

void InstallerPackage::NotifyReporter()
{
    const double progress = m_progressStack.Fraction();
    if (m_progressReporter != nullptr) {
        m_progressReporter->ReportProgress(progress, m_progressStack.GetStatusText());
    }
}

void InstallerPackage::HonourCancelRequest() const
{
    if (m_cancelRequested) {
        throw CancelInstallException();
    }
}

void InstallerPackage::ProgressReport(uint32_t done, uint32_t total, const std::wstring& text)
{
    m_progressStack.Report(done, total, text);
    NotifyReporter();
    HonourCancelRequest();
}

void InstallerPackage::ProgressStartStep(uint32_t start, uint32_t end, uint32_t total,
                                         const std::wstring& text)
{
    m_progressStack.StartStep(start, end, total, text);
    NotifyReporter();
    HonourCancelRequest();
}

void InstallerPackage::ProgressEndStep()
{
    m_progressStack.EndStep();
    NotifyReporter();
    HonourCancelRequest();
}

std::wstring InstallerPackage::BackupFileTransacted(const std::wstring& fileName)
{
    const std::wstring backup = m_systemStateManager.BackupFile(fileName);
    AddRollbackTask(std::make_unique<MoveFileTask>(backup, fileName));
    AddCommitTask(std::make_unique<RemoveFileTask>(backup));
    return backup;
}

void InstallerPackage::Commit()
{
    m_progressStack.Reset(ProgressEntry{1, 1, 1});
    NotifyReporter();
    for (const auto& task : m_commitTasks) {
        task->Perform();
    }
    DeleteAllTasks();
}

void InstallerPackage::Rollback()
{
    m_progressStack.Reset(ProgressEntry{1, 1, 1});
    m_progressStack.SetStatusText(Localizer::Text(kRollbackStatusTextId));
    NotifyReporter();
    // Each task leaves the list before it runs, so a task that fails is not
    // run again and the ones before it stay queued.
    while (!m_rollbackTasks.empty()) {
        std::unique_ptr<RollbackCommitTask> task = std::move(m_rollbackTasks.back());
        m_rollbackTasks.pop_back();
        task->Perform();
    }
    DeleteAllTasks();
}

void InstallerPackage::RollbackCompletely()
{
    for (;;) {
        const size_t queued = m_rollbackTasks.size();
        try {
            Rollback();
            return;
        } catch (const LuaBindingError& error) {
            PrintFailure("Rollback task error", Widen(error.what()));
        } catch (const Exception& error) {
            PrintFailure("Rollback error", error.GetReport());
        } catch (const std::exception& error) {
            PrintFailure("Rollback error", Widen(error.what()));
        }
        if (m_rollbackTasks.size() >= queued) {
            DeleteAllTasks();
            return;
        }
    }
}

void InstallerPackage::DeleteAllTasks()
{
    m_commitTasks.clear();
    m_rollbackTasks.clear();
}

void InstallerPackage::Close()
{
    OSTREL_CHECK(m_open, 10385);
    ShutDown();
}

void InstallerPackage::ShutDown()
{
    // Tasks only come from the script, so without a state there are none.
    if (m_luaBinding) {
        RollbackCompletely();
    }
    m_problems.clear();
    m_open = false;
    if (m_installLock.IsHeld()) {
        try {
            m_installLock.Release();
        } catch (const Exception&) {
            // Ending the lock thread below gives the mutex up all the same.
        }
    }
    m_installLock.Shutdown();
    m_luaBinding.reset();
}

}  // namespace OstrelInstallEngine
