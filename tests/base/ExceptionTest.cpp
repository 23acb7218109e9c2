// The exception family: report texts along chains of causes, the display
// texts built from the English table, copies and clones, and the texts of a
// failure of a real system call.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "EngineFailure.h"
#include "base/Exceptions.h"
#include "streams/FileStream.h"
#include "base/LuaBindingError.h"
#include "TestSupport.h"
#include "base/Util.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::GenericException;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::GetWin32ErrorTextLocalized;
using OstrelInstallEngine::LuaBindingError;
using OstrelInstallEngine::LuaException;
using OstrelInstallEngine::MiniZipException;
using OstrelInstallEngine::RethrowWrapperException;
using OstrelInstallEngine::SanityCheckException;
using OstrelInstallEngine::Win32Exception;
using OstrelTest::CatchEngineFailure;

const wchar_t kInternalCheckMessage[] =
    L"An internal check has failed. Please contact Brondel technical support for assistance.";

std::unique_ptr<Exception> Generic(const std::wstring& english, int code,
                                   std::unique_ptr<Exception> cause = nullptr)
{
    return std::make_unique<GenericException>(L"Localized " + english, L"Summary " + english,
                                              english, code, std::move(cause));
}

// Every text of the interface, so that two exceptions can be compared whole.
std::wstring AllTexts(const Exception& e)
{
    return e.GetLocalizedMessage() + L"|" + e.GetLocalizedSummary() + L"|" + e.GetErrorCode() +
           L"|" + e.GetEnglishMessage() + L"|" + e.GetDisplayMessage() + L"|" +
           e.GetDisplaySummary() + L"|" + e.GetErrorCodes() + L"|" + e.GetReport() + L"|" +
           e.GetEnglishDescription();
}

// Without a cause the reports are the English message and the one code.
TEST(ExceptionReportTest, SingleException)
{
    GenericException e(L"Le message", L"Le titre", L"The message", 10232);
    EXPECT_EQ(L"Le message", e.GetLocalizedMessage());
    EXPECT_EQ(L"Le titre", e.GetLocalizedSummary());
    EXPECT_EQ(L"The message", e.GetEnglishMessage());
    EXPECT_EQ(L"10232", e.GetErrorCode());
    EXPECT_EQ(L"10232", e.GetErrorCodes());
    EXPECT_EQ(L"The message (10232)\n", e.GetReport());
    EXPECT_EQ(L"The message (10232)", e.GetEnglishDescription());
    EXPECT_STREQ("The message (10232)", e.what());
    EXPECT_EQ(nullptr, e.GetCause());
}

// Equal codes along a chain collapse into one; different codes join with " / ".
TEST(ExceptionReportTest, ErrorCodesOfChains)
{
    EXPECT_EQ(L"10003", Generic(L"A", 10003, Generic(L"B", 10003))->GetErrorCodes());
    EXPECT_EQ(L"10003 / 10188", Generic(L"A", 10003, Generic(L"B", 10188))->GetErrorCodes());
    EXPECT_EQ(L"10003", Generic(L"A", 10003, Generic(L"B", 10003, Generic(L"C", 10003)))
                            ->GetErrorCodes());
    EXPECT_EQ(L"10003 / 10188",
              Generic(L"A", 10003, Generic(L"B", 10003, Generic(L"C", 10188)))->GetErrorCodes());
    EXPECT_EQ(L"10003 / 10188",
              Generic(L"A", 10003, Generic(L"B", 10188, Generic(L"C", 10188)))->GetErrorCodes());
    EXPECT_EQ(L"1 / 2 / 3", Generic(L"A", 1, Generic(L"B", 2, Generic(L"C", 3)))->GetErrorCodes());
    EXPECT_EQ(L"1 / 2 / 1", Generic(L"A", 1, Generic(L"B", 2, Generic(L"C", 1)))->GetErrorCodes());
}

// The report names every exception of the chain, one "  -> from" per cause,
// each with the codes of its own part of the chain.
TEST(ExceptionReportTest, ReportOfChains)
{
    auto twoLevels = Generic(L"Outer", 10003, Generic(L"Inner", 10003));
    EXPECT_EQ(L"Outer (10003)\n  -> from Inner (10003)\n", twoLevels->GetReport());
    EXPECT_EQ(L"Outer (10003)", twoLevels->GetEnglishDescription());

    auto threeLevels =
        Generic(L"Outer", 10003, Generic(L"Middle", 10188, Generic(L"Inner", 10188)));
    EXPECT_EQ(L"Outer (10003 / 10188)\n  -> from Middle (10188)\n  -> from Inner (10188)\n",
              threeLevels->GetReport());
    EXPECT_EQ(L"Outer (10003 / 10188)", threeLevels->GetEnglishDescription());
    EXPECT_STREQ("Outer (10003 / 10188)", threeLevels->what());
    ASSERT_NE(nullptr, threeLevels->GetCause());
    EXPECT_EQ(L"Middle", threeLevels->GetCause()->GetEnglishMessage());
}

// The display texts come from the English table: 1000010051 around the
// localized message and 1000010001, 1000010052 around the summary.
TEST(ExceptionReportTest, DisplayTexts)
{
    GenericException e(L"The disk is full.", L"Write failed", L"english", 10077);
    EXPECT_EQ(L"The disk is full. (Error code 10077)", e.GetDisplayMessage());
    EXPECT_EQ(L"Write failed (10077)", e.GetDisplaySummary());

    SanityCheckException check(L"Assertion failed (X:1): false", 10001);
    EXPECT_EQ(std::wstring(kInternalCheckMessage) + L" (Error code 10001)",
              check.GetDisplayMessage());
    EXPECT_EQ(L"Internal check failed (10001)", check.GetDisplaySummary());
}

// what() is the English description without the characters at or above 128.
TEST(ExceptionReportTest, WhatDropsNonAsciiCharacters)
{
    GenericException e(L"m", L"s", L"Caf\u00e9 \u20ac\u00ff ok\u007f", 10003);
    EXPECT_STREQ("Caf  ok\x7f (10003)", e.what());
    EXPECT_EQ(e.what(), e.what());
}

// A Win32Exception for a real failing call: opening a file that does not
// exist gives error 2, the system's English text on one line, and the path in
// both localized texts.
TEST(Win32ExceptionTest, MissingFileOpenedByFileStream)
{
    OstrelTest::TempFolder folder;
    const std::wstring path = folder.File(L"missing.txt");
    FileStream stream;
    auto failure = CatchEngineFailure([&] { stream.Open(path); });
    ASSERT_NE(nullptr, failure);
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));

    const std::wstring englishError = GetWin32ErrorTextEnglish(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(englishError.empty());
    EXPECT_EQ(std::wstring::npos, englishError.find_first_of(L"\r\n"));
    EXPECT_NE(L'?', englishError[0]);

    EXPECT_EQ(L"10008:00000002", failure->GetErrorCode());
    EXPECT_EQ(L"Error opening file \"" + path + L"\" (CreateFile returned 00000002: " +
                  englishError + L")",
              failure->GetEnglishMessage());
    EXPECT_EQ(L"Unable to open file \"" + path + L"\"", failure->GetLocalizedSummary());
    EXPECT_EQ(L"An error occurred while opening the file \"" + path +
                  L"\". The file may not exist or may be inaccessible, or another program may be "
                  L"using the file. If you cannot resolve this problem, please contact Brondel "
                  L"technical support.",
              failure->GetLocalizedMessage());
    EXPECT_EQ(failure->GetLocalizedMessage() +
                  L" (Error code 10008:00000002 (CreateFile returned 00000002: " +
                  GetWin32ErrorTextLocalized(ERROR_FILE_NOT_FOUND) + L"))",
              failure->GetDisplayMessage());
    EXPECT_EQ(L"Unable to open file \"" + path + L"\" (10008:00000002)",
              failure->GetDisplaySummary());
    EXPECT_EQ(failure->GetEnglishMessage() + L" (10008:00000002)\n", failure->GetReport());
}

// The code text carries the error as eight hexadecimal digits.
TEST(Win32ExceptionTest, CodeTextAndEnglishMessage)
{
    Win32Exception e(L"loc", L"sum", L"Error deleting file \"a\"", 10034, L"DeleteFile",
                     ERROR_ACCESS_DENIED);
    EXPECT_EQ(L"10034:00000005", e.GetErrorCode());
    EXPECT_EQ(L"Error deleting file \"a\" (DeleteFile returned 00000005: " +
                  GetWin32ErrorTextEnglish(ERROR_ACCESS_DENIED) + L")",
              e.GetEnglishMessage());
    EXPECT_EQ(L"sum (10034:00000005)", e.GetDisplaySummary());

    Win32Exception hresult(L"loc", L"sum", L"english", 10381, L"CoCreateInstance", 0x80004005);
    EXPECT_EQ(L"10381:80004005", hresult.GetErrorCode());
}

// A zip library result is shown in signed decimal, with its own error line.
TEST(MiniZipExceptionTest, CodeTextAndLines)
{
    MiniZipException e(L"The archive is damaged.", L"Unable to expand archive", L"Error reading",
                       10345, L"unzReadCurrentFile", -3);
    EXPECT_EQ(L"10345:-3", e.GetErrorCode());
    EXPECT_EQ(L"Error reading (unzReadCurrentFile returned -3)", e.GetEnglishMessage());
    EXPECT_EQ(L"The archive is damaged. (Error code 10345:-3 (unzReadCurrentFile returned -3))",
              e.GetDisplayMessage());
    EXPECT_EQ(L"Unable to expand archive (10345:-3)", e.GetDisplaySummary());
}

// A failed internal check uses the table's internal-check texts.
TEST(SanityCheckExceptionTest, Constructors)
{
    SanityCheckException plain(L"Assertion failed (Util:12): false", 10082);
    EXPECT_EQ(L"10082", plain.GetErrorCode());
    EXPECT_EQ(kInternalCheckMessage, plain.GetLocalizedMessage());
    EXPECT_EQ(L"Internal check failed", plain.GetLocalizedSummary());
    EXPECT_EQ(L"Assertion failed (Util:12): false", plain.GetEnglishMessage());

    SanityCheckException withError(L"english", L"10058:00000716");
    EXPECT_EQ(L"10058:00000716", withError.GetErrorCode());
    EXPECT_EQ(L"Internal check failed (10058:00000716)", withError.GetDisplaySummary());
}

// An unexpected exception wrapped on its way out keeps the cause's code and
// names its English message.
TEST(SanityCheckExceptionTest, WrapsCause)
{
    auto cause = std::make_unique<LuaException>(LuaBindingError("uninstall.lua:3: boom"), 10188);
    SanityCheckException wrapper(std::move(cause));
    EXPECT_EQ(L"Unexpected exception Lua exception: uninstall.lua:3: boom",
              wrapper.GetEnglishMessage());
    EXPECT_EQ(L"10188", wrapper.GetErrorCode());
    EXPECT_EQ(L"10188", wrapper.GetErrorCodes());
    EXPECT_EQ(kInternalCheckMessage, wrapper.GetLocalizedMessage());
    EXPECT_EQ(L"Internal check failed", wrapper.GetLocalizedSummary());
    ASSERT_NE(nullptr, wrapper.GetCause());
    EXPECT_NE(nullptr, dynamic_cast<const LuaException*>(wrapper.GetCause()));
    EXPECT_EQ(L"Unexpected exception Lua exception: uninstall.lua:3: boom (10188)\n"
              L"  -> from Lua exception: uninstall.lua:3: boom (10188)\n",
              wrapper.GetReport());

    SanityCheckException ofWin32(std::make_unique<Win32Exception>(
        L"loc", L"sum", L"Error opening file", 10008, L"CreateFile", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(L"10008:00000002", ofWin32.GetErrorCode());
    EXPECT_EQ(L"10008:00000002", ofWin32.GetErrorCodes());
}

// The binding's narrow message becomes "Lua exception: %hs".
TEST(LuaExceptionTest, Texts)
{
    LuaException e(LuaBindingError("[string \"x\"]:1: attempt to call a nil value"), 10094);
    EXPECT_EQ(L"Lua exception: [string \"x\"]:1: attempt to call a nil value",
              e.GetEnglishMessage());
    EXPECT_EQ(L"10094", e.GetErrorCode());
    EXPECT_EQ(kInternalCheckMessage, e.GetLocalizedMessage());
    EXPECT_EQ(L"Internal check failed", e.GetLocalizedSummary());
}

// Clone keeps the dynamic type and every text, and deep-copies the cause.
TEST(ExceptionCopyTest, CloneKeepsTypeAndTexts)
{
    std::unique_ptr<Exception> originals[] = {
        Generic(L"generic", 10003, Generic(L"cause", 10188)),
        std::make_unique<SanityCheckException>(L"check", 10001),
        std::make_unique<SanityCheckException>(Generic(L"cause", 10188)),
        std::make_unique<LuaException>(LuaBindingError("lua"), 10094),
        std::make_unique<Win32Exception>(L"l", L"s", L"e", 10008, L"CreateFile", 2,
                                         Generic(L"cause", 10188)),
        std::make_unique<MiniZipException>(L"l", L"s", L"e", 10345, L"unzOpen2", -103),
    };
    for (const auto& original : originals) {
        std::unique_ptr<Exception> clone = original->Clone();
        ASSERT_NE(nullptr, clone);
        EXPECT_NE(original.get(), clone.get());
        EXPECT_EQ(typeid(*original), typeid(*clone));
        EXPECT_EQ(AllTexts(*original), AllTexts(*clone));
        EXPECT_STREQ(original->what(), clone->what());
        if (original->GetCause() != nullptr) {
            ASSERT_NE(nullptr, clone->GetCause());
            EXPECT_NE(original->GetCause(), clone->GetCause());
            EXPECT_EQ(AllTexts(*original->GetCause()), AllTexts(*clone->GetCause()));
        }
    }
}

// A clone outlives the original: the cause was copied, not shared.
TEST(ExceptionCopyTest, CloneOwnsItsCause)
{
    auto original = Generic(L"outer", 10003, Generic(L"inner", 10188, Generic(L"deepest", 1)));
    std::unique_ptr<Exception> clone = original->Clone();
    original.reset();
    EXPECT_EQ(L"outer (10003 / 10188 / 1)\n  -> from inner (10188 / 1)\n  -> from deepest (1)\n",
              clone->GetReport());
}

// An exception thrown by value is a copy that owns a deep copy of the cause,
// which survives the destruction of the thrown original.
TEST(ExceptionCopyTest, ThrownByValueKeepsDeepCopyOfCause)
{
    bool caught = false;
    try {
        Win32Exception original(L"loc", L"sum", L"outer", 10009, L"SetFilePointer", 6,
                                Generic(L"inner", 10188));
        throw original;
    } catch (const Exception& e) {
        caught = true;
        ASSERT_NE(nullptr, e.GetCause());
        EXPECT_EQ(L"inner", e.GetCause()->GetEnglishMessage());
        EXPECT_EQ(L"10009:00000006 / 10188", e.GetErrorCodes());
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(&e));
    }
    EXPECT_TRUE(caught);

    auto source = std::make_unique<GenericException>(L"l", L"s", L"outer", 1, Generic(L"in", 2));
    GenericException copy(*source);
    EXPECT_NE(source->GetCause(), copy.GetCause());
    source.reset();
    ASSERT_NE(nullptr, copy.GetCause());
    EXPECT_EQ(L"outer (1 / 2)\n  -> from in (2)\n", copy.GetReport());
}

// Rethrow throws a wrapper whose texts are the original's; a clone of the
// wrapper is of the wrapped type, so wrappers never nest.
TEST(RethrowWrapperExceptionTest, RethrowAndClone)
{
    Win32Exception original(L"loc", L"sum", L"english", 10008, L"CreateFile", 2,
                            Generic(L"cause", 10188));
    std::unique_ptr<Exception> clone;
    bool caught = false;
    try {
        original.Rethrow();
    } catch (const RethrowWrapperException& wrapper) {
        caught = true;
        EXPECT_EQ(AllTexts(original), AllTexts(wrapper));
        ASSERT_NE(nullptr, wrapper.GetCause());
        EXPECT_EQ(AllTexts(*original.GetCause()), AllTexts(*wrapper.GetCause()));
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(&wrapper.GetWrapped()));
        EXPECT_STREQ(std::exception().what(), wrapper.what());
        clone = wrapper.Clone();
    }
    ASSERT_TRUE(caught);
    ASSERT_NE(nullptr, clone);
    EXPECT_EQ(nullptr, dynamic_cast<RethrowWrapperException*>(clone.get()));
    EXPECT_NE(nullptr, dynamic_cast<Win32Exception*>(clone.get()));
    EXPECT_EQ(AllTexts(original), AllTexts(*clone));

    // Rethrowing a clone of a wrapper wraps the original type once, not twice.
    try {
        clone->Rethrow();
    } catch (const RethrowWrapperException& wrapper) {
        EXPECT_EQ(nullptr, dynamic_cast<const RethrowWrapperException*>(&wrapper.GetWrapped()));
    }
}

// A wrapper is caught as an engine exception like any other.
TEST(RethrowWrapperExceptionTest, CaughtAsException)
{
    auto stored = Generic(L"stored", 10094);
    auto failure = CatchEngineFailure([&] { stored->Rethrow(); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(typeid(GenericException), typeid(*failure));
    EXPECT_EQ(L"stored (10094)\n", failure->GetReport());
}

}  // namespace
