// Registers the whole script API of a package: the tables debug, install,
// uninstall, util, progress and localizer, each filled by its family.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class ScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
