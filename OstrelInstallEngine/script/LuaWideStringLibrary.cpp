#include "script/LuaWideStringLibrary.h"

#include <algorithm>
#include <climits>
#include <string>

#include "script/LuaWideString.h"
#include "script/LuaWideStringBoundary.h"
#include "script/LuaWideStringPosition.h"
#include "script/WideCharacterClass.h"
#include "script/WideUtf8.h"

namespace OstrelInstallEngine {

namespace {

// Beyond this many code units a repetition is refused before it is built.
const size_t kMaxResultLength = static_cast<size_t>(1) << 30;

std::wstring CheckedText(lua_State* L, int index)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, index, &length);
    return std::wstring(text, length);
}

}  // namespace

const luaL_Reg* LuaWideStringLibrary::Functions()
{
    static const luaL_Reg kFunctions[] = {
        {"byte", LuaWideStringBoundary::Call<&Byte>},
        {"char", LuaWideStringBoundary::Call<&Char>},
        {"len", LuaWideStringBoundary::Call<&Len>},
        {"lower", LuaWideStringBoundary::Call<&Lower>},
        {"rep", LuaWideStringBoundary::Call<&Rep>},
        {"reverse", LuaWideStringBoundary::Call<&Reverse>},
        {"sub", LuaWideStringBoundary::Call<&Sub>},
        {"toutf8", LuaWideStringBoundary::Call<&ToUtf8>},
        {"upper", LuaWideStringBoundary::Call<&Upper>},
        {nullptr, nullptr},
    };
    return kFunctions;
}

int LuaWideStringLibrary::Len(lua_State* L)
{
    size_t length = 0;
    LuaWideString::Check(L, 1, &length);
    lua_pushinteger(L, static_cast<lua_Integer>(length));
    return 1;
}

int LuaWideStringLibrary::Sub(lua_State* L)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, 1, &length);
    const LuaWideStringPosition::Span span = LuaWideStringPosition::Clamp(
        luaL_checkinteger(L, 2), luaL_optinteger(L, 3, -1), length);
    LuaWideString::Push(L, text + span.first, span.count);
    return 1;
}

int LuaWideStringLibrary::Upper(lua_State* L)
{
    std::wstring text = CheckedText(L, 1);
    std::transform(text.begin(), text.end(), text.begin(), WideCharacterClass::ToUpper);
    LuaWideString::Push(L, text);
    return 1;
}

int LuaWideStringLibrary::Lower(lua_State* L)
{
    std::wstring text = CheckedText(L, 1);
    std::transform(text.begin(), text.end(), text.begin(), WideCharacterClass::ToLower);
    LuaWideString::Push(L, text);
    return 1;
}

int LuaWideStringLibrary::Rep(lua_State* L)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, 1, &length);
    const lua_Integer count = luaL_checkinteger(L, 2);
    if (count <= 0 || length == 0) {
        LuaWideString::Push(L, L"", 0);
        return 1;
    }
    if (static_cast<size_t>(count) > kMaxResultLength / length) {
        return luaL_error(L, "resulting string too large");
    }
    std::wstring result;
    result.reserve(length * static_cast<size_t>(count));
    for (lua_Integer i = 0; i < count; ++i) {
        result.append(text, length);
    }
    LuaWideString::Push(L, result);
    return 1;
}

// Reverses code units, as string.reverse reverses bytes: a surrogate pair
// comes out in the wrong order.
int LuaWideStringLibrary::Reverse(lua_State* L)
{
    std::wstring text = CheckedText(L, 1);
    std::reverse(text.begin(), text.end());
    LuaWideString::Push(L, text);
    return 1;
}

int LuaWideStringLibrary::Byte(lua_State* L)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, 1, &length);
    const lua_Integer first = luaL_optinteger(L, 2, 1);
    const LuaWideStringPosition::Span span =
        LuaWideStringPosition::Clamp(first, luaL_optinteger(L, 3, first), length);
    if (span.count > static_cast<size_t>(INT_MAX)) {
        return luaL_error(L, "string slice too long");
    }
    luaL_checkstack(L, static_cast<int>(span.count), "string slice too long");
    for (size_t i = 0; i < span.count; ++i) {
        lua_pushinteger(L, text[span.first + i]);
    }
    return static_cast<int>(span.count);
}

int LuaWideStringLibrary::Char(lua_State* L)
{
    const int count = lua_gettop(L);
    std::wstring text(static_cast<size_t>(count), L'\0');
    for (int i = 1; i <= count; ++i) {
        const int unit = luaL_checkint(L, i);
        luaL_argcheck(L, unit >= 0 && unit <= 0xFFFF, i, "invalid value");
        text[i - 1] = static_cast<wchar_t>(unit);
    }
    LuaWideString::Push(L, text);
    return 1;
}

int LuaWideStringLibrary::ToUtf8(lua_State* L)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, 1, &length);
    const std::string bytes = WideUtf8::Encode(text, length);
    lua_pushlstring(L, bytes.data(), bytes.size());
    return 1;
}

}  // namespace OstrelInstallEngine
