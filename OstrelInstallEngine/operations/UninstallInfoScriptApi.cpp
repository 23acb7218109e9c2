#include "operations/UninstallInfoScriptApi.h"

#include <iterator>
#include <string>

#include "operations/RegistryOperations.h"
#include "operations/ShellLink.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

namespace {

const wchar_t kUninstallKeyPrefix[] =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The values the engine writes and removes, in the order it does so.
const wchar_t* const kUninstallValueNames[] = {L"DisplayName",    L"UninstallString",
                                               L"InstallLocation", L"Publisher",
                                               L"DisplayVersion", L"DisplayIcon"};

std::wstring UninstallKey(const std::wstring& id)
{
    return kUninstallKeyPrefix + id;
}

void CreateShortcut(ScriptCall& call)
{
    ShellLink::Fields fields;
    fields.linkPath = call.WideArgument(1);
    fields.target = call.WideArgument(2);
    fields.workingFolder = call.WideArgument(3);
    fields.arguments = call.WideArgument(4);
    fields.description = call.WideArgument(5);
    fields.iconPath = call.WideArgument(6);
    fields.iconIndex = call.IntArgument(7);
    ShellLink::CreateShortcut(call.GetTransaction(), fields);
}

void CreateUrlShortcut(ScriptCall& call)
{
    const std::wstring linkPath = call.WideArgument(1);
    ShellLink::CreateUrlShortcut(call.GetTransaction(), linkPath, call.WideArgument(2));
}

void AddUninstallInfo(ScriptCall& call)
{
    const std::wstring key = UninstallKey(call.WideArgument(1));
    const std::wstring displayName = call.WideArgument(2);
    const std::wstring uninstallCommand = call.WideArgument(3);
    const std::wstring installFolder = call.WideArgument(4);
    const std::wstring publisher = call.WideArgument(5);
    const std::wstring version = call.WideArgument(6);
    const std::wstring* const values[] = {&displayName, &uninstallCommand, &installFolder,
                                          &publisher,   &version,          &uninstallCommand};
    RegistryOperations registry(call.GetTransaction());
    registry.CreateRegKeyTree(key);
    for (size_t i = 0; i < std::size(kUninstallValueNames); ++i) {
        registry.SetRegValue(key, kUninstallValueNames[i], *values[i]);
    }
}

void InstallRemoveUninstallInfo(ScriptCall& call)
{
    RegistryOperations(call.GetTransaction()).RemoveRegKey(UninstallKey(call.WideArgument(1)));
}

void UninstallRemoveUninstallInfo(ScriptCall& call)
{
    const std::wstring key = UninstallKey(call.WideArgument(1));
    RegistryOperations registry(call.GetTransaction());
    for (const wchar_t* valueName : kUninstallValueNames) {
        registry.UninstallRemoveRegValue(key, valueName);
    }
    registry.UninstallRemoveRegKey(key);
}

}  // namespace

void UninstallInfoScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("install", "CreateShortcut", &CreateShortcut);
    binding.RegisterFunction("install", "CreateUrlShortcut", &CreateUrlShortcut);
    binding.RegisterFunction("install", "AddUninstallInfo", &AddUninstallInfo);
    binding.RegisterFunction("install", "RemoveUninstallInfo", &InstallRemoveUninstallInfo);
    binding.RegisterFunction("uninstall", "RemoveUninstallInfo", &UninstallRemoveUninstallInfo);
}

}  // namespace OstrelInstallEngine
