#include "operations/GameExplorerScriptApi.h"

#include <windows.h>
#include <shlwapi.h>

#include <memory>

#include "base/Exception.h"
#include "base/Util.h"
#include "operations/RegistryOperations.h"
#include "operations/ShellLink.h"
#include "platform/GameExplorer.h"
#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "transactions/RemoveDirectoryTask.h"
#include "transactions/RemoveGameExplorerInfoTask.h"

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

// The task folders are created parent first, so that at rollback each
// created level goes after the levels below it.
void CreateFolderTreeTransacted(InstallerPackage& package, const std::wstring& folder)
{
    SystemStateManager& state = package.GetTransaction().GetSystemStateManager();
    const wchar_t* afterRoot = PathSkipRootW(folder.c_str());
    size_t end = afterRoot == nullptr ? folder.find(L'\\')
                                      : static_cast<size_t>(afterRoot - folder.c_str()) - 1;
    while (end != std::wstring::npos) {
        end = folder.find(L'\\', end + 1);
        const std::wstring level = folder.substr(0, end);
        if (!state.IsDirectory(level)) {
            state.CreateDirectory(level);
            package.GetTransaction().AddRollbackTask(std::make_unique<RemoveDirectoryTask>(level));
        }
    }
}

void AddTask(InstallerPackage& package, const wchar_t* folderFormat,
             const std::string& guidText, int taskNumber, ShellLink::Fields link,
             const std::wstring& taskName)
{
    const std::wstring folder =
        FormatWide(folderFormat, package.GetProp("CommonAppDataDir").c_str(), guidText.c_str(),
                   taskNumber);
    CreateFolderTreeTransacted(package, folder);
    link.linkPath = FormatWide(L"%s\\%s.lnk", folder.c_str(), taskName.c_str());
    ShellLink::CreateShortcut(package.GetTransaction(), link);
}

// A failure is recorded as a problem, and the uninstallation goes on.
template <typename Removal>
void RemoveTolerantly(InstallerPackage& package, Removal removal)
{
    try {
        removal();
    } catch (const Exception& failure) {
        package.GetTransaction().AddError(failure.Clone());
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
        RegistryOperations registry(package.GetTransaction());
        registry.CreateRegKeyTree(keyPath);
        registry.SetRegValue(keyPath, L"GDFBinaryPath", gdfBinPath);
        registry.SetRegValue(keyPath, L"GameInstallPath", installPath);
        call.ReturnBool(false);
        return;
    }
    package.GetTransaction().AddRollbackTask(std::make_unique<RemoveGameExplorerInfoTask>(instanceId));
    // Tasks of an earlier installation must not outlive this one.
    const std::wstring taskFolder = TaskFolderPath(package, guidText);
    SystemStateManager& state = package.GetTransaction().GetSystemStateManager();
    if (state.IsDirectory(taskFolder)) {
        RemoveTolerantly(package, [&] { state.NukeDirectory(taskFolder); });
    }
    call.ReturnBool(true);
}

void AddGameExplorerPlayTask(ScriptCall& call)
{
    const std::string guidText = call.NarrowArgument(1);
    const std::wstring name = call.WideArgument(2);
    const int taskNumber = call.IntArgument(3);
    ShellLink::Fields link;
    link.target = call.WideArgument(4);
    link.workingFolder = call.WideArgument(5);
    link.arguments = call.WideArgument(6);
    AddTask(call.Package(), L"%s\\Microsoft\\Windows\\GameExplorer\\%hs\\PlayTasks\\%d", guidText,
            taskNumber, link, name);
}

void AddGameExplorerSupportTask(ScriptCall& call)
{
    const std::string guidText = call.NarrowArgument(1);
    const std::wstring name = call.WideArgument(2);
    const int taskNumber = call.IntArgument(3);
    ShellLink::Fields link;
    link.target = call.WideArgument(4);
    AddTask(call.Package(), L"%s\\Microsoft\\Windows\\GameExplorer\\%hs\\SupportTasks\\%d",
            guidText, taskNumber, link, name);
}

void RemoveGameExplorerInfo(ScriptCall& call)
{
    const std::string guidText = call.NarrowArgument(1);
    InstallerPackage& package = call.Package();
    RemoveGame(GuidFromString(guidText));
    RegistryOperations(package.GetTransaction()).UninstallRemoveRegKey(UpgradeKeyPath(guidText));
    SystemStateManager& state = package.GetTransaction().GetSystemStateManager();
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
    binding.RegisterFunction("install", "AddGameExplorerPlayTask", &AddGameExplorerPlayTask);
    binding.RegisterFunction("install", "AddGameExplorerSupportTask", &AddGameExplorerSupportTask);
    binding.RegisterFunction("uninstall", "RemoveGameExplorerInfo", &RemoveGameExplorerInfo);
}

}  // namespace OstrelInstallEngine
