// The check macros: the exact assertion texts with this file's name and the
// line of the check, and the variants that attach a system error.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/Check.h"
#include "EngineFailure.h"
#include "base/Util.h"

namespace {

using OstrelInstallEngine::FormatWide;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::SanityCheckException;
using OstrelTest::CatchEngineFailure;

std::wstring AssertionText(int line, const std::wstring& condition)
{
    return FormatWide(L"Assertion failed (CheckTest:%d): %s", line, condition.c_str());
}

std::wstring AssertionText(int line, const std::wstring& condition, DWORD error)
{
    return FormatWide(L"Assertion failed (CheckTest:%d): %s; HRESULT %08x: %s", line,
                      condition.c_str(), error, GetWin32ErrorTextEnglish(error).c_str());
}

// A plain check names this file, the line and the condition as written.
TEST(CheckTest, FailedCheckText)
{
    int line = 0;
    const int three = 3;
    auto failure = CatchEngineFailure([&] {
        line = __LINE__; OSTREL_CHECK(1 + 1 == three, 10999);
    });
    ASSERT_NE(nullptr, failure);
    EXPECT_NE(nullptr, dynamic_cast<SanityCheckException*>(failure.get()));
    EXPECT_EQ(AssertionText(line, L"1 + 1 == three"), failure->GetEnglishMessage());
    EXPECT_EQ(FormatWide(L"Assertion failed (CheckTest:%d): 1 + 1 == three", line),
              failure->GetEnglishMessage());
    EXPECT_EQ(L"10999", failure->GetErrorCode());
    EXPECT_EQ(L"Internal check failed", failure->GetLocalizedSummary());
    EXPECT_EQ(L"Internal check failed (10999)", failure->GetDisplaySummary());
}

// A check that holds throws nothing and evaluates its condition once.
TEST(CheckTest, PassingCheck)
{
    int evaluations = 0;
    EXPECT_EQ(nullptr, CatchEngineFailure([&] { OSTREL_CHECK(++evaluations == 1, 10999); }));
    EXPECT_EQ(1, evaluations);
    EXPECT_EQ(nullptr, CatchEngineFailure([&] {
                  OSTREL_CHECK_LAST_ERROR(true, 10999);
                  OSTREL_CHECK_ERROR(true, 10999, ERROR_ACCESS_DENIED);
                  HRESULT hr = S_FALSE;
                  OSTREL_CHECK_HRESULT(hr, 10999);
              }));
}

// The last-error variant attaches the error of the failed call: its English
// text in the message and "%d:%08x" as the code text.
TEST(CheckTest, LastErrorOfFailedCall)
{
    int line = 0;
    auto failure = CatchEngineFailure([&] {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, L"OstrelTests.NoSuchEvent");
        line = __LINE__; OSTREL_CHECK_LAST_ERROR(event != NULL, 10058);
    });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(AssertionText(line, L"event != NULL", ERROR_FILE_NOT_FOUND),
              failure->GetEnglishMessage());
    EXPECT_EQ(L"10058:00000002", failure->GetErrorCode());
    EXPECT_EQ(std::wstring::npos, failure->GetEnglishMessage().find_first_of(L"\r\n"));
}

// A given error and an HRESULT are attached the same way.
TEST(CheckTest, GivenErrorAndHresult)
{
    int line = 0;
    auto withError = CatchEngineFailure([&] {
        const bool opened = false;
        line = __LINE__; OSTREL_CHECK_ERROR(opened, 10312, ERROR_ACCESS_DENIED);
    });
    ASSERT_NE(nullptr, withError);
    EXPECT_EQ(AssertionText(line, L"opened", ERROR_ACCESS_DENIED), withError->GetEnglishMessage());
    EXPECT_EQ(L"10312:00000005", withError->GetErrorCode());

    auto withHresult = CatchEngineFailure([&] {
        HRESULT hr = E_INVALIDARG;
        line = __LINE__; OSTREL_CHECK_HRESULT(hr, 10381);
    });
    ASSERT_NE(nullptr, withHresult);
    EXPECT_EQ(AssertionText(line, L"SUCCEEDED(hr)", 0x80070057), withHresult->GetEnglishMessage());
    EXPECT_EQ(L"10381:80070057", withHresult->GetErrorCode());
}

// The unconditional failures use the condition text "false".
TEST(CheckTest, Failures)
{
    int line = 0;
    auto plain = CatchEngineFailure([&] {
        line = __LINE__; OSTREL_FAIL(10082);
    });
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(AssertionText(line, L"false"), plain->GetEnglishMessage());
    EXPECT_EQ(L"10082", plain->GetErrorCode());

    auto lastError = CatchEngineFailure([&] {
        SetLastError(ERROR_SHARING_VIOLATION);
        line = __LINE__; OSTREL_FAIL_LAST_ERROR(10319);
    });
    ASSERT_NE(nullptr, lastError);
    EXPECT_EQ(AssertionText(line, L"false", ERROR_SHARING_VIOLATION),
              lastError->GetEnglishMessage());
    EXPECT_EQ(L"10319:00000020", lastError->GetErrorCode());

    auto givenError = CatchEngineFailure([&] {
        line = __LINE__; OSTREL_FAIL_ERROR(10081, E_OUTOFMEMORY);
    });
    ASSERT_NE(nullptr, givenError);
    EXPECT_EQ(AssertionText(line, L"false", 0x8007000E), givenError->GetEnglishMessage());
    EXPECT_EQ(L"10081:8007000e", givenError->GetErrorCode());
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
