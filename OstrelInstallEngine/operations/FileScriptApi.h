// The file and folder functions of the script API: the transactional
// install.* ones, the tolerant uninstall.* ones that record a problem instead
// of failing, and the immediate util.* ones.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class FileScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
