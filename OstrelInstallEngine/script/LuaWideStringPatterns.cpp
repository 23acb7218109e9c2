#include "script/LuaWideStringPatterns.h"

#include <string>
#include <string_view>

#include "script/LuaWideString.h"
#include "script/LuaWideStringBoundary.h"
#include "script/LuaWideStringPosition.h"
#include "script/WidePatternMatcher.h"

namespace OstrelInstallEngine {

namespace {

const int kSubjectIndex = 1;
const int kPatternIndex = 2;
const int kReplacementIndex = 3;

void PushCapture(lua_State* L, const WidePatternMatcher& matcher, const wchar_t* subject, int index)
{
    const WidePatternMatcher::Capture capture = matcher.GetCapture(index);
    if (capture.isPosition) {
        lua_pushinteger(L, static_cast<lua_Integer>(capture.start + 1));
    } else {
        LuaWideString::Push(L, subject + capture.start, capture.length);
    }
}

// Pushes the captures of the last match, or the whole match when there are
// none and wholeMatchIfNone; returns how many values it pushed.
int PushCaptures(lua_State* L, const WidePatternMatcher& matcher, const wchar_t* subject,
                 bool wholeMatchIfNone)
{
    int count = matcher.CaptureCount();
    if (count == 0 && wholeMatchIfNone) {
        count = 1;
    }
    luaL_checkstack(L, count, "too many captures");
    for (int i = 0; i < count; ++i) {
        PushCapture(L, matcher, subject, i);
    }
    return count;
}

void AppendMatchedText(std::wstring& result, const WidePatternMatcher& matcher,
                       const wchar_t* subject)
{
    result.append(subject + matcher.MatchStart(), matcher.MatchEnd() - matcher.MatchStart());
}

// Appends the wide string or number on top of the stack and pops it.
void AppendTopValue(lua_State* L, std::wstring& result)
{
    if (lua_type(L, -1) == LUA_TNUMBER) {
        result += LuaWideString::NumberText(L, -1);
    } else {
        size_t length = 0;
        const wchar_t* text = LuaWideString::To(L, -1, &length);
        result.append(text, length);
    }
    lua_pop(L, 1);
}

// The replacement text with %0 (the match), %1-%9 (captures) and %x (the
// character x) expanded. A '%' at the very end stands for L'\0', as the
// terminating zero does in Lua 5.1.
void AppendExpandedText(lua_State* L, std::wstring& result, const WidePatternMatcher& matcher,
                        const wchar_t* subject)
{
    size_t length = 0;
    const wchar_t* replacement = LuaWideString::To(L, kReplacementIndex, &length);
    for (size_t i = 0; i < length; ++i) {
        if (replacement[i] != L'%') {
            result += replacement[i];
            continue;
        }
        const wchar_t escaped = replacement[++i];
        if (escaped < L'0' || escaped > L'9') {
            result += escaped;
        } else if (escaped == L'0') {
            AppendMatchedText(result, matcher, subject);
        } else {
            PushCapture(L, matcher, subject, escaped - L'1');
            AppendTopValue(L, result);
        }
    }
}

void AppendReplacement(lua_State* L, std::wstring& result, const WidePatternMatcher& matcher,
                       const wchar_t* subject)
{
    switch (lua_type(L, kReplacementIndex)) {
    case LUA_TFUNCTION: {
        lua_pushvalue(L, kReplacementIndex);
        const int count = PushCaptures(L, matcher, subject, true);
        lua_call(L, count, 1);
        break;
    }
    case LUA_TTABLE:
        PushCapture(L, matcher, subject, 0);
        lua_gettable(L, kReplacementIndex);
        break;
    default:
        AppendExpandedText(L, result, matcher, subject);
        return;
    }
    if (!lua_toboolean(L, -1)) {
        lua_pop(L, 1);
        AppendMatchedText(result, matcher, subject);
    } else if (lua_type(L, -1) == LUA_TNUMBER || LuaWideString::Is(L, -1)) {
        AppendTopValue(L, result);
    } else {
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    }
}

void CheckReplacement(lua_State* L)
{
    const int type = lua_type(L, kReplacementIndex);
    if (type == LUA_TNUMBER || LuaWideString::Is(L, kReplacementIndex)) {
        LuaWideString::Check(L, kReplacementIndex);
        return;
    }
    luaL_argcheck(L, type == LUA_TFUNCTION || type == LUA_TTABLE, kReplacementIndex,
                  "wide string/function/table expected");
}

}  // namespace

const luaL_Reg* LuaWideStringPatterns::Functions()
{
    static const luaL_Reg kFunctions[] = {
        {"find", LuaWideStringBoundary::Call<&Find>},
        {"gmatch", LuaWideStringBoundary::Call<&GMatch>},
        {"gsub", LuaWideStringBoundary::Call<&GSub>},
        {"match", LuaWideStringBoundary::Call<&Match>},
        {nullptr, nullptr},
    };
    return kFunctions;
}

int LuaWideStringPatterns::Find(lua_State* L)
{
    return FindOrMatch(L, true);
}

int LuaWideStringPatterns::Match(lua_State* L)
{
    return FindOrMatch(L, false);
}

int LuaWideStringPatterns::FindOrMatch(lua_State* L, bool isFind)
{
    size_t subjectLength = 0;
    size_t patternLength = 0;
    const wchar_t* subject = LuaWideString::Check(L, kSubjectIndex, &subjectLength);
    const wchar_t* pattern = LuaWideString::Check(L, kPatternIndex, &patternLength);
    const size_t start =
        LuaWideStringPosition::SearchStart(luaL_optinteger(L, 3, 1), subjectLength);
    if (isFind && (lua_toboolean(L, 4) || WidePatternMatcher::IsPlainText(pattern, patternLength))) {
        const size_t found = std::wstring_view(subject, subjectLength)
                                 .find(std::wstring_view(pattern, patternLength), start);
        if (found == std::wstring_view::npos) {
            lua_pushnil(L);
            return 1;
        }
        lua_pushinteger(L, static_cast<lua_Integer>(found + 1));
        lua_pushinteger(L, static_cast<lua_Integer>(found + patternLength));
        return 2;
    }
    WidePatternMatcher matcher(subject, subjectLength, pattern, patternLength);
    if (!matcher.Search(start)) {
        lua_pushnil(L);
        return 1;
    }
    if (!isFind) {
        return PushCaptures(L, matcher, subject, true);
    }
    lua_pushinteger(L, static_cast<lua_Integer>(matcher.MatchStart() + 1));
    lua_pushinteger(L, static_cast<lua_Integer>(matcher.MatchEnd()));
    return 2 + PushCaptures(L, matcher, subject, false);
}

int LuaWideStringPatterns::GMatch(lua_State* L)
{
    LuaWideString::Check(L, kSubjectIndex);
    LuaWideString::Check(L, kPatternIndex);
    lua_settop(L, 2);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, LuaWideStringBoundary::Call<&GMatchNext>, 3);
    return 1;
}

// The iterator's upvalues: the subject, the pattern and the 0-based offset
// where the next search starts. An empty match moves the offset on by one.
int LuaWideStringPatterns::GMatchNext(lua_State* L)
{
    size_t subjectLength = 0;
    size_t patternLength = 0;
    const wchar_t* subject = LuaWideString::To(L, lua_upvalueindex(1), &subjectLength);
    const wchar_t* pattern = LuaWideString::To(L, lua_upvalueindex(2), &patternLength);
    WidePatternMatcher matcher(subject, subjectLength, pattern, patternLength,
                               WidePatternMatcher::Anchoring::LeadingCaretIsLiteral);
    for (size_t position = static_cast<size_t>(lua_tointeger(L, lua_upvalueindex(3)));
         position <= subjectLength; ++position) {
        if (matcher.MatchAt(position)) {
            const size_t end = matcher.MatchEnd();
            lua_pushinteger(L, static_cast<lua_Integer>(end == position ? end + 1 : end));
            lua_replace(L, lua_upvalueindex(3));
            return PushCaptures(L, matcher, subject, true);
        }
    }
    return 0;
}

int LuaWideStringPatterns::GSub(lua_State* L)
{
    size_t subjectLength = 0;
    size_t patternLength = 0;
    const wchar_t* subject = LuaWideString::Check(L, kSubjectIndex, &subjectLength);
    const wchar_t* pattern = LuaWideString::Check(L, kPatternIndex, &patternLength);
    CheckReplacement(L);
    const lua_Integer maxReplacements =
        luaL_optinteger(L, 4, static_cast<lua_Integer>(subjectLength) + 1);
    WidePatternMatcher matcher(subject, subjectLength, pattern, patternLength);
    std::wstring result;
    size_t position = 0;
    lua_Integer count = 0;
    while (count < maxReplacements) {
        const bool matched = matcher.MatchAt(position);
        if (matched) {
            ++count;
            AppendReplacement(L, result, matcher, subject);
        }
        if (matched && matcher.MatchEnd() > position) {
            position = matcher.MatchEnd();
        } else if (position < subjectLength) {
            result += subject[position++];
        } else {
            break;
        }
        if (matcher.IsAnchored()) {
            break;
        }
    }
    result.append(subject + position, subjectLength - position);
    LuaWideString::Push(L, result);
    lua_pushinteger(L, count);
    return 2;
}

}  // namespace OstrelInstallEngine
