// The script functions that register a game with the Game Explorer, give it
// play and support tasks, and take it off again. Without a Game Explorer the
// game is recorded under the key the platform reads when it is upgraded.
#pragma once

namespace OstrelInstallEngine {

class LuaBinding;

class GameExplorerScriptApi {
public:
    static void Register(LuaBinding& binding);
};

}  // namespace OstrelInstallEngine
