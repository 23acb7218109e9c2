// The pattern functions of the `wstring` table, as Lua 5.1's string library
// has them: find (init, plain), match (init), gmatch, gsub (a wide string,
// table or function replacement, the optional maximum count, the count of
// replacements as second result). Pattern faults raise Lua's own messages.
#pragma once

#include <lauxlib.h>
#include <lua.h>

namespace OstrelInstallEngine {

class LuaWideStringPatterns {
public:
    // The table for luaL_register, ended by a null entry.
    static const luaL_Reg* Functions();

private:
    static int Find(lua_State* L);
    static int Match(lua_State* L);
    static int GMatch(lua_State* L);
    static int GMatchNext(lua_State* L);
    static int GSub(lua_State* L);
    static int FindOrMatch(lua_State* L, bool isFind);
};

}  // namespace OstrelInstallEngine
