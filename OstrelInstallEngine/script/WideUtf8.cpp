#include "script/WideUtf8.h"

namespace OstrelInstallEngine {

namespace {

const char32_t kReplacementCharacter = 0xFFFD;

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The sequence length a lead byte announces and the range its second byte
// must lie in (the range rules out overlong forms, surrogates and values
// above U+10FFFF); 0 for a byte that cannot start a sequence.
struct LeadByte {
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadByte ClassifyLead(unsigned char byte)
{
    if (byte < 0x80) return {1, 0, 0};
    if (byte < 0xC2) return {0, 0, 0};
    if (byte < 0xE0) return {2, 0x80, 0xBF};
    if (byte == 0xE0) return {3, 0xA0, 0xBF};
    if (byte == 0xED) return {3, 0x80, 0x9F};
    if (byte < 0xF0) return {3, 0x80, 0xBF};
    if (byte == 0xF0) return {4, 0x90, 0xBF};
    if (byte < 0xF4) return {4, 0x80, 0xBF};
    if (byte == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

void AppendCodePoint(std::wstring& text, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        text += static_cast<wchar_t>(codePoint);
        return;
    }
    codePoint -= 0x10000;
    text += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
    text += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
}

void AppendUtf8(std::string& bytes, char32_t codePoint)
{
    if (codePoint < 0x80) {
        bytes += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes += static_cast<char>(0xC0 | (codePoint >> 6));
        bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes += static_cast<char>(0xE0 | (codePoint >> 12));
        bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (codePoint >> 18));
        bytes += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

bool WideUtf8::Decode(const char* bytes, size_t length, std::wstring& text, size_t& errorOffset)
{
    const unsigned char* input = reinterpret_cast<const unsigned char*>(bytes);
    text.clear();
    text.reserve(length);
    size_t position = 0;
    while (position < length) {
        const LeadByte lead = ClassifyLead(input[position]);
        const size_t remaining = length - position;
        bool valid = lead.length > 0 && remaining >= static_cast<size_t>(lead.length);
        if (valid && lead.length > 1) {
            const unsigned char second = input[position + 1];
            valid = second >= lead.secondLow && second <= lead.secondHigh;
            for (int i = 2; valid && i < lead.length; ++i) {
                valid = IsContinuation(input[position + i]);
            }
        }
        if (!valid) {
            errorOffset = position;
            return false;
        }
        char32_t codePoint = lead.length == 1 ? input[position]
                                              : input[position] & (0x7F >> lead.length);
        for (int i = 1; i < lead.length; ++i) {
            codePoint = (codePoint << 6) | (input[position + i] & 0x3F);
        }
        AppendCodePoint(text, codePoint);
        position += lead.length;
    }
    return true;
}

std::string WideUtf8::Encode(const wchar_t* text, size_t length)
{
    std::string bytes;
    bytes.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const wchar_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(bytes, kReplacementCharacter);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

}  // namespace OstrelInstallEngine
