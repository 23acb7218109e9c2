// The script functions that hand work to other programs: Windows Installer
// products, programs run to their end with everything they start, engine
// uninstallers run as sub-installs, and the check for a running program.
// What these programs change is not rolled back.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class ProcessScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
