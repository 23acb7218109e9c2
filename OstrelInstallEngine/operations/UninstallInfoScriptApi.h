// The product's presence in the shell: install.CreateShortcut,
// install.CreateUrlShortcut, install.AddUninstallInfo,
// install.RemoveUninstallInfo and uninstall.RemoveUninstallInfo. The entry in
// the list of installed programs is the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<id>.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class UninstallInfoScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
