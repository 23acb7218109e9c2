// The wide-string library against Lua's own string library: every case runs
// the same call through string.X(s, ...) and wstring.X(L(s), ...) and the
// two outcomes, results or error messages, must be the same text.
#include <gtest/gtest.h>

#include <lua.h>

#include <string>

#include "LuaWideStringTestState.h"

namespace {

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
    OstrelTest::LuaWideStringTestState lua;
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
