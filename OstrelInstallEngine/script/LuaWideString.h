// The wide-string value type of the engine's Lua dialect, and the one place
// that defines it.
//
// In Lua 5.1's grammar L"text" calls the global function L with a string:
// L decodes its argument as UTF-8 (so a UTF-8 script writes L"é€", and
// L"\195\169" is é too); characters above U+FFFF become surrogate pairs; an
// invalid sequence is the error "bad argument #1 to 'L' (invalid UTF-8
// sequence at byte N)", N counting from 1. L of a wide string returns it
// unchanged; anything else (numbers included) is a bad argument.
//
// A wide string is an immutable full userdata of UTF-16 code units with one
// shared metatable: `..` joins two wide strings, or a wide string and a
// number (formatted as Lua formats numbers, "%.14g"); a narrow string on
// either side is the error "attempt to concatenate a wide string with a
// narrow string" (or the mirror text). ==, <, <= compare code units; # counts
// them; methods come from the `wstring` table (w:sub(2)); tostring gives
// UTF-8. Equal contents are interned into one userdata through a weak-valued
// cache in the registry, so == and table keys work by content and the cache
// keeps nothing alive. A wide string never equals a narrow one.
//
// The `wstring` library mirrors Lua 5.1's `string` over code units: byte,
// char, find, format, gmatch, gsub, len, lower, match, rep, reverse, sub,
// upper, plus fromutf8 (same as L) and toutf8 (narrow UTF-8). Where a wide
// string is wanted a number is accepted and converted, as `string` does with
// numbers; a narrow string is a bad argument ("wide string expected, got
// string"). Classes and case mapping: see WideCharacterClass.h; patterns:
// see WidePatternMatcher.h.
#pragma once

#include <lua.h>

#include <cstddef>
#include <string>

namespace OstrelInstallEngine {

class LuaWideString {
public:
    // Registers the global function L, the `wstring` table and the shared
    // metatable. Call once per state, before any other function here.
    static void Open(lua_State* L);

    // Pushes a wide string (interned: equal contents give the same
    // userdata). The text may hold L'\0'.
    static void Push(lua_State* L, const wchar_t* text, size_t length);
    static void Push(lua_State* L, const std::wstring& text);

    // True when the value at index is a wide string.
    static bool Is(lua_State* L, int index);

    // The characters (NUL-terminated, valid while the value is alive) and
    // length; null when not a wide string (length then untouched).
    static const wchar_t* To(lua_State* L, int index, size_t* length = nullptr);

    // The wide string at index for a function bound to Lua; a number there is
    // replaced in place by its wide form. Anything else raises the Lua error
    // "bad argument #n to 'f' (wide string expected, got <type>)".
    static const wchar_t* Check(lua_State* L, int index, size_t* length = nullptr);

    // The wide form of the number at index ("%.14g", as Lua converts
    // numbers); empty when the value there is not a number.
    static std::wstring NumberText(lua_State* L, int index);

private:
    static int CallL(lua_State* L);
    static int Concatenate(lua_State* L);
    static int Equal(lua_State* L);
    static int LessThan(lua_State* L);
    static int LessOrEqual(lua_State* L);
    static int Length(lua_State* L);
    static int ToUtf8String(lua_State* L);

    static void CreateMetatable(lua_State* L);
    static void CreateCache(lua_State* L);
    static int Compare(lua_State* L);
};

}  // namespace OstrelInstallEngine
