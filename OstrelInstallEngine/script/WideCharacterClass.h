// Character classes and case mapping of wide strings. Code units below 128
// follow the C locale exactly, as Lua's string library sees ASCII; units at
// or above 128 take the C runtime's wide classification (iswalpha and its
// kin, which know Unicode whatever the locale) and the system's case mapping
// (CharUpperBuffW/CharLowerBuffW: the runtime's towupper maps only ASCII in
// the C locale). Surrogate halves belong to no class and keep their case.
#pragma once

namespace OstrelInstallEngine {

class WideCharacterClass {
public:
    // Whether unit belongs to the pattern class named by letter ('a', 'd',
    // ... 'z'; the upper-case letter is the complement). A letter that names
    // no class stands for itself.
    static bool Matches(wchar_t unit, wchar_t letter);

    static wchar_t ToUpper(wchar_t unit);
    static wchar_t ToLower(wchar_t unit);
};

}  // namespace OstrelInstallEngine
