#include "script/LuaWideString.h"

#include <lauxlib.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

#include "script/LuaWideStringBoundary.h"
#include "script/LuaWideStringFormat.h"
#include "script/LuaWideStringLibrary.h"
#include "script/LuaWideStringPatterns.h"
#include "script/WideUtf8.h"

namespace OstrelInstallEngine {

namespace {

const char kMetatableKey[] = "OstrelInstallEngine.WideString";
const char kCacheKey[] = "OstrelInstallEngine.WideStringCache";

int AbsoluteIndex(lua_State* L, int index)
{
    return (index > 0 || index <= LUA_REGISTRYINDEX) ? index : lua_gettop(L) + index + 1;
}

// The cache's key for a text: each code unit in the byte shapes of UTF-8
// (one to three bytes, lone surrogates included), so that no two texts share
// a key. Lua 5.1 hashes a string from a sample of its bytes, every second
// byte for keys of 32 to 63 bytes: the raw UTF-16 of plain text would offer
// it only zero high bytes, and every path of one length would land in one
// hash chain, which made each new wide string cost a walk through thousands.
std::string CacheKey(const wchar_t* text, size_t length)
{
    std::string key;
    key.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const unsigned unit = static_cast<uint16_t>(text[i]);
        if (unit < 0x80) {
            key += static_cast<char>(unit);
        } else if (unit < 0x800) {
            key += static_cast<char>(0xC0 | (unit >> 6));
            key += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            key += static_cast<char>(0xE0 | (unit >> 12));
            key += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            key += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return key;
}

std::wstring_view ViewOf(lua_State* L, int index)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, index, &length);
    return std::wstring_view(text, length);
}

// How a concatenation error names an operand: "a wide string", "a narrow
// string", "a nil value", ...
const char* DescribeOperand(lua_State* L, int index)
{
    if (LuaWideString::Is(L, index)) {
        return "a wide string";
    }
    if (lua_type(L, index) == LUA_TSTRING) {
        return "a narrow string";
    }
    return lua_pushfstring(L, "a %s value", luaL_typename(L, index));
}

bool IsConcatenable(lua_State* L, int index)
{
    return LuaWideString::Is(L, index) || lua_type(L, index) == LUA_TNUMBER;
}

std::wstring OperandText(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TNUMBER) {
        return LuaWideString::NumberText(L, index);
    }
    size_t length = 0;
    const wchar_t* text = LuaWideString::To(L, index, &length);
    return std::wstring(text, length);
}

}  // namespace

void LuaWideString::Open(lua_State* L)
{
    luaL_register(L, "wstring", LuaWideStringLibrary::Functions());
    luaL_register(L, nullptr, LuaWideStringPatterns::Functions());
    luaL_register(L, nullptr, LuaWideStringFormat::Functions());
    lua_pushcfunction(L, LuaWideStringBoundary::Call<&CallL>);
    lua_pushvalue(L, -1);
    lua_setfield(L, -3, "fromutf8");
    lua_setglobal(L, "L");
    CreateMetatable(L);
    CreateCache(L);
    lua_pop(L, 1);
}

void LuaWideString::CreateMetatable(lua_State* L)
{
    static const luaL_Reg kMetamethods[] = {
        {"__concat", LuaWideStringBoundary::Call<&Concatenate>},
        {"__eq", LuaWideStringBoundary::Call<&Equal>},
        {"__lt", LuaWideStringBoundary::Call<&LessThan>},
        {"__le", LuaWideStringBoundary::Call<&LessOrEqual>},
        {"__len", LuaWideStringBoundary::Call<&Length>},
        {"__tostring", LuaWideStringBoundary::Call<&ToUtf8String>},
        {nullptr, nullptr},
    };
    luaL_newmetatable(L, kMetatableKey);
    luaL_register(L, nullptr, kMetamethods);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
}

// Keyed by the raw bytes of the code units; weak values let a wide string
// die when nothing else refers to it.
void LuaWideString::CreateCache(lua_State* L)
{
    lua_newtable(L);
    lua_newtable(L);
    lua_pushliteral(L, "v");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_setfield(L, LUA_REGISTRYINDEX, kCacheKey);
}

void LuaWideString::Push(lua_State* L, const wchar_t* text, size_t length)
{
    luaL_checkstack(L, 4, "no room for a wide string");
    lua_getfield(L, LUA_REGISTRYINDEX, kCacheKey);
    if (!lua_istable(L, -1)) {
        luaL_error(L, "wide strings are not open in this Lua state");
    }
    const std::string key = CacheKey(text, length);
    lua_pushlstring(L, key.data(), key.size());
    lua_pushvalue(L, -1);
    lua_rawget(L, -3);
    if (!lua_isnil(L, -1)) {
        lua_replace(L, -3);
        lua_pop(L, 1);
        return;
    }
    lua_pop(L, 1);
    wchar_t* characters = static_cast<wchar_t*>(lua_newuserdata(L, (length + 1) * sizeof(wchar_t)));
    if (length > 0) {
        std::wmemcpy(characters, text, length);
    }
    characters[length] = 0;
    lua_getfield(L, LUA_REGISTRYINDEX, kMetatableKey);
    lua_setmetatable(L, -2);
    lua_pushvalue(L, -1);
    lua_insert(L, -4);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

void LuaWideString::Push(lua_State* L, const std::wstring& text)
{
    Push(L, text.data(), text.size());
}

bool LuaWideString::Is(lua_State* L, int index)
{
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index)) {
        return false;
    }
    lua_getfield(L, LUA_REGISTRYINDEX, kMetatableKey);
    const bool isWide = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return isWide;
}

const wchar_t* LuaWideString::To(lua_State* L, int index, size_t* length)
{
    if (!Is(L, index)) {
        return nullptr;
    }
    if (length != nullptr) {
        *length = lua_objlen(L, index) / sizeof(wchar_t) - 1;
    }
    return static_cast<const wchar_t*>(lua_touserdata(L, index));
}

const wchar_t* LuaWideString::Check(lua_State* L, int index, size_t* length)
{
    index = AbsoluteIndex(L, index);
    if (lua_type(L, index) == LUA_TNUMBER) {
        Push(L, NumberText(L, index));
        lua_replace(L, index);
    }
    const wchar_t* text = To(L, index, length);
    if (text == nullptr) {
        luaL_typerror(L, index, "wide string");
    }
    return text;
}

std::wstring LuaWideString::NumberText(lua_State* L, int index)
{
    lua_pushvalue(L, index);
    size_t length = 0;
    const char* digits = lua_tolstring(L, -1, &length);
    std::wstring text = digits != nullptr ? std::wstring(digits, digits + length) : std::wstring();
    lua_pop(L, 1);
    return text;
}

int LuaWideString::CallL(lua_State* L)
{
    if (Is(L, 1)) {
        lua_settop(L, 1);
        return 1;
    }
    if (lua_type(L, 1) != LUA_TSTRING) {
        return luaL_typerror(L, 1, "string");
    }
    size_t length = 0;
    const char* bytes = lua_tolstring(L, 1, &length);
    std::wstring text;
    size_t errorOffset = 0;
    if (!WideUtf8::Decode(bytes, length, text, errorOffset)) {
        const char* message = lua_pushfstring(L, "invalid UTF-8 sequence at byte %d",
                                              static_cast<int>(errorOffset + 1));
        return luaL_argerror(L, 1, message);
    }
    Push(L, text);
    return 1;
}

int LuaWideString::Concatenate(lua_State* L)
{
    if (!IsConcatenable(L, 1) || !IsConcatenable(L, 2)) {
        const char* left = DescribeOperand(L, 1);
        const char* right = DescribeOperand(L, 2);
        return luaL_error(L, "attempt to concatenate %s with %s", left, right);
    }
    Push(L, OperandText(L, 1) + OperandText(L, 2));
    return 1;
}

int LuaWideString::Equal(lua_State* L)
{
    size_t leftLength = 0;
    size_t rightLength = 0;
    const wchar_t* left = To(L, 1, &leftLength);
    const wchar_t* right = To(L, 2, &rightLength);
    lua_pushboolean(L, left != nullptr && right != nullptr &&
                           std::wstring_view(left, leftLength) == std::wstring_view(right, rightLength));
    return 1;
}

int LuaWideString::Compare(lua_State* L)
{
    return ViewOf(L, 1).compare(ViewOf(L, 2));
}

int LuaWideString::LessThan(lua_State* L)
{
    lua_pushboolean(L, Compare(L) < 0);
    return 1;
}

int LuaWideString::LessOrEqual(lua_State* L)
{
    lua_pushboolean(L, Compare(L) <= 0);
    return 1;
}

int LuaWideString::Length(lua_State* L)
{
    lua_pushinteger(L, static_cast<lua_Integer>(ViewOf(L, 1).size()));
    return 1;
}

int LuaWideString::ToUtf8String(lua_State* L)
{
    const std::wstring_view text = ViewOf(L, 1);
    const std::string bytes = WideUtf8::Encode(text.data(), text.size());
    lua_pushlstring(L, bytes.data(), bytes.size());
    return 1;
}

}  // namespace OstrelInstallEngine
