// The wide-string value type and its library beyond what the agreement with
// Lua's string library covers: non-ASCII text, surrogate pairs, interning,
// the separation from narrow strings and the C++ face.
#include <gtest/gtest.h>

#include <lauxlib.h>
#include <lua.h>

#include <string>

#include "script/LuaWideString.h"
#include "LuaWideStringTestState.h"

namespace {

using OstrelInstallEngine::LuaWideString;
using OstrelTest::LuaWideStringTestState;

// The code units of a Lua expression that yields a wide string, as C++ sees them.
std::wstring UnitsOf(LuaWideStringTestState& lua, const std::string& expression)
{
    const std::string failure = lua.Run("return " + expression);
    if (!failure.empty()) {
        ADD_FAILURE() << failure;
        return std::wstring();
    }
    size_t length = 0;
    const wchar_t* text = LuaWideString::To(lua.State(), -1, &length);
    if (text == nullptr) {
        ADD_FAILURE() << expression << " is not a wide string";
        return std::wstring();
    }
    return std::wstring(text, length);
}

// L decodes UTF-8, whether the bytes come from the script's own text or
// from Lua escapes; length counts code units.
TEST(LuaWideStringTest, DecodesUtf8IntoCodeUnits)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"\u00e9\u20ac"), UnitsOf(lua, "L'\xc3\xa9\xe2\x82\xac'"));
    EXPECT_EQ(std::wstring(L"\u00e9\u20ac"), UnitsOf(lua, "L'\\195\\169\\226\\130\\172'"));
    EXPECT_EQ("233 8364", lua.Eval("return wstring.byte(L'\\195\\169', 1) .. ' ' .. wstring.byte(L'\xe2\x82\xac')"));
    EXPECT_EQ("2", lua.Eval("return #L'\xc3\xa9\xe2\x82\xac'"));
    EXPECT_EQ("2", lua.Eval("return wstring.len(L'\xc3\xa9\xe2\x82\xac')"));
    EXPECT_EQ("true", lua.Eval("return L'\xc3\xa9' == L'\\195\\169' and wstring.fromutf8('\xc3\xa9') == L'\xc3\xa9'"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), UnitsOf(lua, "L'a\\0b'"));
    EXPECT_EQ(std::wstring(), UnitsOf(lua, "L''"));
}

// A character above U+FFFF becomes a surrogate pair: two code units, and
// tostring/toutf8 join the pair again.
TEST(LuaWideStringTest, CharactersAboveTheBasicPlaneBecomeSurrogatePairs)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"\xD83D\xDE00"), UnitsOf(lua, "L'\\240\\159\\152\\128'"));
    EXPECT_EQ("2", lua.Eval("return #L'\\240\\159\\152\\128'"));
    EXPECT_EQ("55357 56832", lua.Eval("return table.concat({wstring.byte(L'\\240\\159\\152\\128', 1, -1)}, ' ')"));
    EXPECT_EQ("true", lua.Eval("return tostring(L'x\\240\\159\\152\\128y') == 'x\\240\\159\\152\\128y'"));
    EXPECT_EQ("true", lua.Eval("return wstring.toutf8(L'\\240\\159\\152\\128') == '\\240\\159\\152\\128'"));
    EXPECT_EQ("true", lua.Eval("return L'\\244\\143\\191\\191' == wstring.char(0xDBFF, 0xDFFF)"));
}

// A lone surrogate has no UTF-8 form of its own and comes out as U+FFFD.
TEST(LuaWideStringTest, LoneSurrogateEncodesAsReplacementCharacter)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("\xef\xbf\xbd" "a", lua.Eval("return tostring(wstring.char(0xD800, 97))"));
    EXPECT_EQ("a\xef\xbf\xbd", lua.Eval("return wstring.toutf8(wstring.char(97, 0xDC00))"));
}

// Invalid UTF-8 is a bad argument naming the byte where the sequence starts.
TEST(LuaWideStringTest, InvalidUtf8NamesTheBytePosition)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)", lua.Run("return L'\\255'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 3)", lua.Run("return L'ab\\195'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 2)", lua.Run("return L'a\\128'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)", lua.Run("return L'\\192\\128'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)", lua.Run("return L'\\224\\128\\128'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 2)", lua.Run("return L'x\\237\\160\\128'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)", lua.Run("return L'\\244\\144\\128\\128'"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 3)", lua.Run("return L'\\195\\169\\226\\130'"));
    EXPECT_EQ("test:1: bad argument #1 to 'fromutf8' (invalid UTF-8 sequence at byte 2)",
              lua.Run("return wstring.fromutf8('a\\255')"));
}

// L passes a wide string through unchanged and refuses everything that is
// neither a narrow nor a wide string.
TEST(LuaWideStringTest, LTakesOnlyStrings)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("true", lua.Eval("local w = L'abc' return rawequal(L(w), w)"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (string expected, got number)", lua.Run("return L(5)"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (string expected, got nil)", lua.Run("return L(nil)"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (string expected, got no value)", lua.Run("return L()"));
    EXPECT_EQ("test:1: bad argument #1 to 'L' (string expected, got table)", lua.Run("return L{}"));
}

// Case mapping: ASCII exactly as string.upper/lower, other letters through
// the system's mapping (é/É, ÿ/Ÿ, Greek, Cyrillic); ß has no single upper case.
TEST(LuaWideStringTest, CaseMappingCoversNonAsciiLetters)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"\u00c9"), UnitsOf(lua, "wstring.upper(L'\\195\\169')"));
    EXPECT_EQ(std::wstring(L"\u00e9"), UnitsOf(lua, "wstring.lower(L'\\195\\137')"));
    EXPECT_EQ(std::wstring(L"CAF\u00c9 \u0178 \u03a9 \u0416 STRA\u00dfE 1"),
              UnitsOf(lua, "L'caf\xc3\xa9 \xc3\xbf \xcf\x89 \xd0\xb6 stra\xc3\x9f" "e 1':upper()"));
    EXPECT_EQ(std::wstring(L"caf\u00e9 \u00ff \u03c9 \u0436 1"),
              UnitsOf(lua, "L'CAF\xc3\x89 \xc5\xb8 \xce\xa9 \xd0\x96 1':lower()"));
    EXPECT_EQ(std::wstring(L"\u20ac\xD83D\xDE00"), UnitsOf(lua, "wstring.upper(L'\xe2\x82\xac\\240\\159\\152\\128')"));
}

// Classes over non-ASCII text use the runtime's wide classification: é and
// É are letters (lower and upper), € is none, NBSP is a space; positions
// count code units.
TEST(LuaWideStringTest, PatternsClassifyNonAsciiCharacters)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("Gr\xc3\xbc\xc3\x9f" "e", lua.Eval("return tostring(wstring.match(L'Gr\xc3\xbc\xc3\x9f" "e, Welt', L'%a+'))"));
    EXPECT_EQ("<na\xc3\xafve> <caf\xc3\xa9> 2", lua.Eval("local r, n = wstring.gsub(L'na\xc3\xafve caf\xc3\xa9', L'%a+', L'<%0>') return tostring(r) .. ' ' .. n"));
    EXPECT_EQ("\xe2\x82\xac", lua.Eval("return tostring(wstring.match(L'ab\xc3\xa9\xe2\x82\xac', L'%A'))"));
    EXPECT_EQ("\xc3\x89", lua.Eval("return tostring(wstring.match(L'\xc3\xa9\xc3\x89', L'%u'))"));
    EXPECT_EQ("\xc3\xa9", lua.Eval("return tostring(wstring.match(L'\xc3\x89\xc3\xa9', L'%l'))"));
    EXPECT_EQ("3", lua.Eval("return (wstring.find(L'ab\\194\\160c', L'%s'))"));
    EXPECT_EQ("2 3", lua.Eval("local a, b = wstring.find(L'\xe2\x82\xacuro', L'ur') return a .. ' ' .. b"));
    EXPECT_EQ("\xc3\xa0\xc3\xa9\xc3\xb6", lua.Eval("return tostring(wstring.match(L'x\xc3\xa0\xc3\xa9\xc3\xb6y', L'[\xc3\xa0-\xc3\xbf]+'))"));
    EXPECT_EQ("\xc3\xa9t\xc3\xa9", lua.Eval("return tostring(wstring.match(L'l\\39\xc3\xa9t\xc3\xa9 x', L'%f[%a]%a+', 3))"));
    EXPECT_EQ("2", lua.Eval("local n = 0 for c in wstring.gmatch(L'\\240\\159\\152\\128', L'.') do n = n + 1 end return n"));
}

// Equal contents are one userdata: raw equality and table keys work by
// content, wherever the string was made (L, concatenation, sub, C++).
TEST(LuaWideStringTest, EqualContentsAreInterned)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("true", lua.Eval("return rawequal(L'abc', L'a' .. L'bc') and rawequal(L'abc', L'xabcx':sub(2, 4))"));
    EXPECT_EQ("1 2 nil", lua.Eval("local t = {} t[L'k'] = 1 t[L'k2'] = 2 return t[L'k'] .. ' ' .. t[L('k' .. 2)] .. ' ' .. tostring(t[L'K'])"));
    EXPECT_EQ("false false", lua.Eval("return tostring(rawequal(L'a', L'b')) .. ' ' .. tostring(L'a' == L'A')"));
    EXPECT_EQ("true", lua.Eval("return rawequal(L'a\\0b', L'a\\0b') and not rawequal(L'a\\0b', L'a\\0c')"));
    // Texts beyond ASCII, a lone surrogate and the replacement character stay apart.
    EXPECT_EQ("true", lua.Eval("local lone, fffd = wstring.char(0xD800), wstring.char(0xFFFD) "
                               "return rawequal(wstring.char(0xD800), lone) and not rawequal(lone, fffd) "
                               "and not rawequal(wstring.char(0x100), wstring.char(0x80)) "
                               "and rawequal(L'\\195\\169', wstring.char(0xE9))"));

    lua_State* L = lua.State();
    LuaWideString::Push(L, L"abc", 3);
    LuaWideString::Push(L, std::wstring(L"abc"));
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_setglobal(L, "pushed");
    EXPECT_EQ("true", lua.Eval("return rawequal(pushed, L'abc')"));
}

// The cache holds its strings weakly: strings nobody refers to are
// collected, and a string still referred to keeps its identity.
TEST(LuaWideStringTest, CacheKeepsNothingAlive)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("true", lua.Eval(R"lua(
        kept = L'kept across collections'
        collectgarbage('collect')
        local before = collectgarbage('count')
        for i = 1, 2000 do local w = wstring.rep(L'x', 1000) .. i end
        collectgarbage('collect')
        collectgarbage('collect')
        local grown = collectgarbage('count') - before
        return grown < 256 and rawequal(kept, L'kept across collections')
    )lua"));
    EXPECT_EQ("true", lua.Eval(R"lua(
        local count = 0
        for _, cache in pairs(debug.getregistry()) do
            if type(cache) == 'table' and getmetatable(cache) and getmetatable(cache).__mode == 'v' then
                for _ in pairs(cache) do count = count + 1 end
            end
        end
        return count < 50
    )lua"));
}

// Wide and narrow strings are different types: mixing them in `..` fails
// with a clear message, a narrow string is a bad argument, and the two
// never compare equal.
TEST(LuaWideStringTest, WideAndNarrowStringsDoNotMix)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("test:1: attempt to concatenate a wide string with a narrow string", lua.Run("return L'a' .. 'b'"));
    EXPECT_EQ("test:1: attempt to concatenate a narrow string with a wide string", lua.Run("return 'a' .. L'b'"));
    EXPECT_EQ("test:1: attempt to concatenate a wide string with a nil value", lua.Run("return L'a' .. nil"));
    EXPECT_EQ("test:1: attempt to concatenate a table value with a wide string", lua.Run("return {} .. L'a'"));
    EXPECT_EQ("test:1: bad argument #1 to 'sub' (wide string expected, got string)", lua.Run("return wstring.sub('abc', 1)"));
    EXPECT_EQ("test:1: bad argument #2 to 'find' (wide string expected, got string)", lua.Run("return wstring.find(L'abc', 'b')"));
    EXPECT_EQ("test:1: bad argument #3 to 'gsub' (wide string/function/table expected)", lua.Run("return wstring.gsub(L'abc', L'b', 'x')"));
    EXPECT_EQ("test:1: invalid replacement value (a string)", lua.Run("return wstring.gsub(L'abc', L'b', function() return 'x' end)"));
    EXPECT_EQ("test:1: bad argument #2 to 'format' (wide string expected, got string)", lua.Run("return wstring.format(L'%s', 'x')"));
    EXPECT_EQ("test:1: bad argument #1 to 'toutf8' (wide string expected, got string)", lua.Run("return wstring.toutf8('x')"));
    EXPECT_EQ("test:1: attempt to compare userdata with string", lua.Run("return L'a' < 'b'"));
    EXPECT_EQ("false false", lua.Eval("return tostring(L'a' == 'a') .. ' ' .. tostring(rawequal(L'a', 'a'))"));
    EXPECT_EQ("userdata", lua.Eval("return type(L'a')"));
}

// The shared metatable: `..` with wide strings and numbers (formatted as Lua
// formats them), comparisons by code unit, #, tostring and methods.
TEST(LuaWideStringTest, MetatableOperations)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"ab"), UnitsOf(lua, "L'a' .. L'b'"));
    EXPECT_EQ(std::wstring(L"n1.5 3x"), UnitsOf(lua, "L'n' .. 1.5 .. L' ' .. 3 .. L'x'"));
    EXPECT_EQ(std::wstring(L"9.007199254741e+15"), UnitsOf(lua, "L'' .. 2^53"));
    EXPECT_EQ(std::wstring(L"\u00e9\u20ac"), UnitsOf(lua, "L'\\195\\169' .. L'\\226\\130\\172'"));
    EXPECT_EQ("true true true true true", lua.Eval(R"lua(
        return tostring(L'a' < L'b') .. ' ' .. tostring(L'ab' > L'a') .. ' ' .. tostring(L'a' <= L'a') .. ' ' ..
               tostring(L'Z' < L'a') .. ' ' .. tostring(L'\195\169' > L'z'))lua"));
    EXPECT_EQ("false", lua.Eval("return L'b' <= L'a'"));
    EXPECT_EQ("3 0", lua.Eval("return #L'abc' .. ' ' .. #L''"));
    EXPECT_EQ("bc ABC 3 nil", lua.Eval("local w = L'abc' return tostring(w:sub(2)) .. ' ' .. tostring(w:upper()) .. ' ' .. w:len() .. ' ' .. tostring(w.nothing)"));
    EXPECT_EQ("3 555", lua.Eval("return wstring.len(123) .. ' ' .. tostring(wstring.rep(5, 3))"));
}

// char and byte work on code units; char refuses values outside 0..0xFFFF.
TEST(LuaWideStringTest, CharAndByteUseCodeUnits)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"\u00e9\u20ac\xFFFF"), UnitsOf(lua, "wstring.char(0xE9, 0x20AC, 0xFFFF)"));
    EXPECT_EQ("8364", lua.Eval("return wstring.byte(L'\\226\\130\\172')"));
    EXPECT_EQ("test:1: bad argument #2 to 'char' (invalid value)", lua.Run("return wstring.char(65, 65536)"));
    EXPECT_EQ("test:1: bad argument #1 to 'char' (invalid value)", lua.Run("return wstring.char(-1)"));
}

// format writes wide text: %s and %q take wide strings, %c a code unit,
// width and precision count code units.
TEST(LuaWideStringTest, FormatWritesWideText)
{
    LuaWideStringTestState lua;
    EXPECT_EQ(std::wstring(L"Prix: 5 \u20ac"), UnitsOf(lua, "wstring.format(L'%s: %d \\226\\130\\172', L'Prix', 5)"));
    EXPECT_EQ(std::wstring(L"[\u20ac]"), UnitsOf(lua, "wstring.format(L'[%c]', 0x20AC)"));
    EXPECT_EQ(std::wstring(L"[   \u00e9t\u00e9|\u00e9t]"), UnitsOf(lua, "wstring.format(L'[%6s|%.2s]', L'\\195\\169t\\195\\169', L'\\195\\169t\\195\\169')"));
    EXPECT_EQ(std::wstring(L"\"\u00e9\\\"\\\n\\r\\000\""), UnitsOf(lua, "wstring.format(L'%q', L'\\195\\169\"\\n\\r\\0')"));
    EXPECT_EQ(std::wstring(L"a\0b!", 4), UnitsOf(lua, "wstring.format(L'%s!', L'a\\0b')"));
    EXPECT_EQ(std::wstring(L"\u20ac 12345678901 1000000000"),
              UnitsOf(lua, "wstring.format(L'\\226\\130\\172 %d %x', 12345678901, 2^36)"));
}

// Patterns that fail inside a replacement function or the gmatch iterator
// raise Lua errors that a script can catch, and the state stays usable.
TEST(LuaWideStringTest, PatternErrorsAreCatchableLuaErrors)
{
    LuaWideStringTestState lua;
    EXPECT_EQ("false test:1: malformed pattern (ends with '%') x",
              lua.Eval("local ok, e = pcall(wstring.gsub, L'a', L'a', function() return wstring.find(L'a', L'%') end) "
                       "return tostring(ok) .. ' ' .. e .. ' ' .. tostring(wstring.gsub(L'a', L'a', L'x'))"));
    EXPECT_EQ("test:1: unfinished capture", lua.Run("for x in wstring.gmatch(L'abc', L'(') do end"));
}

// From C++: Push, To and Is round-trip text with embedded NULs; To refuses
// everything else and leaves the length untouched.
TEST(LuaWideStringTest, PushToIsRoundTripFromCpp)
{
    LuaWideStringTestState lua;
    lua_State* L = lua.State();
    const std::wstring text(L"a\0b\u00e9", 4);
    LuaWideString::Push(L, text);
    ASSERT_TRUE(LuaWideString::Is(L, -1));
    size_t length = 0;
    const wchar_t* units = LuaWideString::To(L, -1, &length);
    ASSERT_NE(nullptr, units);
    EXPECT_EQ(4u, length);
    EXPECT_EQ(text, std::wstring(units, length));
    EXPECT_EQ(L'\0', units[4]);
    EXPECT_EQ(units, LuaWideString::To(L, -1));

    lua_setglobal(L, "w");
    EXPECT_EQ("4 true", lua.Eval("return #w .. ' ' .. tostring(rawequal(w, L'a\\0b\\195\\169'))"));
    EXPECT_EQ(std::wstring(L"\0b", 2), UnitsOf(lua, "w:sub(2, 3)"));

    LuaWideString::Push(L, L"", 0);
    ASSERT_NE(nullptr, LuaWideString::To(L, -1, &length));
    EXPECT_EQ(0u, length);

    lua_pushliteral(L, "narrow");
    lua_pushnumber(L, 1);
    lua_pushnil(L);
    lua_newtable(L);
    lua_newuserdata(L, 2 * sizeof(wchar_t));
    lua_newuserdata(L, 2 * sizeof(wchar_t));
    luaL_newmetatable(L, "OtherType");
    lua_setmetatable(L, -2);
    for (int index = -6; index <= -1; ++index) {
        size_t untouched = 77;
        EXPECT_FALSE(LuaWideString::Is(L, index)) << index;
        EXPECT_EQ(nullptr, LuaWideString::To(L, index, &untouched)) << index;
        EXPECT_EQ(77u, untouched) << index;
    }
    EXPECT_FALSE(LuaWideString::Is(L, 100));
}

}  // namespace
