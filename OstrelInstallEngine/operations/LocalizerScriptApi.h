// localizer.GetString, localizer.FormatString and localizer.GetFormattedString:
// the texts of the string tables and the filling of their placeholders.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class LocalizerScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
