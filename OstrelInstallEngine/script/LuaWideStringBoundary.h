// The C boundary of the wide-string library's Lua functions: a pattern fault
// or an exhausted heap inside a function becomes a Lua error with Lua's own
// text, so no C++ exception reaches Lua raw. Lua's errors pass untouched.
#pragma once

#include <lauxlib.h>
#include <lua.h>

#include <new>
#include <string>

#include "script/WidePatternException.h"

namespace OstrelInstallEngine {

class LuaWideStringBoundary {
public:
    template <int (*Body)(lua_State*)>
    static int Call(lua_State* L)
    {
        std::string failure;
        try {
            return Body(L);
        } catch (const WidePatternException& exception) {
            failure = exception.what();
        } catch (const std::bad_alloc&) {
            failure = "not enough memory";
        }
        return luaL_error(L, "%s", failure.c_str());
    }
};

}  // namespace OstrelInstallEngine
