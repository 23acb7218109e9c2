#include "operations/ScriptApi.h"

#include "operations/CoreScriptApi.h"
#include "operations/FileScriptApi.h"
#include "operations/LocalizerScriptApi.h"
#include "script/LuaBinding.h"
#include "operations/ProgressScriptApi.h"
#include "operations/RegistryScriptApi.h"
#include "operations/UninstallInfoScriptApi.h"

namespace OstrelInstallEngine {

void ScriptApi::Register(LuaBinding& binding)
{
    // Fresh tables replace any global of the name, the standard debug
    // library included: the script's debug is the engine's.
    for (const char* table : {"debug", "install", "uninstall", "util", "progress", "localizer"}) {
        binding.CreateApiTable(table);
    }
    CoreScriptApi::Register(binding);
    FileScriptApi::Register(binding);
    RegistryScriptApi::Register(binding);
    UninstallInfoScriptApi::Register(binding);
    ProgressScriptApi::Register(binding);
    LocalizerScriptApi::Register(binding);
}

}  // namespace OstrelInstallEngine
