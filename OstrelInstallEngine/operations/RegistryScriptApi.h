// The registry functions of the script: util.IsRegKey, util.IsRegValue and
// util.GetRegValue; install.CreateRegKey, CreateRegKeyTree, RemoveRegKey,
// ClearAndRemoveRegKey, SetRegValue and RemoveRegValue; uninstall.RemoveRegKey,
// RemoveRegKeyTree, ClearAndRemoveRegKey and RemoveRegValue.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class RegistryScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
