#include "script/LuaWideStringFormat.h"

#include <stdio.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

#include "script/LuaWideString.h"
#include "script/LuaWideStringBoundary.h"
#include "script/WideUtf8.h"

namespace OstrelInstallEngine {

namespace {

const wchar_t kFlags[] = L"-+ #0";
// Lua 5.1 refuses a format item with more flags than there are kinds.
const size_t kMaxFlagCount = 5;
const size_t kMaxDigits = 2;

bool IsAsciiDigit(wchar_t unit)
{
    return unit >= L'0' && unit <= L'9';
}

// The C99 printf of mingw, the one Lua's string.format calls through
// sprintf; the Microsoft runtime's printf writes exponents with three digits.
template <typename Value>
std::string PrintNarrow(const std::string& format, Value value)
{
    const int size = __mingw_snprintf(nullptr, 0, format.c_str(), value);
    if (size <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(size) + 1, '\0');
    __mingw_snprintf(&text[0], text.size(), format.c_str(), value);
    text.resize(static_cast<size_t>(size));
    return text;
}

// Values without a 64-bit integer counterpart (NaN, infinities, huge
// magnitudes) become the minimum, as the processor's own conversion does.
long long IntegerOf(lua_Number value)
{
    const lua_Number limit = 9223372036854775808.0;
    if (!(value >= -limit && value < limit)) {
        return LLONG_MIN;
    }
    return static_cast<long long>(value);
}

// A negative value that fits 32 bits keeps the 32-bit two's complement
// Lua's string.format writes (-1 is ffffffff), which is what a script
// printing a Windows error code expects.
unsigned long long UnsignedOf(lua_Number value)
{
    const long long integer = IntegerOf(value);
    if (integer < 0 && integer >= INT_MIN) {
        return static_cast<unsigned int>(integer);
    }
    return static_cast<unsigned long long>(integer);
}

size_t DigitsValue(const std::string& digits)
{
    return digits.empty() ? 0 : static_cast<size_t>(std::atoi(digits.c_str()));
}

}  // namespace

const luaL_Reg* LuaWideStringFormat::Functions()
{
    static const luaL_Reg kFunctions[] = {
        {"format", LuaWideStringBoundary::Call<&Format>},
        {nullptr, nullptr},
    };
    return kFunctions;
}

int LuaWideStringFormat::Format(lua_State* L)
{
    size_t length = 0;
    const wchar_t* format = LuaWideString::Check(L, 1, &length);
    const int top = lua_gettop(L);
    int argument = 1;
    std::wstring result;
    size_t position = 0;
    while (position < length) {
        const wchar_t current = format[position++];
        if (current != L'%') {
            result += current;
        } else if (position < length && format[position] == L'%') {
            result += L'%';
            ++position;
        } else {
            if (++argument > top) {
                luaL_argerror(L, argument, "no value");
            }
            AppendItem(L, ScanItem(L, format, length, position), argument, result);
        }
    }
    LuaWideString::Push(L, result);
    return 1;
}

LuaWideStringFormat::Item LuaWideStringFormat::ScanItem(lua_State* L, const wchar_t* format,
                                                        size_t length, size_t& position)
{
    Item item;
    while (position < length && format[position] != 0 && std::wcschr(kFlags, format[position])) {
        item.flags += static_cast<char>(format[position++]);
    }
    if (item.flags.size() > kMaxFlagCount) {
        luaL_error(L, "invalid format (repeated flags)");
    }
    while (item.width.size() < kMaxDigits && position < length && IsAsciiDigit(format[position])) {
        item.width += static_cast<char>(format[position++]);
    }
    if (position < length && format[position] == L'.') {
        item.precision = ".";
        ++position;
        while (item.precision.size() <= kMaxDigits && position < length &&
               IsAsciiDigit(format[position])) {
            item.precision += static_cast<char>(format[position++]);
        }
    }
    if (position < length && IsAsciiDigit(format[position])) {
        luaL_error(L, "invalid format (width or precision too long)");
    }
    item.conversion = position < length ? format[position++] : 0;
    return item;
}

void LuaWideStringFormat::AppendItem(lua_State* L, const Item& item, int argument,
                                     std::wstring& result)
{
    switch (item.conversion) {
    case L'c': {
        const wchar_t unit = static_cast<wchar_t>(luaL_checkinteger(L, argument));
        Item withoutPrecision = item;
        withoutPrecision.precision.clear();
        AppendPadded(withoutPrecision, &unit, 1, result);
        break;
    }
    case L'd': case L'i': case L'o': case L'u': case L'x': case L'X':
    case L'e': case L'E': case L'f': case L'g': case L'G':
        AppendNumber(L, item, argument, result);
        break;
    case L'q':
        AppendQuoted(L, argument, result);
        break;
    case L's': {
        size_t length = 0;
        const wchar_t* text = LuaWideString::Check(L, argument, &length);
        AppendPadded(item, text, length, result);
        break;
    }
    default: {
        const std::string option = WideUtf8::Encode(&item.conversion, item.conversion != 0 ? 1 : 0);
        luaL_error(L, "invalid option '%%%s' to 'format'", option.c_str());
    }
    }
}

void LuaWideStringFormat::AppendNumber(lua_State* L, const Item& item, int argument,
                                       std::wstring& result)
{
    const lua_Number value = luaL_checknumber(L, argument);
    std::string format = "%" + item.flags + item.width + item.precision;
    std::string text;
    switch (item.conversion) {
    case L'd': case L'i':
        text = PrintNarrow(format + "ll" + static_cast<char>(item.conversion), IntegerOf(value));
        break;
    case L'o': case L'u': case L'x': case L'X':
        text = PrintNarrow(format + "ll" + static_cast<char>(item.conversion),
                           UnsignedOf(value));
        break;
    default:
        text = PrintNarrow(format + static_cast<char>(item.conversion), value);
        break;
    }
    result.append(text.begin(), text.end());
}

void LuaWideStringFormat::AppendPadded(const Item& item, const wchar_t* text, size_t length,
                                       std::wstring& result)
{
    const size_t count =
        item.precision.empty() ? length : std::min(length, DigitsValue(item.precision.substr(1)));
    const size_t width = DigitsValue(item.width);
    const size_t padding = width > count ? width - count : 0;
    const bool leftAligned = item.flags.find('-') != std::string::npos;
    if (!leftAligned) {
        result.append(padding, L' ');
    }
    result.append(text, count);
    if (leftAligned) {
        result.append(padding, L' ');
    }
}

void LuaWideStringFormat::AppendQuoted(lua_State* L, int argument, std::wstring& result)
{
    size_t length = 0;
    const wchar_t* text = LuaWideString::Check(L, argument, &length);
    result += L'"';
    for (size_t i = 0; i < length; ++i) {
        switch (text[i]) {
        case L'"': case L'\\': case L'\n':
            result += L'\\';
            result += text[i];
            break;
        case L'\r':
            result += L"\\r";
            break;
        case L'\0':
            result += L"\\000";
            break;
        default:
            result += text[i];
        }
    }
    result += L'"';
}

}  // namespace OstrelInstallEngine
