#include "script/ScriptCall.h"

#include <cmath>
#include <cstdlib>

#include <lauxlib.h>
#include <lua.h>

#include "script/InstallerPackage.h"
#include "script/LuaWideString.h"

namespace OstrelInstallEngine {

namespace {

// Truncates toward zero and keeps the low 64 bits; values beyond the signed
// 64-bit range saturate instead of being undefined.
uint64_t TruncateTo64Bits(double value)
{
    const double truncated = std::trunc(value);
    if (std::isnan(truncated)) {
        return 0;
    }
    if (truncated >= 9223372036854775807.0) {
        return static_cast<uint64_t>(INT64_MAX);
    }
    if (truncated <= -9223372036854775808.0) {
        return static_cast<uint64_t>(INT64_MIN);
    }
    return static_cast<uint64_t>(static_cast<int64_t>(truncated));
}

}  // namespace

ScriptCall::ScriptCall(lua_State* state, InstallerPackage& package, const char* functionName)
    : m_state(state), m_package(package), m_functionName(functionName)
{
}

Transaction& ScriptCall::GetTransaction() const
{
    return m_package.GetTransaction();
}

int ScriptCall::ArgumentCount() const
{
    return lua_gettop(m_state);
}

void ScriptCall::BadArgument(int number) const
{
    luaL_error(m_state, "bad argument #%d to '%s' (%s)", number, m_functionName, "bad argument");
    // luaL_error raises the Lua error and does not come back.
    std::abort();
}

std::wstring ScriptCall::WideArgument(int number) const
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::To(m_state, number, &length);
    if (text == nullptr) {
        BadArgument(number);
    }
    return std::wstring(text, length);
}

std::string ScriptCall::NarrowArgument(int number) const
{
    if (lua_type(m_state, number) != LUA_TSTRING) {
        BadArgument(number);
    }
    size_t length = 0;
    const char* text = lua_tolstring(m_state, number, &length);
    return std::string(text, length);
}

double ScriptCall::NumberArgument(int number) const
{
    if (lua_type(m_state, number) != LUA_TNUMBER) {
        BadArgument(number);
    }
    return lua_tonumber(m_state, number);
}

int ScriptCall::IntArgument(int number) const
{
    return static_cast<int>(static_cast<uint32_t>(TruncateTo64Bits(NumberArgument(number))));
}

uint32_t ScriptCall::UIntArgument(int number) const
{
    return static_cast<uint32_t>(TruncateTo64Bits(NumberArgument(number)));
}

bool ScriptCall::BoolArgument(int number) const
{
    if (lua_type(m_state, number) != LUA_TBOOLEAN) {
        BadArgument(number);
    }
    return lua_toboolean(m_state, number) != 0;
}

int ScriptCall::ReferenceArgument(int number, bool* isFunction) const
{
    *isFunction = lua_type(m_state, number) == LUA_TFUNCTION;
    lua_pushvalue(m_state, number);
    return luaL_ref(m_state, LUA_REGISTRYINDEX);
}

std::wstring ScriptCall::TextArgument(int number) const
{
    if (LuaWideString::Is(m_state, number)) {
        return WideArgument(number);
    }
    if (lua_type(m_state, number) == LUA_TNUMBER) {
        return LuaWideString::NumberText(m_state, number);
    }
    BadArgument(number);
}

void ScriptCall::ReturnBool(bool value)
{
    lua_pushboolean(m_state, value ? 1 : 0);
    ++m_resultCount;
}

void ScriptCall::ReturnInt(int value)
{
    lua_pushnumber(m_state, value);
    ++m_resultCount;
}

void ScriptCall::ReturnUInt(uint32_t value)
{
    lua_pushnumber(m_state, value);
    ++m_resultCount;
}

void ScriptCall::ReturnWide(const std::wstring& value)
{
    LuaWideString::Push(m_state, value);
    ++m_resultCount;
}

void ScriptCall::ReturnNil()
{
    lua_pushnil(m_state);
    ++m_resultCount;
}

void ScriptCall::ReturnNarrow(const std::string& value)
{
    lua_pushlstring(m_state, value.data(), value.size());
    ++m_resultCount;
}

}  // namespace OstrelInstallEngine
