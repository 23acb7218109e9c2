// The check macros: the exact assertion texts with this file's name and the
// line of the check, and the variants that attach a system error.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "EngineFailure.h"
#include "base/Check.h"
#include "base/Util.h"

namespace {

using OstrelInstallEngine::FormatWide;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::SanityCheckException;
using OstrelTest::CatchEngineFailure;

// Each check names this file, its line and its condition as written; the
// error variants attach the error's English text and "%d:%08x" as the code
// text; the unconditional failures use the condition text "false".
TEST(CheckTest, FailedCheckTexts)
{
    const int three = 3;
    const bool opened = false;
    const struct {
        std::function<void(int&)> fail;  // sets the line of its check
        std::wstring condition;
        DWORD error;  // 0: none attached
        std::wstring code;
    } cases[] = {
        {[&](int& line) { line = __LINE__; OSTREL_CHECK(1 + 1 == three, 10999); }, L"1 + 1 == three", 0,
         L"10999"},
        {[](int& line) {
             HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, L"OstrelTests.NoSuchEvent");
             line = __LINE__; OSTREL_CHECK_LAST_ERROR(event != NULL, 10058);
         },
         L"event != NULL", ERROR_FILE_NOT_FOUND, L"10058:00000002"},
        {[&](int& line) { line = __LINE__; OSTREL_CHECK_ERROR(opened, 10312, ERROR_ACCESS_DENIED); },
         L"opened", ERROR_ACCESS_DENIED, L"10312:00000005"},
        {[](int& line) { HRESULT hr = E_INVALIDARG; line = __LINE__; OSTREL_CHECK_HRESULT(hr, 10381); },
         L"SUCCEEDED(hr)", 0x80070057, L"10381:80070057"},
        {[](int& line) { line = __LINE__; OSTREL_FAIL(10082); }, L"false", 0, L"10082"},
        {[](int& line) { SetLastError(ERROR_SHARING_VIOLATION); line = __LINE__; OSTREL_FAIL_LAST_ERROR(10319); },
         L"false", ERROR_SHARING_VIOLATION, L"10319:00000020"},
        {[](int& line) { line = __LINE__; OSTREL_FAIL_ERROR(10081, E_OUTOFMEMORY); }, L"false", 0x8007000E,
         L"10081:8007000e"},
    };
    for (const auto& c : cases) {
        int line = 0;
        auto failure = CatchEngineFailure([&] { c.fail(line); });
        ASSERT_NE(nullptr, failure) << c.code;
        std::wstring expected = FormatWide(L"Assertion failed (CheckTest:%d): %s", line,
                                           c.condition.c_str());
        if (c.error != 0) {
            expected += FormatWide(L"; HRESULT %08x: %s", c.error,
                                   GetWin32ErrorTextEnglish(c.error).c_str());
        }
        EXPECT_NE(nullptr, dynamic_cast<SanityCheckException*>(failure.get()));
        EXPECT_EQ(c.code, failure->GetErrorCode());
        EXPECT_EQ(L"Internal check failed", failure->GetLocalizedSummary());
        EXPECT_EQ(expected, failure->GetEnglishMessage());
        EXPECT_EQ(std::wstring::npos, failure->GetEnglishMessage().find_first_of(L"\r\n"));
        EXPECT_EQ(L"Internal check failed (" + c.code + L")", failure->GetDisplaySummary());
    }
}

// A check that holds throws nothing and evaluates its condition once.
TEST(CheckTest, PassingCheck)
{
    int evaluations = 0;
    EXPECT_EQ(nullptr, CatchEngineFailure([&] {
                  OSTREL_CHECK(++evaluations == 1, 10999);
                  OSTREL_CHECK_LAST_ERROR(true, 10999);
                  OSTREL_CHECK_ERROR(true, 10999, ERROR_ACCESS_DENIED);
                  HRESULT hr = S_FALSE;
                  OSTREL_CHECK_HRESULT(hr, 10999);
              }));
    EXPECT_EQ(1, evaluations);
}

// Reports name a source file by its base name without directory or extension.
TEST(CheckTest, SourceFileName)
{
    using OstrelInstallEngine::SourceFileName;
    EXPECT_STREQ("Util", SourceFileName("C:\\src\\OstrelInstallEngine\\Util.cpp"));
    EXPECT_STREQ("ZipFile", SourceFileName("/work/main/OstrelInstallEngine/ZipFile.cpp"));
    EXPECT_STREQ("Check", SourceFileName("Check.h"));
    EXPECT_STREQ("NoExtension", SourceFileName("dir/NoExtension"));
}

}  // namespace
