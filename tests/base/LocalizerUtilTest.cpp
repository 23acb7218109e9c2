// Placeholder filling of localized texts: the grammar of "%<digit>NAME%", the
// order of substitution, and every malformed text.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "base/Localizer.h"
#include "base/LocalizerUtil.h"

namespace {

using OstrelInstallEngine::FormatToken;
using OstrelInstallEngine::Localizer;
using OstrelInstallEngine::LocalizerUtil;
using OstrelTest::FailsCheck;

// The texts of the English table are filled where their placeholders stand;
// numbers select arguments in any order, one number may be used twice, the
// name may be empty; arguments are inserted literally, placeholders, percent
// signs, tabs and line feeds inside them uninterpreted.
TEST(LocalizerUtilTest, Filling)
{
    EXPECT_EQ(L"Unable to open file \"C:\\a.txt\"",
              Localizer::GetInstance()->GetFormattedString(1000010010, L"C:\\a.txt"));
    EXPECT_EQ(L"Unable to move file \"a\" to \"b\".",
              Localizer::Text(1000010018, std::wstring(L"a"), std::wstring(L"b")));
    EXPECT_EQ(L"Error code 10008:00000002 (CreateFile returned 00000002: File not found.)",
              LocalizerUtil::FormatString(L"Error code %1ERROR_CODE% (%2WIN32_FUN% returned "
                                          L"%3WIN32_ERROR_CODE%: %4WIN32_ERROR_DESC%)",
                                          L"10008:00000002", L"CreateFile", L"00000002",
                                          L"File not found."));
    EXPECT_EQ(L"second, first", LocalizerUtil::FormatString(L"%2B%, %1A%", L"first", L"second"));
    EXPECT_EQ(L"x and [x]", LocalizerUtil::FormatString(L"%1NAME% and [%1%]", L"x"));
    EXPECT_EQ(L"no placeholder", LocalizerUtil::FormatString(L"no placeholder", L"unused"));
    EXPECT_EQ(L"a - i", LocalizerUtil::FormatString(L"%1% - %9%", L"a", L"b", L"c", L"d", L"e",
                                                    L"f", L"g", L"h", L"i"));
    EXPECT_EQ(L"<%2X%> <b>", LocalizerUtil::FormatString(L"<%1A%> <%2B%>", L"%2X%", L"b"));
    EXPECT_EQ(L"100% \t\n done", LocalizerUtil::FormatString(L"%1A% done", L"100% \t\n"));
}

// The tokens give the position, the length and the argument index of every
// placeholder; the digit 0 selects no argument.
TEST(LocalizerUtilTest, ParseFormatTokens)
{
    const std::vector<FormatToken> tokens = LocalizerUtil::ParseFormat(L"ab%1X%cd%2%%0Z%");
    ASSERT_EQ(3u, tokens.size());
    const unsigned expected[3][3] = {{2, 4, 0}, {8, 3, 1}, {11, 4, 0xFFFFFFFFu}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i][0], tokens[i].start);
        EXPECT_EQ(expected[i][1], tokens[i].length);
        EXPECT_EQ(expected[i][2], tokens[i].index);
    }
    EXPECT_TRUE(LocalizerUtil::ParseFormat(L"plain").empty());
}

// Malformed texts fail their checks: a final "%" (10083), "%" before a
// non-digit (10084), a placeholder never closed (10085); a number beyond the
// arguments, or the digit 0, is the library's out-of-range error.
TEST(LocalizerUtilTest, MalformedFormats)
{
    const std::wstring endCondition = L"(i + 1) < format.length()";
    const std::wstring digitCondition = L"(format[i+1] >= L'0') && (format[i+1] <= L'9')";
    const std::pair<const wchar_t*, std::pair<std::wstring, int>> cases[] = {
        {L"abc%", {endCondition, 10083}},     {L"%", {endCondition, 10083}},
        {L"%x%", {digitCondition, 10084}},    {L"100%% sure", {digitCondition, 10084}},
        {L"%1NAME", {L"!bInToken", 10085}},   {L"a %1A% b %2B", {L"!bInToken", 10085}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(FailsCheck([&] { LocalizerUtil::FormatString(c.first, L"x", L"y"); },
                               L"LocalizerUtil", c.second.first, c.second.second))
            << c.first;
    }
    EXPECT_THROW(LocalizerUtil::FormatString(L"%2B%", L"only one"), std::out_of_range);
    EXPECT_THROW(LocalizerUtil::FormatString(L"%0Z%", L"a", L"b"), std::out_of_range);
    EXPECT_THROW(LocalizerUtil::Substitute(L"%1A%", LocalizerUtil::ParseFormat(L"%1A%"), {}),
                 std::out_of_range);
}

}  // namespace
