#include "operations/ProcessScriptApi.h"

#include <windows.h>
#include <msi.h>
#include <tlhelp32.h>

#include <cwchar>

#include "base/Check.h"
#include "base/ComInitializer.h"
#include "base/FailureSites.h"
#include "base/Exception.h"
#include "base/Localizer.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"
#include "base/Win32Exception.h"
#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace OstrelInstallEngine {

namespace {

const DWORD kJobPollMilliseconds = 100;
const DWORD kPauseAfterSubInstallMilliseconds = 4000;
const DWORD kSubInstallReadBlock = 100;
const DWORD kMsiPropertyBufferSize = 260;

std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments)
{
    return FormatWide(L"\"%s\" %s", program.c_str(), arguments.c_str());
}

void IsProcessRunning(ScriptCall& call)
{
    const std::wstring name = call.WideArgument(1);
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    bool found = false;
    if (snapshot.IsValid()) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
             more = Process32NextW(snapshot.Get(), &entry)) {
            found = found || std::wcscmp(entry.szExeFile, name.c_str()) == 0;
        }
    }
    call.ReturnBool(found);
}

void IsMsiInstalled(ScriptCall& call)
{
    const std::wstring productCode = Widen(call.NarrowArgument(1));
    call.ReturnBool(MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_DEFAULT);
}

void GetMsiProperty(ScriptCall& call)
{
    const std::wstring productCode = Widen(call.NarrowArgument(1));
    const std::wstring property = call.WideArgument(2);
    wchar_t value[kMsiPropertyBufferSize] = {};
    DWORD size = kMsiPropertyBufferSize;
    const UINT res = MsiGetProductInfoW(productCode.c_str(), property.c_str(), value, &size);
    OSTREL_CHECK_ERROR(( res == ERROR_SUCCESS ), 10246, res);
    call.ReturnWide(value);
}

void InstallMsi(ScriptCall& call)
{
    const std::wstring packagePath = call.WideArgument(1);
    const std::wstring commandLine = call.WideArgument(2);
    ThreadApartment::Enter();
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    const UINT result = MsiInstallProductW(packagePath.c_str(), commandLine.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_SUCCESS_REBOOT_REQUIRED) {
        const Win32FailureSite& site = FailureSite::kPackageInstall;
        throw Win32FailureWithEnglish(
            site, result, FormatWide(site.englishFormat, packagePath.c_str(), commandLine.c_str()),
            packagePath);
    }
    if (result == ERROR_SUCCESS_REBOOT_REQUIRED) {
        call.Package().SetBoolProp("RebootRequired", true);
    }
}

void UninstallMsiByID(ScriptCall& call)
{
    const std::wstring productCode = Widen(call.NarrowArgument(1));
    const bool silent = call.BoolArgument(2);
    const bool ignoreErrors = call.BoolArgument(3);
    ThreadApartment::Enter();
    if (silent) {
        MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    }
    const UINT result =
        MsiConfigureProductW(productCode.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
    if (!ignoreErrors && result != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kProductRemove, result, productCode);
    }
}

// Every process that the job's first process starts belongs to the job too,
// so the job is empty only when the whole tree has ended.
void WaitUntilJobIsEmpty(const UniqueHandle& job, const std::wstring& program)
{
    for (;;) {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list = {};
        if (!QueryInformationJobObject(job.Get(), JobObjectBasicProcessIdList, &list,
                                       sizeof(list), nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_MORE_DATA) {
                ThrowWin32Failure(FailureSite::kProgramJobQuery, error, program);
            }
        }
        if (list.NumberOfAssignedProcesses == 0) {
            return;
        }
        Sleep(kJobPollMilliseconds);
    }
}

// A process that never ran because its job could not be set up is ended,
// so that no suspended copy is left behind.
class SuspendedProcessGuard {
public:
    explicit SuspendedProcessGuard(HANDLE process) : m_process(process) {}
    ~SuspendedProcessGuard()
    {
        if (m_process != nullptr) {
            TerminateProcess(m_process, ERROR_CANCELLED);
        }
    }
    SuspendedProcessGuard(const SuspendedProcessGuard&) = delete;
    SuspendedProcessGuard& operator=(const SuspendedProcessGuard&) = delete;
    void Dismiss() { m_process = nullptr; }

private:
    HANDLE m_process;
};

uint32_t RunAndWaitForAll(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = QuotedCommandLine(program, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup,
                        &started)) {
        ThrowWin32Failure(FailureSite::kProgramStart, GetLastError(), program);
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    SuspendedProcessGuard neverRan(process.Get());
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.IsValid()) {
        ThrowWin32Failure(FailureSite::kProgramJobCreate, GetLastError(), program);
    }
    if (!AssignProcessToJobObject(job.Get(), process.Get())) {
        ThrowWin32Failure(FailureSite::kProgramJobAssign, GetLastError(), program);
    }
    neverRan.Dismiss();
    ResumeThread(thread.Get());
    thread.Close();
    WaitUntilJobIsEmpty(job, program);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) {
        ThrowWin32Failure(FailureSite::kProgramExitCode, GetLastError(), program);
    }
    return exitCode;
}

void Run(ScriptCall& call)
{
    const std::wstring program = call.WideArgument(1);
    const std::wstring arguments = call.WideArgument(2);
    call.ReturnUInt(RunAndWaitForAll(program, arguments));
}

struct Pipe {
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
};

// Both ends inheritable except the one this process keeps.
Pipe CreateChildPipe(bool parentReads, const std::wstring& path, const Win32FailureSite& site)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ThrowWin32Failure(site, GetLastError(), path);
    }
    Pipe pipe{UniqueHandle(readEnd), UniqueHandle(writeEnd)};
    SetHandleInformation(parentReads ? readEnd : writeEnd, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

// Starts "<path>" quiet with its standard output and error on the returned
// pipe's write end (already closed here) and its input at its end.
UniqueHandle StartQuietChild(const std::wstring& path)
{
    Pipe output = CreateChildPipe(true, path, FailureSite::kSubInstallOutputPipe);
    Pipe input = CreateChildPipe(false, path, FailureSite::kSubInstallInputPipe);
    std::wstring commandLine = QuotedCommandLine(path, L"quiet");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.readEnd.Get();
    startup.hStdOutput = output.writeEnd.Get();
    startup.hStdError = output.writeEnd.Get();
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        ThrowWin32Failure(FailureSite::kSubInstallStart, GetLastError(), path);
    }
    // The chain is followed through the pipe, not through these handles.
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    return std::move(output.readEnd);
}

// The pipe ends when the child and every copy that inherited it have ended.
void ReadUntilChildChainEnds(UniqueHandle outputReadEnd, const std::wstring& path)
{
    char block[kSubInstallReadBlock];
    DWORD bytesRead = 0;
    // What the child writes is only read to keep its pipe from filling up.
    while (ReadFile(outputReadEnd.Get(), block, sizeof(block), &bytesRead, nullptr)) {
    }
    const DWORD error = GetLastError();
    outputReadEnd.Close();
    if (error != ERROR_HANDLE_EOF && error != ERROR_BROKEN_PIPE) {
        ThrowWin32Failure(FailureSite::kSubInstallRead, error, path);
    }
}

// The child takes the install lock itself, so it is handed over for the run
// and taken back, waiting, on every path.
void RunSubInstall(ScriptCall& call)
{
    const std::wstring path = call.WideArgument(1);
    InstallerPackage& package = call.Package();
    package.ReleaseInstallLock();
    UniqueHandle outputReadEnd;
    try {
        outputReadEnd = StartQuietChild(path);
    } catch (const Exception&) {
        package.AcquireInstallLock(true);
        call.ReturnBool(false);
        return;
    }
    try {
        ReadUntilChildChainEnds(std::move(outputReadEnd), path);
    } catch (const Exception&) {
        package.AcquireInstallLock(true);
        throw;
    }
    Sleep(kPauseAfterSubInstallMilliseconds);
    package.AcquireInstallLock(true);
    call.ReturnBool(true);
}

}  // namespace

void ProcessScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("util", "IsProcessRunning", &IsProcessRunning);
    binding.RegisterFunction("util", "Run", &Run);
    binding.RegisterFunction("util", "IsMsiInstalled", &IsMsiInstalled);
    binding.RegisterFunction("util", "GetMsiProperty", &GetMsiProperty);
    binding.RegisterFunction("util", "InstallMsi", &InstallMsi);
    binding.RegisterFunction("util", "UninstallMsiByID", &UninstallMsiByID);
    binding.RegisterFunction("util", "RunSubInstall", &RunSubInstall);
}

}  // namespace OstrelInstallEngine
