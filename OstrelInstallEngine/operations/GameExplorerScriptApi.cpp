#include "operations/GameExplorerScriptApi.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "base/Exception.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"
#include "platform/GameExplorer.h"
#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "transactions/ClearAndRemoveRegKeyTask.h"
#include "transactions/RemoveGameExplorerInfoTask.h"
#include "transactions/RemoveRegValueTask.h"
#include "transactions/SetRegValueTask.h"

namespace OstrelInstallEngine {

namespace {

std::wstring UpgradeKeyPath(const std::string& guidText)
{
    return FormatWide(
        L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\GameUX\\"
        L"GamesToFindOnWindowsUpgrade\\%hs",
        guidText.c_str());
}

std::wstring TaskFolderPath(InstallerPackage& package, const std::string& guidText)
{
    return FormatWide(L"%s\\Microsoft\\Windows\\GameExplorer\\%hs",
                      package.GetProp("CommonAppDataDir").c_str(), guidText.c_str());
}

// Every missing level below the root, parents first, each removed again at
// rollback.
void CreateKeyTreeTransacted(InstallerPackage& package, const std::wstring& keyPath)
{
    SystemStateManager& state = package.GetSystemStateManager();
    for (size_t end = keyPath.find(L'\\'); end != std::wstring::npos;) {
        end = keyPath.find(L'\\', end + 1);
        const std::wstring level = keyPath.substr(0, end);
        if (!state.IsRegKey(level)) {
            state.CreateRegKey(level);
            package.AddRollbackTask(std::make_unique<ClearAndRemoveRegKeyTask>(level));
        }
    }
}

// Queues writing an existing value back with its old type and data.
void BackUpValue(InstallerPackage& package, const RegistryKey& key, const std::wstring& keyPath,
                 const std::wstring& name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return;
    }
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, data.data(), &size) ==
        ERROR_SUCCESS) {
        package.AddRollbackTask(
            std::make_unique<SetRegValueTask>(keyPath, name, type, data.data(), size));
    }
}

// A REG_SZ value; at rollback the new value goes and an old one comes back.
void SetValueTransacted(InstallerPackage& package, const std::wstring& keyPath,
                        const std::wstring& name, const std::wstring& value)
{
    RegistryKey key = package.GetSystemStateManager().OpenRegKey(keyPath);
    BackUpValue(package, key, keyPath, name);
    const LSTATUS status =
        RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        throw Win32Exception(
            Localizer::Text(1000010044, name, keyPath), Localizer::Text(1000010043, name, keyPath),
            FormatWide(L"Error setting value \"%s\" in \"%s\"", name.c_str(), keyPath.c_str()),
            10198, L"RegSetValueExW", static_cast<DWORD>(status));
    }
    package.AddRollbackTask(std::make_unique<RemoveRegValueTask>(keyPath, name));
}

// A failure is recorded as a problem, and the uninstallation goes on.
template <typename Removal>
void RemoveTolerantly(InstallerPackage& package, Removal removal)
{
    try {
        removal();
    } catch (const Exception& failure) {
        package.AddError(failure.Clone());
    }
}

void AddGameExplorerInfo(ScriptCall& call)
{
    const std::string guidText = call.NarrowArgument(1);
    const std::wstring gdfBinPath = call.WideArgument(2);
    const std::wstring installPath = call.WideArgument(3);
    InstallerPackage& package = call.Package();
    const GUID instanceId = GuidFromString(guidText);
    if (!AddGame(instanceId, gdfBinPath, installPath)) {
        const std::wstring keyPath = UpgradeKeyPath(guidText);
        CreateKeyTreeTransacted(package, keyPath);
        SetValueTransacted(package, keyPath, L"GDFBinaryPath", gdfBinPath);
        SetValueTransacted(package, keyPath, L"GameInstallPath", installPath);
        call.ReturnBool(false);
        return;
    }
    package.AddRollbackTask(std::make_unique<RemoveGameExplorerInfoTask>(instanceId));
    // Tasks of an earlier installation must not outlive this one.
    const std::wstring taskFolder = TaskFolderPath(package, guidText);
    SystemStateManager& state = package.GetSystemStateManager();
    if (state.IsDirectory(taskFolder)) {
        RemoveTolerantly(package, [&] { state.NukeDirectory(taskFolder); });
    }
    call.ReturnBool(true);
}

void RemoveGameExplorerInfo(ScriptCall& call)
{
    const std::string guidText = call.NarrowArgument(1);
    InstallerPackage& package = call.Package();
    RemoveGame(GuidFromString(guidText));
    SystemStateManager& state = package.GetSystemStateManager();
    const std::wstring keyPath = UpgradeKeyPath(guidText);
    RemoveTolerantly(package, [&] {
        if (state.IsRegKey(keyPath)) {
            state.RemoveRegKey(keyPath);
        }
    });
    const std::wstring taskFolder = TaskFolderPath(package, guidText);
    RemoveTolerantly(package, [&] {
        if (state.IsDirectory(taskFolder) || state.IsFile(taskFolder)) {
            state.NukeDirectory(taskFolder);
        }
    });
}

}  // namespace

void GameExplorerScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("install", "AddGameExplorerInfo", &AddGameExplorerInfo);
    binding.RegisterFunction("uninstall", "RemoveGameExplorerInfo", &RemoveGameExplorerInfo);
}

}  // namespace OstrelInstallEngine
