#include "script/ScriptCheck.h"

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <memory>

#include "base/LuaBindingError.h"
#include "script/LuaWideString.h"

namespace OstrelInstallEngine {

namespace {

const char* const kApiTables[] = {"debug", "install", "uninstall", "util",
                                  "progress", "localizer", "props"};

int OpenDialect(lua_State* state)
{
    luaL_openlibs(state);
    LuaWideString::Open(state);
    for (const char* table : kApiTables) {
        lua_newtable(state);
        lua_setglobal(state, table);
    }
    return 0;
}

[[noreturn]] void ThrowLuaError(lua_State* state)
{
    const char* message = lua_tostring(state, -1);
    throw LuaBindingError(message != nullptr ? message : "error without a message");
}

}  // namespace

std::vector<std::string> ScriptCheck::MissingFunctions(const std::string& text,
                                                       const std::string& chunkName,
                                                       const std::vector<std::string>& names)
{
    std::unique_ptr<lua_State, void (*)(lua_State*)> owner(luaL_newstate(), &lua_close);
    lua_State* state = owner.get();
    if (state == nullptr) {
        throw LuaBindingError("not enough memory");
    }
    if (lua_cpcall(state, &OpenDialect, nullptr) != 0 ||
        luaL_loadbuffer(state, text.data(), text.size(), chunkName.c_str()) != 0 ||
        lua_pcall(state, 0, 0, 0) != 0) {
        ThrowLuaError(state);
    }
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        // Raw, so that a metatable the script put on _G cannot raise here.
        lua_pushstring(state, name.c_str());
        lua_rawget(state, LUA_GLOBALSINDEX);
        if (lua_type(state, -1) != LUA_TFUNCTION) {
            missing.push_back(name);
        }
        lua_pop(state, 1);
    }
    return missing;
}

}  // namespace OstrelInstallEngine
