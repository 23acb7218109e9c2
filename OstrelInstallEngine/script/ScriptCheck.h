// Checks a script before it ships, without a package, a lock or a temporary
// folder: a packaging tool runs it on a studio's script.
#pragma once

#include <string>
#include <vector>

namespace OstrelInstallEngine {

class ScriptCheck {
public:
    // Compiles the text as one chunk in the engine's dialect and runs its top
    // level in a state of its own: the engine's libraries and wide strings,
    // and empty API tables, since a script's top level only defines data and
    // functions. A chunk name "@file" makes Lua's messages "file:line: ...".
    // A syntax or top-level error throws LuaBindingError with that message.
    // Returns those of the names that are not global functions afterwards.
    static std::vector<std::string> MissingFunctions(const std::string& text,
                                                     const std::string& chunkName,
                                                     const std::vector<std::string>& names);
};

}  // namespace OstrelInstallEngine
