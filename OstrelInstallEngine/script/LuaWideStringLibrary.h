// The functions of the `wstring` table that need no pattern: byte, char,
// len, lower, rep, reverse, sub, toutf8, upper. Positions are 1-based code
// unit indexes with Lua's rules for negative and out-of-range values.
#pragma once

#include <lauxlib.h>
#include <lua.h>

namespace OstrelInstallEngine {

class LuaWideStringLibrary {
public:
    // The table for luaL_register, ended by a null entry.
    static const luaL_Reg* Functions();

private:
    static int Byte(lua_State* L);
    static int Char(lua_State* L);
    static int Len(lua_State* L);
    static int Lower(lua_State* L);
    static int Rep(lua_State* L);
    static int Reverse(lua_State* L);
    static int Sub(lua_State* L);
    static int ToUtf8(lua_State* L);
    static int Upper(lua_State* L);
};

}  // namespace OstrelInstallEngine
