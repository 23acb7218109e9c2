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

// Texts by id (BAD_STRING for an unknown one), filled from wide strings and
// numbers, the id truncated; placeholders in arguments stay as they are.
TEST(LocalizerScriptApiTest, TextsAreLookedUpAndFilled)
{
    const struct {
        const char* expression;
        const wchar_t* expected;
    } cases[] = {
        {"localizer.GetString(1000010003)", L"Internal check failed"},
        {"localizer.GetString(42)", L"BAD_STRING: 42"},
        {"localizer.GetFormattedString(1000010010, L'C:\\\\a.txt')", L"Unable to open file \"C:\\a.txt\""},
        {"localizer.GetFormattedString(1000010010.9, L'')", L"Unable to open file \"\""},
        {"localizer.FormatString(L'%1A% of %2B% (%3C%)', 2, 3.5, L'x')", L"2 of 3.5 (x)"},
        {"localizer.FormatString(L'%1A% %2B% %1A%', L'one', L'%2X%')", L"one %2X% one"},
        {"localizer.FormatString(L'plain', L'unused')", L"plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Evaluate(c.expression)) << c.expression;
    }
}

// Too few arguments fail their checks; a narrow string is a bad argument.
TEST(LocalizerScriptApiTest, BadArgumentsFail)
{
    const struct {
        const char* chunk;
        const wchar_t* code;
        const wchar_t* message;
    } cases[] = {
        {"localizer.FormatString(L'only')", L"10215", L"): numArgs >= 2"},
        {"localizer.GetFormattedString(1000010010)", L"10216", L"): "},
        {"localizer.FormatString(L'%1X%', 'narrow')", nullptr, L"bad argument #2 to 'FormatString' (bad argument)"},
        {"localizer.FormatString('narrow format', L'x')", nullptr, L"bad argument #1 to 'FormatString' (bad argument)"},
    };
    for (const auto& c : cases) {
        auto error = CatchEngineFailure([&] { ScriptPackage script(c.chunk); });
        ASSERT_NE(nullptr, error) << c.chunk;
        if (c.code != nullptr) {
            EXPECT_EQ(c.code, error->GetErrorCode());
        }
        EXPECT_NE(std::wstring::npos, error->GetEnglishMessage().find(c.message)) << c.chunk;
    }
}

}  // namespace
