// A Lua state for the wide-string tests: the standard libraries and the
// wide-string dialect opened, closed when the test ends.
#pragma once

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <string>

#include "script/LuaWideString.h"

namespace OstrelTest {

class LuaWideStringTestState {
public:
    LuaWideStringTestState() : m_state(luaL_newstate())
    {
        luaL_openlibs(m_state);
        OstrelInstallEngine::LuaWideString::Open(m_state);
    }
    ~LuaWideStringTestState() { lua_close(m_state); }
    LuaWideStringTestState(const LuaWideStringTestState&) = delete;
    LuaWideStringTestState& operator=(const LuaWideStringTestState&) = delete;

    lua_State* State() const { return m_state; }

    // Runs a chunk; returns "" on success (its results stay on the stack)
    // or the error message.
    std::string Run(const std::string& chunk)
    {
        lua_settop(m_state, 0);
        if (luaL_loadbuffer(m_state, chunk.data(), chunk.size(), "=test") == 0 &&
            lua_pcall(m_state, 0, LUA_MULTRET, 0) == 0) {
            return std::string();
        }
        const std::string text = lua_tostring(m_state, -1) != nullptr ? lua_tostring(m_state, -1) : "(no message)";
        lua_settop(m_state, 0);
        return text;
    }

    // Runs a chunk and returns its first result as text (tostring),
    // "<error: message>" when it fails.
    std::string Eval(const std::string& chunk)
    {
        const std::string failure = Run("return tostring((function() " + chunk + " end)())");
        size_t length = 0;
        const char* text = failure.empty() ? lua_tolstring(m_state, -1, &length) : nullptr;
        return failure.empty() ? std::string(text, length) : "<error: " + failure + ">";
    }

private:
    lua_State* m_state;
};

}  // namespace OstrelTest
