// Filling of numbered placeholders in localized texts: "%1FILE_NAME%" selects
// the first argument; the name between the digit and the closing percent sign
// only tells the translator what will stand there. There is no escape for a
// literal percent sign.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OstrelInstallEngine {

struct FormatToken {
    uint32_t start;   // position of the opening percent sign
    uint32_t length;  // characters up to and including the closing percent sign
    uint32_t index;   // digit minus 1; the digit 0 gives a value that selects nothing
};

class LocalizerUtil {
public:
    // The placeholders of a text, in text order. A percent sign at the end
    // (10083), one followed by a non-digit (10084) and an unclosed placeholder
    // (10085) fail.
    static std::vector<FormatToken> ParseFormat(const std::wstring& format);

    // Replaces each placeholder by its argument, from the last to the first.
    // An index with no argument throws std::out_of_range.
    static std::wstring Substitute(std::wstring format, std::vector<FormatToken> tokens,
                                   std::vector<std::wstring> arguments);

    static std::wstring FormatString(const std::wstring& format,
                                     const std::vector<std::wstring>& arguments);

    template <typename... Args>
    static std::wstring FormatString(const std::wstring& format, const Args&... args)
    {
        return FormatString(format, std::vector<std::wstring>{std::wstring(args)...});
    }
};

}  // namespace OstrelInstallEngine
