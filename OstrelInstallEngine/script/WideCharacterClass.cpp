#include "script/WideCharacterClass.h"

#include <windows.h>

#include <wctype.h>

namespace OstrelInstallEngine {

namespace {

bool IsAsciiUpper(wchar_t unit) { return unit >= L'A' && unit <= L'Z'; }
bool IsAsciiLower(wchar_t unit) { return unit >= L'a' && unit <= L'z'; }
bool IsAsciiDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }
bool IsAsciiAlpha(wchar_t unit) { return IsAsciiUpper(unit) || IsAsciiLower(unit); }
bool IsAsciiControl(wchar_t unit) { return unit < 0x20 || unit == 0x7F; }
bool IsAsciiSpace(wchar_t unit) { return unit == L' ' || (unit >= L'\t' && unit <= L'\r'); }

bool IsAsciiHexDigit(wchar_t unit)
{
    return IsAsciiDigit(unit) || (unit >= L'a' && unit <= L'f') || (unit >= L'A' && unit <= L'F');
}

bool IsAsciiPunctuation(wchar_t unit)
{
    return unit > L' ' && unit < 0x7F && !IsAsciiAlpha(unit) && !IsAsciiDigit(unit);
}

bool IsAlpha(wchar_t unit) { return unit < 128 ? IsAsciiAlpha(unit) : iswalpha(unit) != 0; }
bool IsControl(wchar_t unit) { return unit < 128 ? IsAsciiControl(unit) : iswcntrl(unit) != 0; }
bool IsDigit(wchar_t unit) { return unit < 128 ? IsAsciiDigit(unit) : iswdigit(unit) != 0; }
bool IsLower(wchar_t unit) { return unit < 128 ? IsAsciiLower(unit) : iswlower(unit) != 0; }
bool IsPunctuation(wchar_t unit) { return unit < 128 ? IsAsciiPunctuation(unit) : iswpunct(unit) != 0; }
bool IsSpace(wchar_t unit) { return unit < 128 ? IsAsciiSpace(unit) : iswspace(unit) != 0; }
bool IsUpper(wchar_t unit) { return unit < 128 ? IsAsciiUpper(unit) : iswupper(unit) != 0; }
bool IsAlphanumeric(wchar_t unit) { return IsAlpha(unit) || IsDigit(unit); }
bool IsHexDigit(wchar_t unit) { return unit < 128 ? IsAsciiHexDigit(unit) : iswxdigit(unit) != 0; }

}  // namespace

bool WideCharacterClass::Matches(wchar_t unit, wchar_t letter)
{
    bool inClass = false;
    switch (IsAsciiUpper(letter) ? letter - L'A' + L'a' : letter) {
    case L'a': inClass = IsAlpha(unit); break;
    case L'c': inClass = IsControl(unit); break;
    case L'd': inClass = IsDigit(unit); break;
    case L'l': inClass = IsLower(unit); break;
    case L'p': inClass = IsPunctuation(unit); break;
    case L's': inClass = IsSpace(unit); break;
    case L'u': inClass = IsUpper(unit); break;
    case L'w': inClass = IsAlphanumeric(unit); break;
    case L'x': inClass = IsHexDigit(unit); break;
    case L'z': inClass = unit == 0; break;
    default: return letter == unit;
    }
    return IsAsciiUpper(letter) ? !inClass : inClass;
}

wchar_t WideCharacterClass::ToUpper(wchar_t unit)
{
    if (unit < 128) {
        return IsAsciiLower(unit) ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
    }
    CharUpperBuffW(&unit, 1);
    return unit;
}

wchar_t WideCharacterClass::ToLower(wchar_t unit)
{
    if (unit < 128) {
        return IsAsciiUpper(unit) ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
    }
    CharLowerBuffW(&unit, 1);
    return unit;
}

}  // namespace OstrelInstallEngine
