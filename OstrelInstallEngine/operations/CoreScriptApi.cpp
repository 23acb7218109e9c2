#include "operations/CoreScriptApi.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "base/GenericException.h"
#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "base/LuaBindingError.h"
#include "base/LuaException.h"
#include "script/LuaFunctionTask.h"
#include "script/ScriptCall.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

void Print(ScriptCall& call)
{
    PrintFormatted(stdout, L"%s", call.WideArgument(1).c_str());
}

void Break(ScriptCall& call)
{
    const std::wstring text = call.WideArgument(1);
    PrintFormatted(stdout, L"Hit debug break: %s", text.c_str());
    MessageBoxW(nullptr, text.c_str(), L"Debug break", MB_OK);
}

std::unique_ptr<LuaFunctionTask> MakeLuaFunctionTask(ScriptCall& call, int code)
{
    bool isFunction = false;
    const int reference = call.ReferenceArgument(1, &isFunction);
    try {
        return std::make_unique<LuaFunctionTask>(call.Package().GetBinding(), reference,
                                                 isFunction);
    } catch (const LuaBindingError& error) {
        throw LuaException(error, code);
    }
}

void AddRollbackTask(ScriptCall& call)
{
    call.GetTransaction().AddRollbackTask(MakeLuaFunctionTask(call, 10229));
}

void AddCommitTask(ScriptCall& call)
{
    call.GetTransaction().AddCommitTask(MakeLuaFunctionTask(call, 10230));
}

void StartSuppressWarnings(ScriptCall& call)
{
    call.GetTransaction().SetWarningsSuppressed(true);
}

void EndSuppressWarnings(ScriptCall& call)
{
    call.GetTransaction().SetWarningsSuppressed(false);
}

GenericException ScriptError(ScriptCall& call)
{
    std::wstring message = call.WideArgument(1);
    std::wstring summary = call.WideArgument(2);
    std::wstring englishMessage = call.WideArgument(3);
    const int code = call.IntArgument(4);
    return GenericException(std::move(message), std::move(summary), std::move(englishMessage),
                            code);
}

void FailWithError(ScriptCall& call)
{
    throw ScriptError(call);
}

void RecordError(ScriptCall& call)
{
    call.GetTransaction().AddError(ScriptError(call).Clone());
}

void SleepSeconds(ScriptCall& call)
{
    const double milliseconds = call.NumberArgument(1) * 1000.0;
    // A negative or not-a-number duration does not sleep, and no duration
    // becomes INFINITE.
    const double kLongestSleep = 4294967294.0;
    Sleep(milliseconds > 0 ? static_cast<DWORD>(std::min(milliseconds, kLongestSleep)) : 0);
}

}  // namespace

void CoreScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("debug", "Print", &Print);
    binding.RegisterFunction("debug", "Break", &Break);
    binding.RegisterFunction("install", "AddRollbackTask", &AddRollbackTask);
    binding.RegisterFunction("install", "AddCommitTask", &AddCommitTask);
    binding.RegisterFunction("uninstall", "StartSuppressWarnings", &StartSuppressWarnings);
    binding.RegisterFunction("uninstall", "EndSuppressWarnings", &EndSuppressWarnings);
    binding.RegisterFunction("util", "FailWithError", &FailWithError);
    binding.RegisterFunction("util", "RecordError", &RecordError);
    binding.RegisterFunction("util", "Sleep", &SleepSeconds);
}

}  // namespace OstrelInstallEngine
