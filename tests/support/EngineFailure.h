// Helpers of the base-layer and stream tests: run an action that must fail,
// keep a copy of the engine exception it threw, and compare a failed check
// with its expected file, condition and code.
#pragma once

#include <gtest/gtest.h>

#include <cwctype>
#include <memory>
#include <string>

#include "base/Exceptions.h"

namespace OstrelTest {

// A clone of the engine exception the action threw; null when it threw none.
template <typename Action>
std::unique_ptr<OstrelInstallEngine::Exception> CatchEngineFailure(Action action)
{
    try {
        action();
    } catch (const OstrelInstallEngine::Exception& failure) {
        return failure.Clone();
    }
    return nullptr;
}

// The code text of the engine exception the action threw; "<none>" when it threw none.
template <typename Action>
std::wstring FailureCode(Action action)
{
    std::unique_ptr<OstrelInstallEngine::Exception> failure = CatchEngineFailure(action);
    return failure ? failure->GetErrorCode() : L"<none>";
}

// "Assertion failed (<file>:<any line>): <condition>", code text "<code>",
// thrown as a SanityCheckException with the internal-check texts.
inline ::testing::AssertionResult IsCheckFailure(const OstrelInstallEngine::Exception* failure,
                                                 const std::wstring& file,
                                                 const std::wstring& condition,
                                                 const std::wstring& codeText)
{
    if (failure == nullptr) {
        return ::testing::AssertionFailure() << "no engine exception was thrown";
    }
    if (dynamic_cast<const OstrelInstallEngine::SanityCheckException*>(failure) == nullptr) {
        return ::testing::AssertionFailure() << "not a SanityCheckException: " << failure->what();
    }
    const std::wstring english = failure->GetEnglishMessage();
    const std::wstring prefix = L"Assertion failed (" + file + L":";
    const std::wstring suffix = L"): " + condition;
    bool matches = english.size() > prefix.size() + suffix.size() &&
                   english.compare(0, prefix.size(), prefix) == 0 &&
                   english.compare(english.size() - suffix.size(), suffix.size(), suffix) == 0;
    for (size_t i = prefix.size(); matches && i < english.size() - suffix.size(); ++i) {
        matches = std::iswdigit(english[i]) != 0;
    }
    if (!matches) {
        return ::testing::AssertionFailure() << "English message: " << failure->what();
    }
    if (failure->GetErrorCode() != codeText) {
        return ::testing::AssertionFailure() << "error code text: " << failure->what();
    }
    if (failure->GetLocalizedSummary() != L"Internal check failed") {
        return ::testing::AssertionFailure() << "localized summary is not the internal-check one";
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult IsCheckFailure(const OstrelInstallEngine::Exception* failure,
                                                 const std::wstring& file,
                                                 const std::wstring& condition, int code)
{
    return IsCheckFailure(failure, file, condition, std::to_wstring(code));
}

template <typename Action>
::testing::AssertionResult FailsCheck(Action action, const std::wstring& file,
                                      const std::wstring& condition, int code)
{
    std::unique_ptr<OstrelInstallEngine::Exception> failure = CatchEngineFailure(action);
    return IsCheckFailure(failure.get(), file, condition, code);
}

}  // namespace OstrelTest

// Expects the statement to fail a check of the named source file with that
// condition and code text.
#define EXPECT_CHECK_FAILURE_IN(file, statement, condition, code)                              \
    EXPECT_TRUE(::OstrelTest::IsCheckFailure(                                                  \
        ::OstrelTest::CatchEngineFailure([&] { statement; }).get(), file, condition, code))
