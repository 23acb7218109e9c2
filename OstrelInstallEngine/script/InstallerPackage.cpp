#include "script/InstallerPackage.h"

#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

#include "base/Check.h"
#include "base/Exceptions.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/LuaBindingError.h"
#include "base/Stream.h"
#include "base/Util.h"
#include "script/LuaBinding.h"
#include "script/ProgressReporter.h"
#include "streams/FilePackage.h"

namespace OstrelInstallEngine {

namespace {

const char kPropsTable[] = "props";
const int kScriptStateSetupCode = 10018;

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

// Commit and rollback tasks run to their end: a cancel request pending when
// they start, or made while they run, is dropped.
class CancelRequestsIgnored {
public:
    CancelRequestsIgnored(std::atomic<bool>& requested, bool& ignored)
        : m_requested(requested), m_ignored(ignored), m_wasIgnored(ignored)
    {
        m_ignored = true;
        m_requested = false;
    }
    ~CancelRequestsIgnored()
    {
        m_requested = false;
        m_ignored = m_wasIgnored;
    }
    CancelRequestsIgnored(const CancelRequestsIgnored&) = delete;
    CancelRequestsIgnored& operator=(const CancelRequestsIgnored&) = delete;

private:
    std::atomic<bool>& m_requested;
    bool& m_ignored;
    bool m_wasIgnored;
};

}  // namespace

InstallerPackage::InstallerPackage(ScriptApiRegistration registerScriptApi)
    : m_registerScriptApi(registerScriptApi)
{
}

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
    RunScript(kScriptStateSetupCode, [this] {
        m_luaBinding = std::make_unique<LuaBinding>(*this);
        RegisterScriptApi();
    });
    FillProps();
    m_installLock.Create();
    m_installLock.Acquire(false);
    RunScriptChunk(*script);
}

void InstallerPackage::RegisterScriptApi()
{
    m_registerScriptApi(*m_luaBinding);
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
    if (m_cancelRequested && !m_cancelIgnored) {
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

// Commit and rollback tasks run to their end, and the reporter sees
// progress 1.0 before them.
void InstallerPackage::Commit()
{
    const CancelRequestsIgnored ignored(m_cancelRequested, m_cancelIgnored);
    m_progressStack.Reset(ProgressEntry{1, 1, 1});
    NotifyReporter();
    m_transaction.Commit();
}

// Undo work is never dropped: every task runs, whatever fails around it; the
// first failure outside a task is thrown afterwards.
void InstallerPackage::Rollback()
{
    const CancelRequestsIgnored ignored(m_cancelRequested, m_cancelIgnored);
    std::exception_ptr failure;
    KeepFirstFailure(&failure, [this] { ReportRollbackStart(); });
    KeepFirstFailure(&failure, [this] { m_transaction.Rollback(); });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void InstallerPackage::ReportRollbackStart()
{
    m_progressStack.Reset(ProgressEntry{1, 1, 1});
    m_progressStack.SetStatusText(Localizer::Text(kMsgRollingBack));
    NotifyReporter();
}

void InstallerPackage::RollbackCompletely()
{
    // The failure that ended the run, if any, is the one its caller must see;
    // one of the rollback is only reported here.
    try {
        Rollback();
    } catch (const Exception& error) {
        PrintFailure("Rollback error", error.GetReport());
    } catch (const std::exception& error) {
        PrintFailure("Rollback error", Widen(error.what()));
    } catch (...) {
        // A reporter's own failure type; nothing may stop Close after this.
        PrintFailure("Rollback error", L"unknown failure");
    }
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
    m_transaction.ClearErrors();
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
