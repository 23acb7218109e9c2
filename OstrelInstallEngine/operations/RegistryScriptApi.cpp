#include "operations/RegistryScriptApi.h"

#include <cmath>

#include "operations/RegistryOperations.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

namespace {

RegistryOperations Registry(ScriptCall& call)
{
    return RegistryOperations(call.GetTransaction());
}

void InstallCreateRegKey(ScriptCall& call)
{
    Registry(call).CreateRegKey(call.WideArgument(1));
}

void InstallCreateRegKeyTree(ScriptCall& call)
{
    Registry(call).CreateRegKeyTree(call.WideArgument(1));
}

void InstallRemoveRegKey(ScriptCall& call)
{
    Registry(call).RemoveRegKey(call.WideArgument(1));
}

void InstallClearAndRemoveRegKey(ScriptCall& call)
{
    Registry(call).ClearAndRemoveRegKey(call.WideArgument(1));
}

void InstallSetRegValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    const std::wstring valueName = call.WideArgument(2);
    Registry(call).SetRegValue(keyPath, valueName, call.WideArgument(3));
}

// A whole number from 0 to 4294967295; anything else is a bad argument.
DWORD DwordArgument(ScriptCall& call, int number)
{
    const double value = call.NumberArgument(number);
    if (!(value >= 0 && value <= 4294967295.0 && value == std::floor(value))) {
        call.BadArgument(number);
    }
    return static_cast<DWORD>(value);
}

void InstallSetRegDwordValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    const std::wstring valueName = call.WideArgument(2);
    Registry(call).SetRegDwordValue(keyPath, valueName, DwordArgument(call, 3));
}

void InstallRemoveRegValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    Registry(call).RemoveRegValue(keyPath, call.WideArgument(2));
}

void UninstallRemoveRegKey(ScriptCall& call)
{
    Registry(call).UninstallRemoveRegKey(call.WideArgument(1));
}

void UninstallRemoveRegKeyTree(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    Registry(call).UninstallRemoveRegKeyTree(keyPath, call.WideArgument(2));
}

void UninstallClearAndRemoveRegKey(ScriptCall& call)
{
    Registry(call).UninstallClearAndRemoveRegKey(call.WideArgument(1));
}

void UninstallRemoveRegValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    Registry(call).UninstallRemoveRegValue(keyPath, call.WideArgument(2));
}

void IsRegKey(ScriptCall& call)
{
    call.ReturnBool(Registry(call).IsRegKey(call.WideArgument(1)));
}

void IsRegValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    call.ReturnBool(Registry(call).IsRegValue(keyPath, call.WideArgument(2)));
}

void GetRegValue(ScriptCall& call)
{
    const std::wstring keyPath = call.WideArgument(1);
    const std::optional<std::wstring> value =
        Registry(call).GetRegValue(keyPath, call.WideArgument(2));
    if (value) {
        call.ReturnWide(*value);
    } else {
        call.ReturnNil();
    }
}

}  // namespace

void RegistryScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("install", "CreateRegKey", &InstallCreateRegKey);
    binding.RegisterFunction("install", "CreateRegKeyTree", &InstallCreateRegKeyTree);
    binding.RegisterFunction("install", "RemoveRegKey", &InstallRemoveRegKey);
    binding.RegisterFunction("install", "ClearAndRemoveRegKey", &InstallClearAndRemoveRegKey);
    binding.RegisterFunction("install", "SetRegValue", &InstallSetRegValue);
    binding.RegisterFunction("install", "SetRegDwordValue", &InstallSetRegDwordValue);
    binding.RegisterFunction("install", "RemoveRegValue", &InstallRemoveRegValue);
    binding.RegisterFunction("uninstall", "RemoveRegKey", &UninstallRemoveRegKey);
    binding.RegisterFunction("uninstall", "RemoveRegKeyTree", &UninstallRemoveRegKeyTree);
    binding.RegisterFunction("uninstall", "ClearAndRemoveRegKey", &UninstallClearAndRemoveRegKey);
    binding.RegisterFunction("uninstall", "RemoveRegValue", &UninstallRemoveRegValue);
    binding.RegisterFunction("util", "IsRegKey", &IsRegKey);
    binding.RegisterFunction("util", "IsRegValue", &IsRegValue);
    binding.RegisterFunction("util", "GetRegValue", &GetRegValue);
}

}  // namespace OstrelInstallEngine
