// The script functions that enter programs in the firewall's list of
// authorised applications and take them off again.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class FirewallScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
