// Conversion between UTF-8 bytes and the UTF-16 code units of wide strings.
#pragma once

#include <string>

namespace OstrelInstallEngine {

class WideUtf8 {
public:
    // Decodes strict UTF-8: overlong forms, encoded surrogates, values above
    // U+10FFFF and truncated sequences are invalid. Characters above U+FFFF
    // become surrogate pairs. On success fills text and returns true; on
    // failure returns false with errorOffset the 0-based offset of the first
    // byte of the invalid sequence, and text is left unspecified.
    static bool Decode(const char* bytes, size_t length, std::wstring& text, size_t& errorOffset);

    // Encodes code units as UTF-8; a surrogate without its partner becomes
    // U+FFFD, so every wide string has a narrow form.
    static std::string Encode(const wchar_t* text, size_t length);
};

}  // namespace OstrelInstallEngine
