#include "base/LocalizerUtil.h"

#include "base/Check.h"

namespace OstrelInstallEngine {

std::vector<FormatToken> LocalizerUtil::ParseFormat(const std::wstring& format)
{
    std::vector<FormatToken> tokens;
    bool bInToken = false;
    for (size_t i = 0; i < format.length(); ++i) {
        if (format[i] != L'%') {
            continue;
        }
        if (bInToken) {
            tokens.back().length = static_cast<uint32_t>(i - tokens.back().start + 1);
            bInToken = false;
            continue;
        }
        OSTREL_CHECK((i + 1) < format.length(), 10083);
        OSTREL_CHECK((format[i+1] >= L'0') && (format[i+1] <= L'9'), 10084);
        tokens.push_back(FormatToken{static_cast<uint32_t>(i), 0,
                                     static_cast<uint32_t>(format[i + 1] - L'1')});
        bInToken = true;
        ++i;
    }
    OSTREL_CHECK(!bInToken, 10085);
    return tokens;
}

std::wstring LocalizerUtil::Substitute(std::wstring format, std::vector<FormatToken> tokens,
                                       std::vector<std::wstring> arguments)
{
    for (auto token = tokens.rbegin(); token != tokens.rend(); ++token) {
        format.replace(token->start, token->length, arguments.at(token->index));
    }
    return format;
}

std::wstring LocalizerUtil::FormatString(const std::wstring& format,
                                         const std::vector<std::wstring>& arguments)
{
    return Substitute(format, ParseFormat(format), arguments);
}

}  // namespace OstrelInstallEngine
