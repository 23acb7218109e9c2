#include "LuaWideStringTestState.h"

#include <lauxlib.h>
#include <lualib.h>

#include <stdexcept>

#include "script/LuaWideString.h"

namespace OstrelTest {

LuaWideStringTestState::LuaWideStringTestState() : m_state(luaL_newstate())
{
    if (m_state == nullptr) {
        throw std::runtime_error("cannot create a Lua state");
    }
    luaL_openlibs(m_state);
    OstrelInstallEngine::LuaWideString::Open(m_state);
}

LuaWideStringTestState::~LuaWideStringTestState()
{
    lua_close(m_state);
}

std::string LuaWideStringTestState::Run(const std::string& chunk)
{
    lua_settop(m_state, 0);
    if (luaL_loadbuffer(m_state, chunk.data(), chunk.size(), "=test") != 0 ||
        lua_pcall(m_state, 0, LUA_MULTRET, 0) != 0) {
        const char* message = lua_tostring(m_state, -1);
        std::string text = message != nullptr ? message : "(error without a message)";
        lua_settop(m_state, 0);
        return text;
    }
    return std::string();
}

std::string LuaWideStringTestState::Eval(const std::string& chunk)
{
    const std::string failure = Run("return tostring((function() " + chunk + " end)())");
    if (!failure.empty()) {
        return "<error: " + failure + ">";
    }
    size_t length = 0;
    const char* text = lua_tolstring(m_state, -1, &length);
    return std::string(text, length);
}

}  // namespace OstrelTest
