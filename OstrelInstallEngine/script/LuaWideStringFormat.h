// wstring.format: Lua 5.1's string.format over a wide format. Conversions
// %d %i %u %c %x %X %o %e %E %f %g %G %q %s %% with the flags "-+ #0", a
// width and a precision of up to two digits each. Numbers are written by the
// same C99 printf Lua's string.format uses, so both give the same digits.
// Integer conversions take 64 bits where Lua 5.1's 32-bit C long gives up:
// both agree from -2^31 up to 2^31 (%d %i) or 2^32 (%u %o %x %X), and a
// negative value in %u %o %x %X is its 32-bit two's complement in both
// (-1 is ffffffff). %c takes a code unit; %s and %q take a wide string or a
// number; %s width and precision count code units, and %s keeps an
// embedded L'\0' (Lua 5.1 cuts a short narrow string at its first zero).
#pragma once

#include <lauxlib.h>
#include <lua.h>

#include <string>

namespace OstrelInstallEngine {

class LuaWideStringFormat {
public:
    // The table for luaL_register, ended by a null entry.
    static const luaL_Reg* Functions();

private:
    struct Item {
        std::string flags;
        std::string width;
        std::string precision;
        wchar_t conversion;
    };

    static int Format(lua_State* L);
    static Item ScanItem(lua_State* L, const wchar_t* format, size_t length, size_t& position);
    static void AppendItem(lua_State* L, const Item& item, int argument, std::wstring& result);
    static void AppendNumber(lua_State* L, const Item& item, int argument, std::wstring& result);
    static void AppendPadded(const Item& item, const wchar_t* text, size_t length, std::wstring& result);
    static void AppendQuoted(lua_State* L, int argument, std::wstring& result);
};

}  // namespace OstrelInstallEngine
