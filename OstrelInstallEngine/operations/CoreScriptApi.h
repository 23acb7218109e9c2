// The script functions of the host itself: debug output, the script's own
// rollback and commit functions, warning suppression, the two error
// functions and util.Sleep.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class CoreScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
