// progress.Report, progress.StartStep and progress.EndStep: the script's
// nested progress steps, and the points where a cancel request takes effect.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class ProgressScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
