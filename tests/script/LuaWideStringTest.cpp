// The wide-string value type and its library: against Lua's own string
// library case by case, then what that agreement cannot cover: non-ASCII
// text, surrogate pairs, interning, the separation from narrow strings and
// the C++ face.
#include <gtest/gtest.h>

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <string>

#include "script/LuaWideString.h"

namespace {

using OstrelInstallEngine::LuaWideString;

// A Lua state with the standard libraries and the wide-string dialect open.
class LuaWideStringTestState {
public:
    LuaWideStringTestState() : m_state(luaL_newstate())
    {
        luaL_openlibs(m_state);
        LuaWideString::Open(m_state);
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
        const char* text = lua_tostring(m_state, -1);
        const std::string failure = text != nullptr ? text : "(no message)";
        lua_settop(m_state, 0);
        return failure;
    }

    // The chunk's first result as text (tostring), "<error: message>" when it fails.
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
    {"return L()", "test:1: bad argument #1 to 'L' (string expected, got no value)"},
    {"return L'a' .. 'b'", "test:1: attempt to concatenate a wide string with a narrow string"},
    {"return 'a' .. L'b'", "test:1: attempt to concatenate a narrow string with a wide string"},
    {"return L'a' .. nil", "test:1: attempt to concatenate a wide string with a nil value"},
    {"return wstring.sub('abc', 1)", "test:1: bad argument #1 to 'sub' (wide string expected, got string)"},
    {"return wstring.find(L'abc', 'b')", "test:1: bad argument #2 to 'find' (wide string expected, got string)"},
    {"return wstring.gsub(L'abc', L'b', 'x')", "test:1: bad argument #3 to 'gsub' (wide string/function/table expected)"},
    {"return wstring.gsub(L'abc', L'b', function() return 'x' end)", "test:1: invalid replacement value (a string)"},
    {"return wstring.format(L'%s', 'x')", "test:1: bad argument #2 to 'format' (wide string expected, got string)"},
    {"return wstring.toutf8('x')", "test:1: bad argument #1 to 'toutf8' (wide string expected, got string)"},
    {"return L'a' < 'b'", "test:1: attempt to compare userdata with string"},
    {"return wstring.char(65, 65536)", "test:1: bad argument #2 to 'char' (invalid value)"},
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
    {"L'a\\0b'", std::wstring(L"a\0b", 3)},
    {"L''", std::wstring()},
    {"L'\\240\\159\\152\\128'", std::wstring(L"\xD83D\xDE00")},
    {"L'caf\xc3\xa9 \xc3\xbf \xcf\x89 \xd0\xb6 stra\xc3\x9f" "e 1':upper()", std::wstring(L"CAF\u00c9 \u0178 \u03a9 \u0416 STRA\u00dfE 1")},
    {"L'CAF\xc3\x89 \xc5\xb8 \xce\xa9 \xd0\x96 1':lower()", std::wstring(L"caf\u00e9 \u00ff \u03c9 \u0436 1")},
    {"wstring.upper(L'\xe2\x82\xac\\240\\159\\152\\128')", std::wstring(L"\u20ac\xD83D\xDE00")},
    {"L'a' .. L'b'", std::wstring(L"ab")},
    {"L'n' .. 1.5 .. L' ' .. 3 .. L'x'", std::wstring(L"n1.5 3x")},
    {"L'' .. 2^53", std::wstring(L"9.007199254741e+15")},
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
    {"local w = L'abc' return tostring(w:sub(2)) .. ' ' .. tostring(w:upper()) .. ' ' .. w:len() .. ' ' .. tostring(w.nothing)", "bc ABC 3 nil"},
    {"return wstring.len(123) .. ' ' .. tostring(wstring.rep(5, 3))", "3 555"},
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


// The agreement: every case runs the same call through string.X(s, ...) and
// wstring.X(L(s), ...) and the two outcomes, results or error messages, must
// be the same text.
// Defines agree(cases): runs each case {op, args...} through both libraries
// and returns the number of cases and a list of disagreements. Narrow string
// arguments become wide ones (table keys and values too); a function becomes
// one that hands its function narrow copies of its arguments and widens its
// result. Wide results are compared as their text; a narrow string coming
// out of wstring counts as a disagreement.
const char kHarness[] = R"lua(
local function pack(...) return { n = select('#', ...), ... } end

local function toWide(value)
  if type(value) == 'string' then return L(value) end
  if type(value) == 'table' then
    local copy = {}
    for k, v in pairs(value) do copy[toWide(k)] = toWide(v) end
    return copy
  end
  if type(value) == 'function' then
    return function(...)
      local arguments = pack(...)
      for i = 1, arguments.n do
        if type(arguments[i]) == 'userdata' then arguments[i] = tostring(arguments[i]) end
      end
      return toWide(value(unpack(arguments, 1, arguments.n)))
    end
  end
  return value
end

local function describe(value, wideSide)
  if type(value) == 'string' then return (wideSide and 'NARROW:' or 'str:') .. ('%q'):format(value) end
  if type(value) == 'userdata' then return (wideSide and 'str:' or 'WIDE:') .. ('%q'):format(tostring(value)) end
  if type(value) == 'table' then return 'rows:' .. table.concat(value, ' ') end
  return type(value) .. ':' .. tostring(value)
end

local function outcome(lib, wideSide, op, args)
  local results = pack(pcall(function()
    if op ~= 'gmatch' then return lib[op](unpack(args, 1, args.n)) end
    local iterator = lib.gmatch(unpack(args, 1, args.n))
    local rows = {}
    for round = 1, 1000 do
      local row = pack(iterator())
      if row[1] == nil then return rows end
      for i = 1, row.n do row[i] = describe(row[i], wideSide) end
      rows[#rows + 1] = '{' .. table.concat(row, ',', 1, row.n) .. '}'
    end
    error('gmatch does not end')
  end))
  if not results[1] then
    return 'error: ' .. (tostring(results[2]):gsub('wide string', 'string'))
  end
  local parts = {}
  for i = 2, results.n do parts[#parts + 1] = describe(results[i], wideSide) end
  return table.concat(parts, ', ')
end

local function show(args)
  local parts = {}
  for i = 1, args.n do parts[i] = type(args[i]) == 'string' and ('%q'):format(args[i]) or tostring(args[i]) end
  return table.concat(parts, ', ')
end

function agree(cases)
  local failures = {}
  for _, case in ipairs(cases) do
    local op = case[1]
    local narrowArgs = pack(unpack(case, 2, table.maxn(case)))
    local wideArgs = pack(unpack(case, 2, table.maxn(case)))
    for i = 1, wideArgs.n do wideArgs[i] = toWide(wideArgs[i]) end
    local expected = outcome(string, false, op, narrowArgs)
    local actual = outcome(wstring, true, op, wideArgs)
    if expected ~= actual then
      failures[#failures + 1] = ('%s(%s)\n  string:  %s\n  wstring: %s'):format(op, show(narrowArgs), expected, actual)
    end
  end
  return #cases, failures
end

ASCII = ''
for code = 0, 127 do ASCII = ASCII .. string.char(code) end
)lua";

// Runs the cases (the body of a Lua table constructor) through agree and
// reports each disagreement as a failure of its own.
void ExpectAgreement(const std::string& cases, int minimumCaseCount)
{
    LuaWideStringTestState lua;
    const std::string failure = lua.Run(std::string(kHarness) + "return agree({" + cases + "})");
    ASSERT_EQ("", failure);
    lua_State* L = lua.State();
    EXPECT_GE(lua_tointeger(L, 1), minimumCaseCount);
    const int count = static_cast<int>(lua_objlen(L, 2));
    for (int i = 1; i <= count; ++i) {
        lua_rawgeti(L, 2, i);
        ADD_FAILURE() << lua_tostring(L, -1);
        lua_pop(L, 1);
    }
}

struct CaseGroup {
    const char* name;
    const char* cases;
    int minimumCount;
};

const CaseGroup kGroups[] = {
    // find: plain text and patterns, init (negative, zero, past the end), the
    // plain flag, anchors and the literal meaning of ^ and $ elsewhere.
    {"FindAgreesWithString", R"lua(
      {'find', 'hello world', 'o'}, {'find', 'hello world', 'o', 6}, {'find', 'hello world', 'o', -3},
      {'find', 'hello world', 'o', -100}, {'find', 'hello world', 'o', 100}, {'find', 'hello world', 'xyz'},
      {'find', 'hello', '', 10}, {'find', 'hello', '', -10}, {'find', 'hello', '', 0}, {'find', 'hello', '', 6},
      {'find', '', ''}, {'find', '', 'a'}, {'find', 'hello', 'hello world'},
      {'find', 'a.b', '.', 1, true}, {'find', 'a+b', '+', 1, true}, {'find', 'a+b', 'a+', 1, true},
      {'find', 'a%b', '%', 1, true}, {'find', 'a(b', '(', 2, true}, {'find', 'a.b', '.', 1, false},
      {'find', 'hello', 'l+'}, {'find', 'hello', '(l)(l)'}, {'find', 'hello', '()ll()'},
      {'find', 'hello', '^h'}, {'find', 'hello', '^e'}, {'find', 'hello', '^l', 3}, {'find', 'hello', '^l', -2},
      {'find', 'hello', 'o$'}, {'find', 'hello', 'l$'}, {'find', 'a$b', '$b'}, {'find', 'a$b', 'a$'},
      {'find', 'a^b', 'a^b'}, {'find', '^^', '^^'}, {'find', 'hello', '^'}, {'find', 'hello', '$'},
      {'find', '', '^$'}, {'find', 'x', '^$'}, {'find', 'aaa', 'a-', 2}, {'find', 'aaa', 'a*', 2},
      {'find', 'word end', '%f[%W]'}, {'find', 'THE (quick) fox', '%f[%a]%a+', 5},
      {'find', 'hello]', ']'}, {'find', 'x', '(x)', 1, true},
    )lua", 42},

    // match: captures, position captures, nested captures, quantifiers * + - ?
    // and back-references.
    {"MatchAgreesWithString", R"lua(
      {'match', 'key = value', '(%w+)%s*=%s*(%w+)'}, {'match', '  trim me  ', '^%s*(.-)%s*$'},
      {'match', 'hello', '.-'}, {'match', 'hello', '.-$'}, {'match', 'hello', 'l*'}, {'match', 'hello', 'l-o'},
      {'match', 'aaa', 'a-b'}, {'match', 'aaab', 'a-b'}, {'match', 'aaab', '^a-$'}, {'match', 'aaab', 'a+'},
      {'match', 'baaa', 'a+'}, {'match', 'bbb', 'a+'}, {'match', 'hello', 'h?e'}, {'match', 'ello', 'h?e'},
      {'match', 'hhello', 'h?h?h?e'}, {'match', 'x', 'x?x?x?x'}, {'match', 'abc', 'a.c'}, {'match', 'a\nc', 'a.c'},
      {'match', 'hello', '(h)(e)(l)(l)(o)'}, {'match', 'hello', '((h)(e))'}, {'match', 'hello', '(h(e(l)))'},
      {'match', 'hello', '()'}, {'match', 'hello', '()(h)()'}, {'match', 'hello', '(l)()', 4},
      {'match', 'hello', 'l', -2}, {'match', 'hello', 'l', 10}, {'match', 'hello', 'h', 0},
      {'match', 'abcabc', '(abc)%1'}, {'match', 'abcabd', '(abc)%1'}, {'match', 'xyzzy', '(z)%1'},
      {'match', [["quoted" 'text']], [[(["'])(.-)%1]]}, {'match', 'aXbXc', '(X)(.)%1'},
      {'match', 'abab', '(a)(b)%1%2'}, {'match', 'date: 2024-01-31', '(%d+)-(%d+)-(%d+)'},
      {'match', 'THE (quick) fox', '%((%a+)%)'}, {'match', 'a.b', '%.'}, {'match', 'a%b', '%%'},
      {'match', 'f(a(b)c)d', '%b()'}, {'match', 'x = [[a]] y', '%b[]'}, {'match', 'no close (', '%b()'},
      {'match', 'f(a(b)c)d', 'f(%b())d'}, {'match', '<<a>>', '%b<>'}, {'match', '""', '%b""'},
      {'match', 'THE (quick) fox', '%f[%a]%a+'}, {'match', 'hello world', '%f[%w]%w+$'},
      {'match', 'aaa', '%f[a]a'}, {'match', 'xa', '%f[a]a'}, {'match', 'ab12cd', '%f[%d]%d+%f[%D]'},
      {'match', 'one two three', '(%a+) (%a+) (%a+)'}, {'match', 'a,b,,c', '([^,]*),([^,]*),([^,]*)'},
      {'match', '[[x]]', '%[%[(.*)%]%]'}, {'match', 'hello', '[%a]+'}, {'match', '  x', '^[ ]*()'},
    )lua", 53},

    // Classes and sets over every ASCII character, NUL included: each class and
    // its complement, sets with ranges, classes, escapes, ']' and '-' placement.
    {"ClassesAndSetsAgreeOnAllAscii", R"lua(
      {'gsub', ASCII, '%a', ''}, {'gsub', ASCII, '%A', ''}, {'gsub', ASCII, '%c', ''}, {'gsub', ASCII, '%C', ''},
      {'gsub', ASCII, '%d', ''}, {'gsub', ASCII, '%D', ''}, {'gsub', ASCII, '%l', ''}, {'gsub', ASCII, '%L', ''},
      {'gsub', ASCII, '%p', ''}, {'gsub', ASCII, '%P', ''}, {'gsub', ASCII, '%s', ''}, {'gsub', ASCII, '%S', ''},
      {'gsub', ASCII, '%u', ''}, {'gsub', ASCII, '%U', ''}, {'gsub', ASCII, '%w', ''}, {'gsub', ASCII, '%W', ''},
      {'gsub', ASCII, '%x', ''}, {'gsub', ASCII, '%X', ''}, {'gsub', ASCII, '%z', 'Z'}, {'gsub', ASCII, '%Z', ''},
      {'gsub', ASCII, '.', '.'}, {'gsub', ASCII, '%q', '!'}, {'gsub', ASCII, '%_', '!'},
      {'gsub', ASCII, '[%a_]', ''}, {'gsub', ASCII, '[^%s]', ''}, {'gsub', ASCII, '[a-f0-9]', ''},
      {'gsub', ASCII, '[%]]', '!'}, {'gsub', ASCII, '[]]', '!'}, {'gsub', ASCII, '[^]]', ''},
      {'gsub', ASCII, '[a%-z]', '!'}, {'gsub', ASCII, '[%a-]', ''}, {'gsub', ASCII, '[-a]', '!'},
      {'gsub', ASCII, '[a-]', '!'}, {'gsub', ASCII, '[z-a]', '!'}, {'gsub', ASCII, '[%d%u]', ''},
      {'gsub', ASCII, '[^%d%u]', ''}, {'gsub', ASCII, '[!-/]', ''}, {'gsub', ASCII, '[%%]', '!'},
      {'gsub', ASCII, '[^^]', ''}, {'gsub', ASCII, '[%^]', '!'}, {'gsub', ASCII, '[a-c-e]', '!'},
      {'gsub', ASCII, '[%w.]+', '!'}, {'gsub', ASCII, '[\1-\31]+', '!'}, {'gsub', ASCII, '%f[%a]', '|'},
      {'gsub', ASCII, '%f[%A]', '|'}, {'gsub', ASCII, '%f[%z]', '|'}, {'gsub', ASCII, '%f[%Z]', '|'},
      {'upper', ASCII}, {'lower', ASCII}, {'reverse', ASCII}, {'len', ASCII},
    )lua", 51},

    // gsub: text replacements with %0-%9 and %%, table and function replacements
    // (false and nil keep the match), the maximum count, empty matches and anchors.
    {"GsubAgreesWithString", R"lua(
      {'gsub', 'hello world', 'o', '0'}, {'gsub', 'hello world', 'o', '0', 1}, {'gsub', 'hello world', 'o', '0', 0},
      {'gsub', 'hello world', 'o', '0', -1}, {'gsub', 'hello world', 'o', '0', 10}, {'gsub', 'hello world', 'o', 7},
      {'gsub', 'hello world', '(%w+)', '<%1>'}, {'gsub', 'hello world', '%w+', '%0 %0'},
      {'gsub', 'hello world', '(%w+) (%w+)', '%2 %1'}, {'gsub', 'abc', '%w', '%1'}, {'gsub', 'abc', '%w', '%%'},
      {'gsub', 'abc', '%w', '%x'}, {'gsub', 'abc', 'b', '%'}, {'gsub', 'abc', '()b()', '%1-%2'},
      {'gsub', 'hello', '', '-'}, {'gsub', 'hello', 'x*', '-'}, {'gsub', 'hello', 'l*', '-'}, {'gsub', '', '', '-'},
      {'gsub', 'hello', '.-', '-'}, {'gsub', 'hello hello', '^hello', 'X'}, {'gsub', 'hello', '^', '>'},
      {'gsub', 'hello', '$', '<'}, {'gsub', '  x  ', '^%s+', ''}, {'gsub', 'hello', '^(h)(e)', '%2%1'},
      {'gsub', 'abc', '^x*', '-'}, {'gsub', 'hello world', 'o', {o = '0'}},
      {'gsub', '$name is $age', '%$(%w+)', {name = 'Bob', age = 42}}, {'gsub', 'abc', '%w', {a = false, b = 'B'}},
      {'gsub', 'abc', '(%w)', {}}, {'gsub', 'abc', '()', {[1] = 'one', [3] = 'three'}},
      {'gsub', 'abc', '%w', {a = true}}, {'gsub', 'abc', '%w', {a = {}}},
      {'gsub', 'hello world', '%w+', string.upper}, {'gsub', 'abc', '(%w)()', function(c, p) return c .. p end},
      {'gsub', 'abc', '%w', function() return nil end}, {'gsub', 'abc', '%w', function() return false end},
      {'gsub', 'abc', '%w', function(c) return c == 'b' and 2.5 or nil end},
      {'gsub', 'abc', '%w', function() return {} end}, {'gsub', 'a b c', '%w', function(c) return c .. c end, 2},
      {'gsub', 'one two', '(o)(n?)', function(a, b) return '[' .. a .. '|' .. b .. ']' end},
      {'gsub', 'abc', '%w', function(c) error('stop at ' .. c) end},
      {'gsub', 'abc', '(', 'x'}, {'gsub', 'abc', '(', '%1'}, {'gsub', 'abc', '(', string.upper},
      {'gsub', 'abc', 'b', true}, {'gsub', 'abc', 'b'}, {'gsub', 'abc', '(b)', '%2'}, {'gsub', 'abc', 'b', '%9'},
    )lua", 48},

    // gmatch: successive matches, captures, empty matches advancing by one, and
    // '^', which gmatch in Lua 5.1 takes literally.
    {"GmatchAgreesWithString", R"lua(
      {'gmatch', 'hello world from lua', '%a+'}, {'gmatch', 'k1=v1, k2=v2', '(%w+)=(%w+)'},
      {'gmatch', 'abc', '%a*'}, {'gmatch', 'abc', ''}, {'gmatch', 'abc', '()'}, {'gmatch', 'abc', '.'},
      {'gmatch', '^a^a', '^a'}, {'gmatch', 'aaa', '^a'}, {'gmatch', 'one two', '%f[%w]%w+'},
      {'gmatch', 'a,b,,c', '([^,]*)'}, {'gmatch', '(a)(b(c))', '%b()'}, {'gmatch', 'abc', 'x'},
      {'gmatch', 'abc', '%'}, {'gmatch', 'abc', '(()'}, {'gmatch', 'abc', '%1'},
    )lua", 15},

    // Pattern faults raise Lua's own messages, in find, match and gsub alike.
    {"MalformedPatternsFailLikeString", R"lua(
      {'find', 'abc', '%'}, {'find', 'abc', 'a%'}, {'find', 'abc', '[a'}, {'find', 'abc', '[a%'},
      {'find', 'abc', '[%]'}, {'find', 'abc', '[^'}, {'find', 'abc', '[]'}, {'find', 'abc', '[^]'},
      {'find', 'abc', '%f'}, {'find', 'abc', '%fa'}, {'find', 'abc', '%f[a'}, {'find', 'abc', ')'},
      {'find', 'abc', 'a)'}, {'find', 'abc', '(a'}, {'find', 'abc', '(()'}, {'find', 'abc', '%b'},
      {'find', 'abc', '%ba'}, {'find', 'abc', '%1'}, {'find', 'abc', '(a)%2'}, {'find', 'abc', '(a%1)'},
      {'find', 'abc', '%0'}, {'find', 'abc', ('()'):rep(32)}, {'find', 'abc', ('()'):rep(33)},
      {'match', 'abc', '(a'}, {'match', 'abc', '%'}, {'match', 'abc', '[a'}, {'gsub', 'abc', '%', 'x'},
      {'gsub', 'abc', '[a', 'x'}, {'gsub', 'abc', ')', 'x'}, {'gsub', 'abc', '%f', 'x'},
      {'find', 'abc'}, {'find'}, {'match', 'abc'}, {'gsub', 'abc'}, {'gmatch', 'abc'},
    )lua", 35},

    // sub, rep, reverse, upper, lower, len, byte, char: Lua's position rules
    // (negative, zero, past the end, crossed) and their argument errors.
    {"PositionFunctionsAgreeWithString", R"lua(
      {'sub', 'hello', 2}, {'sub', 'hello', 2, 3}, {'sub', 'hello', -3}, {'sub', 'hello', -3, -2},
      {'sub', 'hello', 0}, {'sub', 'hello', 10}, {'sub', 'hello', 3, 2}, {'sub', 'hello', -100, 100},
      {'sub', 'hello', 1, 0}, {'sub', 'hello', 5, 5}, {'sub', 'hello', -1, -1}, {'sub', '', 1}, {'sub', 'hello'},
      {'sub', 'hello', 2.7}, {'rep', 'ab', 3}, {'rep', 'ab', 0}, {'rep', 'ab', -1}, {'rep', '', 5}, {'rep', 'ab'},
      {'reverse', 'hello'}, {'reverse', ''}, {'upper', 'Hello World 1'}, {'lower', 'Hello World 1'},
      {'len', ''}, {'len', 'hello'}, {'len'}, {'byte', 'hello'}, {'byte', 'hello', 2, 4}, {'byte', 'hello', -1},
      {'byte', 'hello', 10}, {'byte', 'hello', 0}, {'byte', '', 1}, {'byte', 'hello', -3, -1}, {'byte', 'hello', 3, 1},
      {'char', 72, 105}, {'char'}, {'char', 0, 127}, {'char', -1},
    )lua", 38},

    // format: every conversion with flags, width and precision, %q escapes,
    // %s with numbers, and the errors for missing values and bad items.
    {"FormatAgreesWithString", R"lua(
      {'format', '%d', 42}, {'format', '%5d|', 42}, {'format', '%-5d|', 42}, {'format', '%05d', 42},
      {'format', '%+d', 42}, {'format', '% d', 42}, {'format', '%x', 255}, {'format', '%X', 255},
      {'format', '%#x', 255}, {'format', '%#o', 8}, {'format', '%o', 8}, {'format', '%u', 42}, {'format', '%i', -42},
      {'format', '%d', 3.7}, {'format', '%d', -3.7}, {'format', '%5.3d', 7}, {'format', '%d', 2^31 - 1},
      {'format', '%d', -2^31}, {'format', '%x', 0}, {'format', '%x', -1}, {'format', '%08X', -2147467259},
      {'format', '%u', 3e9}, {'format', '%o', -8}, {'format', '%X', 2^32 - 1}, {'format', '%c', 65}, {'format', '%5c|', 65},
      {'format', '%-5c|', 65}, {'format', '%c%c%c', 76, 117, 97}, {'format', '%e', 12345.678},
      {'format', '%.3E', 12345.678}, {'format', '%f', 1/3}, {'format', '%10.2f|', 3.14159},
      {'format', '%-10.2f|', 3.14159}, {'format', '%+.1f', 2.25}, {'format', '%g', 1e20}, {'format', '%g', 0.0001},
      {'format', '%G', 1e-10}, {'format', '%.14g', 2^53}, {'format', '%#g', 1}, {'format', '%.0f', 0.5},
      {'format', '%.3f', -0.0}, {'format', '%f', math.huge}, {'format', '%f', -math.huge}, {'format', '%e', 0},
      {'format', '%99.99f', 1e300}, {'format', '%s', 'abc'}, {'format', '%10s|', 'abc'}, {'format', '%-10s|', 'abc'},
      {'format', '%.2s', 'abc'}, {'format', '%5.1s|', 'abc'}, {'format', '%.0s|', 'abc'}, {'format', '%s', 42},
      {'format', '%s', 1.5}, {'format', '%s', 1e100}, {'format', '%q', 'a "quoted"\\ \n line\r\0end'},
      {'format', '%q', 42}, {'format', '%q', ''}, {'format', '%%'}, {'format', '100%% %d', 5}, {'format', 'plain'},
      {'format', ''}, {'format', '%d %s %g', 1, 'x', 2.5}, {'format', '%s %s', 'a', 'b', 'unused'},
      {'format', '%d'}, {'format', '%s'}, {'format', '%d %d', 1}, {'format', '%y', 1}, {'format', '%', 1},
      {'format', '%123d', 1}, {'format', '%1.123f', 1}, {'format', '%------d', 1}, {'format', '%-----d|', 1},
      {'format', '%5', 1}, {'format', '%s', {}}, {'format', '%d', {}}, {'format', '%c'}, {'format'},
    )lua", 77},
};

TEST(LuaWideStringAgreementTest, EveryGroupAgreesWithString)
{
    for (const CaseGroup& group : kGroups) {
        SCOPED_TRACE(group.name);
        ExpectAgreement(group.cases, group.minimumCount);
    }
}

}  // namespace
