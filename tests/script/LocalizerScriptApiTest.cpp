// The localizer functions of the script: texts by id and placeholder filling,
// with numbers converted and the argument count checked.
#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::ScriptPackage;

std::wstring Evaluate(const std::string& expression)
{
    ScriptPackage script("props.Result = " + expression);
    return script.Prop("Result");
}

std::unique_ptr<Exception> OpenFailure(const std::string& chunk)
{
    return CatchEngineFailure([&] { ScriptPackage script(chunk); });
}

TEST(LocalizerScriptApiTest, GetStringReturnsTheTableText)
{
    EXPECT_EQ(L"Internal check failed", Evaluate("localizer.GetString(1000010003)"));
    EXPECT_EQ(L"BAD_STRING: 42", Evaluate("localizer.GetString(42)"));
}

TEST(LocalizerScriptApiTest, GetFormattedStringFillsTheText)
{
    EXPECT_EQ(L"Unable to open file \"C:\\a.txt\"",
              Evaluate("localizer.GetFormattedString(1000010010, L'C:\\\\a.txt')"));
    EXPECT_EQ(L"Unable to open file \"\"", Evaluate("localizer.GetFormattedString(1000010010.9, L'')"));
}

TEST(LocalizerScriptApiTest, FormatStringTakesWideStringsAndNumbers)
{
    EXPECT_EQ(L"2 of 3.5 (x)", Evaluate("localizer.FormatString(L'%1A% of %2B% (%3C%)', 2, 3.5, L'x')"));
    EXPECT_EQ(L"one %2X% one", Evaluate("localizer.FormatString(L'%1A% %2B% %1A%', L'one', L'%2X%')"));
    EXPECT_EQ(L"plain", Evaluate("localizer.FormatString(L'plain', L'unused')"));
}

TEST(LocalizerScriptApiTest, TooFewArgumentsFail)
{
    auto format = OpenFailure("localizer.FormatString(L'only')");
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(L"10215", format->GetErrorCode());
    EXPECT_NE(std::wstring::npos, format->GetEnglishMessage().find(L"): numArgs >= 2"));
    auto formatted = OpenFailure("localizer.GetFormattedString(1000010010)");
    ASSERT_NE(nullptr, formatted);
    EXPECT_EQ(L"10216", formatted->GetErrorCode());
}

TEST(LocalizerScriptApiTest, ArgumentsOfOtherTypesAreBadArguments)
{
    auto narrow = OpenFailure("localizer.FormatString(L'%1X%', 'narrow')");
    ASSERT_NE(nullptr, narrow);
    EXPECT_NE(std::wstring::npos,
              narrow->GetEnglishMessage().find(L"bad argument #2 to 'FormatString' (bad argument)"));
    auto format = OpenFailure("localizer.FormatString('narrow format', L'x')");
    ASSERT_NE(nullptr, format);
    EXPECT_NE(std::wstring::npos,
              format->GetEnglishMessage().find(L"bad argument #1 to 'FormatString' (bad argument)"));
}

}  // namespace
