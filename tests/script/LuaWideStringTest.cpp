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

struct Case {
    const char* chunk;
    const char* expected;
};

// Errors name their cause: invalid UTF-8 names the byte where the sequence
// starts; L takes only strings; wide and narrow strings never mix in `..`,
// comparisons or arguments; char refuses values outside 0..0xFFFF; pattern
// faults inside an iterator are Lua errors.
const Case kErrors[] = {
    {"return L'\\255'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)"},
    {"return L'ab\\195'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 3)"},
    {"return L'a\\128'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 2)"},
    {"return L'\\192\\128'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)"},
    {"return L'\\224\\128\\128'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)"},
    {"return L'x\\237\\160\\128'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 2)"},
    {"return L'\\244\\144\\128\\128'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)"},
    {"return L'\\195\\169\\226\\130'", "test:1: bad argument #1 to 'L' (invalid UTF-8 sequence at byte 3)"},
    {"return wstring.fromutf8('a\\255')", "test:1: bad argument #1 to 'fromutf8' (invalid UTF-8 sequence at byte 2)"},
    {"return L(5)", "test:1: bad argument #1 to 'L' (string expected, got number)"},
    {"return L(nil)", "test:1: bad argument #1 to 'L' (string expected, got nil)"},
    {"return L()", "test:1: bad argument #1 to 'L' (string expected, got no value)"},
    {"return L{}", "test:1: bad argument #1 to 'L' (string expected, got table)"},
    {"return L'a' .. 'b'", "test:1: attempt to concatenate a wide string with a narrow string"},
    {"return 'a' .. L'b'", "test:1: attempt to concatenate a narrow string with a wide string"},
    {"return L'a' .. nil", "test:1: attempt to concatenate a wide string with a nil value"},
    {"return {} .. L'a'", "test:1: attempt to concatenate a table value with a wide string"},
    {"return wstring.sub('abc', 1)", "test:1: bad argument #1 to 'sub' (wide string expected, got string)"},
    {"return wstring.find(L'abc', 'b')", "test:1: bad argument #2 to 'find' (wide string expected, got string)"},
    {"return wstring.gsub(L'abc', L'b', 'x')", "test:1: bad argument #3 to 'gsub' (wide string/function/table expected)"},
    {"return wstring.gsub(L'abc', L'b', function() return 'x' end)", "test:1: invalid replacement value (a string)"},
    {"return wstring.format(L'%s', 'x')", "test:1: bad argument #2 to 'format' (wide string expected, got string)"},
    {"return wstring.toutf8('x')", "test:1: bad argument #1 to 'toutf8' (wide string expected, got string)"},
    {"return L'a' < 'b'", "test:1: attempt to compare userdata with string"},
    {"return wstring.char(65, 65536)", "test:1: bad argument #2 to 'char' (invalid value)"},
    {"return wstring.char(-1)", "test:1: bad argument #1 to 'char' (invalid value)"},
    {"for x in wstring.gmatch(L'abc', L'(') do end", "test:1: unfinished capture"},
};

TEST(LuaWideStringTest, ErrorsNameTheirCause)
{
    LuaWideStringTestState lua;
    for (const Case& c : kErrors) {
        EXPECT_EQ(c.expected, lua.Run(c.chunk)) << c.chunk;
    }
}

// L decodes UTF-8 (the script's own bytes or Lua escapes) into code units; a
// character above U+FFFF becomes a surrogate pair; case mapping covers
// non-ASCII letters (ß has no single upper case); `..` takes wide strings and
// numbers as Lua formats them; char uses code units; format writes wide text
// with width and precision in code units.
const struct {
    const char* expression;
    std::wstring expected;
} kUnits[] = {
    {"L'\xc3\xa9\xe2\x82\xac'", std::wstring(L"\u00e9\u20ac")},
    {"L'\\195\\169\\226\\130\\172'", std::wstring(L"\u00e9\u20ac")},
    {"L'a\\0b'", std::wstring(L"a\0b", 3)},
    {"L''", std::wstring()},
    {"L'\\240\\159\\152\\128'", std::wstring(L"\xD83D\xDE00")},
    {"wstring.upper(L'\\195\\169')", std::wstring(L"\u00c9")},
    {"wstring.lower(L'\\195\\137')", std::wstring(L"\u00e9")},
    {"L'caf\xc3\xa9 \xc3\xbf \xcf\x89 \xd0\xb6 stra\xc3\x9f" "e 1':upper()", std::wstring(L"CAF\u00c9 \u0178 \u03a9 \u0416 STRA\u00dfE 1")},
    {"L'CAF\xc3\x89 \xc5\xb8 \xce\xa9 \xd0\x96 1':lower()", std::wstring(L"caf\u00e9 \u00ff \u03c9 \u0436 1")},
    {"wstring.upper(L'\xe2\x82\xac\\240\\159\\152\\128')", std::wstring(L"\u20ac\xD83D\xDE00")},
    {"L'a' .. L'b'", std::wstring(L"ab")},
    {"L'n' .. 1.5 .. L' ' .. 3 .. L'x'", std::wstring(L"n1.5 3x")},
    {"L'' .. 2^53", std::wstring(L"9.007199254741e+15")},
    {"L'\\195\\169' .. L'\\226\\130\\172'", std::wstring(L"\u00e9\u20ac")},
    {"wstring.char(0xE9, 0x20AC, 0xFFFF)", std::wstring(L"\u00e9\u20ac\xFFFF")},
    {"wstring.format(L'%s: %d \\226\\130\\172', L'Prix', 5)", std::wstring(L"Prix: 5 \u20ac")},
    {"wstring.format(L'[%c]', 0x20AC)", std::wstring(L"[\u20ac]")},
    {"wstring.format(L'[%6s|%.2s]', L'\\195\\169t\\195\\169', L'\\195\\169t\\195\\169')", std::wstring(L"[   \u00e9t\u00e9|\u00e9t]")},
    {"wstring.format(L'%q', L'\\195\\169\"\\n\\r\\0')", std::wstring(L"\"\u00e9\\\"\\\n\\r\\000\"")},
    {"wstring.format(L'%s!', L'a\\0b')", std::wstring(L"a\0b!", 4)},
    {"wstring.format(L'\\226\\130\\172 %d %x', 12345678901, 2^36)", std::wstring(L"\u20ac 12345678901 1000000000")},
};

TEST(LuaWideStringTest, ExpressionsYieldTheirCodeUnits)
{
    LuaWideStringTestState lua;
    for (const auto& c : kUnits) {
        EXPECT_EQ(c.expected, UnitsOf(lua, c.expression)) << c.expression;
    }
}

// Lengths and bytes count code units; tostring/toutf8 join a surrogate pair
// and write a lone surrogate as U+FFFD; classes over non-ASCII text use the
// runtime's wide classification; equal contents are one userdata (raw
// equality and table keys work by content); wide and narrow strings never
// compare equal; the metatable compares by code unit; a pattern error inside
// a replacement function is catchable and the state stays usable.
const Case kTexts[] = {
    {"return wstring.byte(L'\\195\\169', 1) .. ' ' .. wstring.byte(L'\xe2\x82\xac')", "233 8364"},
    {"return #L'\xc3\xa9\xe2\x82\xac'", "2"},
    {"return wstring.len(L'\xc3\xa9\xe2\x82\xac')", "2"},
    {"return L'\xc3\xa9' == L'\\195\\169' and wstring.fromutf8('\xc3\xa9') == L'\xc3\xa9'", "true"},
    {"return #L'\\240\\159\\152\\128'", "2"},
    {"return table.concat({wstring.byte(L'\\240\\159\\152\\128', 1, -1)}, ' ')", "55357 56832"},
    {"return tostring(L'x\\240\\159\\152\\128y') == 'x\\240\\159\\152\\128y'", "true"},
    {"return wstring.toutf8(L'\\240\\159\\152\\128') == '\\240\\159\\152\\128'", "true"},
    {"return L'\\244\\143\\191\\191' == wstring.char(0xDBFF, 0xDFFF)", "true"},
    {"return tostring(wstring.char(0xD800, 97))", "\xef\xbf\xbd" "a"},
    {"return wstring.toutf8(wstring.char(97, 0xDC00))", "a\xef\xbf\xbd"},
    {"local w = L'abc' return rawequal(L(w), w)", "true"},
    {"return tostring(wstring.match(L'Gr\xc3\xbc\xc3\x9f" "e, Welt', L'%a+'))", "Gr\xc3\xbc\xc3\x9f" "e"},
    {"local r, n = wstring.gsub(L'na\xc3\xafve caf\xc3\xa9', L'%a+', L'<%0>') return tostring(r) .. ' ' .. n", "<na\xc3\xafve> <caf\xc3\xa9> 2"},
    {"return tostring(wstring.match(L'ab\xc3\xa9\xe2\x82\xac', L'%A'))", "\xe2\x82\xac"},
    {"return tostring(wstring.match(L'\xc3\xa9\xc3\x89', L'%u'))", "\xc3\x89"},
    {"return tostring(wstring.match(L'\xc3\x89\xc3\xa9', L'%l'))", "\xc3\xa9"},
    {"return (wstring.find(L'ab\\194\\160c', L'%s'))", "3"},
    {"local a, b = wstring.find(L'\xe2\x82\xacuro', L'ur') return a .. ' ' .. b", "2 3"},
    {"return tostring(wstring.match(L'x\xc3\xa0\xc3\xa9\xc3\xb6y', L'[\xc3\xa0-\xc3\xbf]+'))", "\xc3\xa0\xc3\xa9\xc3\xb6"},
    {"return tostring(wstring.match(L'l\\39\xc3\xa9t\xc3\xa9 x', L'%f[%a]%a+', 3))", "\xc3\xa9t\xc3\xa9"},
    {"local n = 0 for c in wstring.gmatch(L'\\240\\159\\152\\128', L'.') do n = n + 1 end return n", "2"},
    {"return rawequal(L'abc', L'a' .. L'bc') and rawequal(L'abc', L'xabcx':sub(2, 4))", "true"},
    {"local t = {} t[L'k'] = 1 t[L'k2'] = 2 return t[L'k'] .. ' ' .. t[L('k' .. 2)] .. ' ' .. tostring(t[L'K'])", "1 2 nil"},
    {"return tostring(rawequal(L'a', L'b')) .. ' ' .. tostring(L'a' == L'A')", "false false"},
    {"return rawequal(L'a\\0b', L'a\\0b') and not rawequal(L'a\\0b', L'a\\0c')", "true"},
    // Texts beyond ASCII, a lone surrogate and the replacement character stay apart.
    {"local lone, fffd = wstring.char(0xD800), wstring.char(0xFFFD) "
     "return rawequal(wstring.char(0xD800), lone) and not rawequal(lone, fffd) "
     "and not rawequal(wstring.char(0x100), wstring.char(0x80)) "
     "and rawequal(L'\\195\\169', wstring.char(0xE9))", "true"},
    {"return tostring(L'a' == 'a') .. ' ' .. tostring(rawequal(L'a', 'a'))", "false false"},
    {"return type(L'a')", "userdata"},
    {"return L'b' <= L'a'", "false"},
    {"return #L'abc' .. ' ' .. #L''", "3 0"},
    {"local w = L'abc' return tostring(w:sub(2)) .. ' ' .. tostring(w:upper()) .. ' ' .. w:len() .. ' ' .. tostring(w.nothing)", "bc ABC 3 nil"},
    {"return wstring.len(123) .. ' ' .. tostring(wstring.rep(5, 3))", "3 555"},
    {"return wstring.byte(L'\\226\\130\\172')", "8364"},
    {"return tostring(L'a' < L'b') .. tostring(L'ab' > L'a') .. tostring(L'a' <= L'a') .. tostring(L'Z' < L'a') .. "
     "tostring(L'\\195\\169' > L'z')", "truetruetruetruetrue"},
    {"local ok, e = pcall(wstring.gsub, L'a', L'a', function() return wstring.find(L'a', L'%') end) "
     "return tostring(ok) .. ' ' .. e .. ' ' .. tostring(wstring.gsub(L'a', L'a', L'x'))",
     "false test:1: malformed pattern (ends with '%') x"},
};

TEST(LuaWideStringTest, ChunksYieldTheirText)
{
    LuaWideStringTestState lua;
    for (const Case& c : kTexts) {
        EXPECT_EQ(c.expected, lua.Eval(c.chunk)) << c.chunk;
    }
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

// From C++: Push, To and Is round-trip text with embedded NULs, and pushed
// strings are interned with those made in Lua; To refuses everything else and
// leaves the length untouched.
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
    LuaWideString::Push(L, std::wstring(L"a\0b\u00e9", 4).c_str(), 4);
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_pop(L, 1);

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
