// The check macros' assertion texts and the exception family: reports along chains of causes,
// display texts from the English table, copies, clones and rethrown wrappers.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

#include "EngineFailure.h"
#include "base/Check.h"
#include "base/Exceptions.h"
#include "base/LuaBindingError.h"
#include "base/Util.h"

namespace {

using namespace OstrelInstallEngine;
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

// Each check names this file, line and condition; error variants attach the error's English
// text and "%d:%08x" as the code text; unconditional failures use the condition "false".
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
        {[&](int& line) { line = __LINE__; OSTREL_CHECK(1 + 1 == three, 10999); },
         L"1 + 1 == three", 0, L"10999"},
        {[](int& line) {
             HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, L"OstrelTests.NoSuchEvent");
             line = __LINE__; OSTREL_CHECK_LAST_ERROR(event != NULL, 10058);
         },
         L"event != NULL", ERROR_FILE_NOT_FOUND, L"10058:00000002"},
        {[&](int& line) {
             line = __LINE__; OSTREL_CHECK_ERROR(opened, 10312, ERROR_ACCESS_DENIED);
         },
         L"opened", ERROR_ACCESS_DENIED, L"10312:00000005"},
        {[](int& line) {
             HRESULT hr = E_INVALIDARG;
             line = __LINE__; OSTREL_CHECK_HRESULT(hr, 10381);
         },
         L"SUCCEEDED(hr)", 0x80070057, L"10381:80070057"},
        {[](int& line) { line = __LINE__; OSTREL_FAIL(10082); }, L"false", 0, L"10082"},
        {[](int& line) {
             SetLastError(ERROR_SHARING_VIOLATION);
             line = __LINE__; OSTREL_FAIL_LAST_ERROR(10319);
         },
         L"false", ERROR_SHARING_VIOLATION, L"10319:00000020"},
        {[](int& line) { line = __LINE__; OSTREL_FAIL_ERROR(10081, E_OUTOFMEMORY); }, L"false",
         0x8007000E, L"10081:8007000e"},
    };
    for (const auto& c : cases) {
        int line = 0;
        auto failure = CatchEngineFailure([&] { c.fail(line); });
        ASSERT_NE(nullptr, failure) << c.code;
        std::wstring expected = FormatWide(L"Assertion failed (ExceptionTest:%d): %s", line,
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

// Without a cause the reports are the English message and the one code;
// what() drops the characters at or above 128.
TEST(ExceptionReportTest, SingleException)
{
    GenericException e(L"Le message", L"Le titre", L"The message", 10232);
    EXPECT_EQ(L"Le message|Le titre|10232|The message|Le message (Error code 10232)|"
              L"Le titre (10232)|10232|The message (10232)\n|The message (10232)",
              AllTexts(e));
    EXPECT_STREQ("The message (10232)", e.what());
    EXPECT_EQ(nullptr, e.GetCause());
    GenericException accented(L"m", L"s", L"Caf\u00e9 \u20ac\u00ff ok\u007f", 10003);
    EXPECT_STREQ("Caf  ok\x7f (10003)", accented.what());
}

// Equal adjacent codes along a chain collapse, others join with " / "; the report names every
// exception of the chain, one "  -> from" per cause with the codes of its part of the chain.
TEST(ExceptionReportTest, Chains)
{
    EXPECT_EQ(L"10003", Generic(L"A", 10003, Generic(L"B", 10003))->GetErrorCodes());
    EXPECT_EQ(L"10003 / 10188", Generic(L"A", 10003, Generic(L"B", 10188))->GetErrorCodes());
    EXPECT_EQ(L"10003 / 10188",
              Generic(L"A", 10003, Generic(L"B", 10003, Generic(L"C", 10188)))->GetErrorCodes());
    EXPECT_EQ(L"1 / 2 / 1", Generic(L"A", 1, Generic(L"B", 2, Generic(L"C", 1)))->GetErrorCodes());

    auto chain = Generic(L"Outer", 10003, Generic(L"Middle", 10188, Generic(L"Inner", 10188)));
    EXPECT_EQ(L"Outer (10003 / 10188)\n  -> from Middle (10188)\n  -> from Inner (10188)\n",
              chain->GetReport());
    EXPECT_EQ(L"Outer (10003 / 10188)", chain->GetEnglishDescription());
    EXPECT_STREQ("Outer (10003 / 10188)", chain->what());
    EXPECT_EQ(L"Middle", chain->GetCause()->GetEnglishMessage());
}

// Display texts come from the English table (1000010051, 1000010001, 1000010052; a plain
// exception's show in SingleException); internal checks and Lua errors use its
// internal-check texts.
TEST(ExceptionReportTest, DisplayTexts)
{
    SanityCheckException check(L"Assertion failed (X:1): false", 10001);
    EXPECT_EQ(std::wstring(kInternalCheckMessage) + L" (Error code 10001)",
              check.GetDisplayMessage());
    EXPECT_EQ(L"Internal check failed (10001)", check.GetDisplaySummary());
    SanityCheckException withError(L"english", L"10058:00000716");
    EXPECT_EQ(L"Internal check failed (10058:00000716)", withError.GetDisplaySummary());

    LuaException lua(LuaBindingError("[string \"x\"]:1: attempt to call a nil value"), 10094);
    EXPECT_EQ(std::wstring(kInternalCheckMessage) +
                  L"|Internal check failed|10094|Lua exception: [string \"x\"]:1: attempt to "
                  L"call a nil value",
              lua.GetLocalizedMessage() + L"|" + lua.GetLocalizedSummary() + L"|" +
                  lua.GetErrorCode() + L"|" + lua.GetEnglishMessage());
}

// A system error is shown as eight hexadecimal digits, HRESULTs too (the texts of a Win32
// failure show in the stream tests); a zip library result in signed decimal.
TEST(Win32ExceptionTest, CodeTexts)
{
    EXPECT_EQ(L"10381:80004005",
              Win32Exception(L"l", L"s", L"e", 10381, L"CoCreateInstance", 0x80004005)
                  .GetErrorCode());
    MiniZipException zip(L"The archive is damaged.", L"Unable to expand archive",
                         L"Error reading", 10345, L"unzReadCurrentFile", -3);
    EXPECT_EQ(L"10345:-3", zip.GetErrorCode());
    EXPECT_EQ(L"Error reading (unzReadCurrentFile returned -3)", zip.GetEnglishMessage());
    EXPECT_EQ(L"The archive is damaged. (Error code 10345:-3 (unzReadCurrentFile returned -3))",
              zip.GetDisplayMessage());
    EXPECT_EQ(L"Unable to expand archive (10345:-3)", zip.GetDisplaySummary());
}

// An unexpected exception wrapped on its way out keeps the cause's code and
// names its English message, with the internal-check texts.
TEST(SanityCheckExceptionTest, WrapsCause)
{
    auto cause = std::make_unique<LuaException>(LuaBindingError("uninstall.lua:3: boom"), 10188);
    SanityCheckException wrapper(std::move(cause));
    EXPECT_EQ(L"10188", wrapper.GetErrorCode());
    EXPECT_EQ(L"10188", wrapper.GetErrorCodes());
    EXPECT_EQ(kInternalCheckMessage, wrapper.GetLocalizedMessage());
    EXPECT_EQ(L"Internal check failed", wrapper.GetLocalizedSummary());
    EXPECT_NE(nullptr, dynamic_cast<const LuaException*>(wrapper.GetCause()));
    EXPECT_EQ(L"Unexpected exception Lua exception: uninstall.lua:3: boom (10188)\n"
              L"  -> from Lua exception: uninstall.lua:3: boom (10188)\n",
              wrapper.GetReport());
}

// Clone keeps the dynamic type and every text, deep-copies the cause, and
// outlives the original.
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
    for (auto& original : originals) {
        std::unique_ptr<Exception> clone = original->Clone();
        EXPECT_EQ(typeid(*original), typeid(*clone));
        EXPECT_STREQ(original->what(), clone->what());
        const std::wstring texts = AllTexts(*original);
        const Exception* cause = original->GetCause();
        if (cause != nullptr) {
            EXPECT_NE(cause, clone->GetCause());
            EXPECT_EQ(AllTexts(*cause), AllTexts(*clone->GetCause()));
        }
        original.reset();
        EXPECT_EQ(texts, AllTexts(*clone));
    }
}

// An exception thrown by value owns a deep copy of the cause, which survives the
// destruction of the original.
TEST(ExceptionCopyTest, CopiesOwnTheirCause)
{
    bool caught = false;
    try {
        Win32Exception original(L"loc", L"sum", L"outer", 10009, L"SetFilePointer", 6,
                                Generic(L"inner", 10188));
        throw original;
    } catch (const Exception& e) {
        caught = true;
        EXPECT_EQ(L"inner", e.GetCause()->GetEnglishMessage());
        EXPECT_EQ(L"10009:00000006 / 10188", e.GetErrorCodes());
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(&e));
    }
    EXPECT_TRUE(caught);
}

// Rethrow throws a wrapper with the original's texts, caught like any engine exception; its
// clone is of the wrapped type, so wrappers never nest.
TEST(RethrowWrapperExceptionTest, RethrowAndClone)
{
    Win32Exception original(L"loc", L"sum", L"english", 10008, L"CreateFile", 2,
                            Generic(L"cause", 10188));
    std::unique_ptr<Exception> clone;
    try {
        original.Rethrow();
    } catch (const RethrowWrapperException& wrapper) {
        EXPECT_EQ(AllTexts(original), AllTexts(wrapper));
        EXPECT_EQ(AllTexts(*original.GetCause()), AllTexts(*wrapper.GetCause()));
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(&wrapper.GetWrapped()));
        EXPECT_STREQ(std::exception().what(), wrapper.what());
        clone = wrapper.Clone();
    }
    ASSERT_NE(nullptr, clone);
    EXPECT_EQ(typeid(Win32Exception), typeid(*clone));
    EXPECT_EQ(AllTexts(original), AllTexts(*clone));
    try {
        clone->Rethrow();
    } catch (const RethrowWrapperException& wrapper) {
        EXPECT_EQ(nullptr, dynamic_cast<const RethrowWrapperException*>(&wrapper.GetWrapped()));
    }
}

}  // namespace
