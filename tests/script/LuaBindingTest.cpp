// The binding between script and engine: argument kinds, results, engine
// exceptions of every type crossing the script unchanged, the replaced debug
// table, the extra globals and the module paths.
#include <gtest/gtest.h>

#include <typeinfo>

#include "base/Check.h"
#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::ScriptPackage;

class LuaBindingTest : public testing::Test {
protected:
    LuaBindingTest() : m_script(kScript) {}

    // Functions that throw each kind of exception, and that echo their
    // arguments back by kind, to prove the conversions.
    void SetUp() override
    {
        LuaBinding& binding = m_script.Package().GetBinding();
        binding.CreateApiTable("test");
        const struct {
            const char* name;
            LuaBinding::ApiFunction function;
        } functions[] = {
            {"Generic", [](ScriptCall&) { throw GenericException(L"generic message", L"generic summary", L"generic english", 10701); }},
            {"SanityCheck", [](ScriptCall&) { OSTREL_FAIL(10702); }},
            {"Win32", [](ScriptCall&) { throw Win32Exception(L"m", L"s", L"win32 english", 10703, L"CreateFileW", ERROR_ACCESS_DENIED); }},
            {"MiniZip", [](ScriptCall&) { throw MiniZipException(L"m", L"s", L"zip english", 10704, L"unzOpen", -103); }},
            {"Wrapped", [](ScriptCall&) { GenericException(L"m", L"s", L"wrapped english", 10705).Rethrow(); }},
            {"Cancel", [](ScriptCall&) { throw CancelInstallException(); }},
            {"Lua", [](ScriptCall&) { throw LuaException(LuaBindingError("from the binding"), 10706); }},
            {"Standard", [](ScriptCall&) { throw std::length_error("too long"); }},
            {"EchoInt", [](ScriptCall& call) { call.ReturnInt(call.IntArgument(1)); }},
            {"EchoUInt", [](ScriptCall& call) { call.ReturnWide(std::to_wstring(call.UIntArgument(1))); }},
            {"EchoWide", [](ScriptCall& call) { call.ReturnWide(call.WideArgument(1) + L"!"); }},
            {"EchoNarrow", [](ScriptCall& call) { call.ReturnNarrow(call.NarrowArgument(1) + "!"); }},
            {"EchoBool", [](ScriptCall& call) { call.ReturnBool(!call.BoolArgument(1)); }},
            {"Nothing", [](ScriptCall& call) { call.ReturnNil(); }},
        };
        for (const auto& function : functions) {
            binding.RegisterFunction("test", function.name, function.function);
        }
    }

    // Runs `chunk` as the body of Execute; returns what Execute threw.
    std::unique_ptr<Exception> ExecuteFailure(const std::string& chunk)
    {
        m_script.Package().SetStringProp("Chunk", std::wstring(chunk.begin(), chunk.end()));
        return CatchEngineFailure([&] { m_script.Package().Execute(); });
    }

    std::wstring Evaluate(const std::string& expression)
    {
        m_script.Package().SetStringProp("Chunk",
                                         L"props.Result = " + std::wstring(expression.begin(), expression.end()));
        m_script.Package().Prepare();
        return m_script.Prop("Result");
    }

    ScriptPackage m_script;

private:
    static constexpr const char* kScript = R"lua(
props.Rolled = L""
function RunChunk()
    local chunk = assert(loadstring(wstring.toutf8(props.Chunk)))
    chunk()
end
function Prepare() RunChunk() end
function Execute()
    install.AddRollbackTask(function() props.Rolled = L"yes" end)
    RunChunk()
end
)lua";
};

// Every engine exception type arrives at the caller of the phase with its
// type, code and texts, after the rollback; a LuaException of an operation is
// wrapped like a script error.
TEST_F(LuaBindingTest, EngineExceptionsKeepTheirTypeAndTexts)
{
    const struct {
        const char* call;
        const std::type_info& type;
        const wchar_t* code;
        const wchar_t* englishStart;
    } cases[] = {
        {"test.Generic()", typeid(GenericException), L"10701", L"generic english"},
        {"test.SanityCheck()", typeid(SanityCheckException), L"10702", L"Assertion failed (LuaBindingTest:"},
        {"test.Win32()", typeid(Win32Exception), L"10703:00000005", L"win32 english (CreateFileW returned 00000005: "},
        {"test.MiniZip()", typeid(MiniZipException), L"10704:-103", L"zip english (unzOpen returned -103)"},
        {"test.Wrapped()", typeid(GenericException), L"10705", L"wrapped english"},
        {"test.Lua()", typeid(SanityCheckException), L"10706", L"Unexpected exception Lua exception: from the binding"},
    };
    for (const auto& c : cases) {
        m_script.Package().SetStringProp("Rolled", L"");
        auto error = ExecuteFailure(c.call);
        ASSERT_NE(nullptr, error) << c.call;
        EXPECT_TRUE(typeid(*error) == c.type) << c.call;
        EXPECT_EQ(c.code, error->GetErrorCode());
        EXPECT_EQ(0u, error->GetEnglishMessage().find(c.englishStart)) << c.call;
        EXPECT_EQ(L"yes", m_script.Prop("Rolled")) << c.call;
    }
    auto generic = ExecuteFailure("test.Generic()");
    EXPECT_EQ(L"generic message", generic->GetLocalizedMessage());
    EXPECT_EQ(L"generic summary", generic->GetLocalizedSummary());
    EXPECT_EQ(L"generic english", generic->GetEnglishMessage());
    EXPECT_EQ(L"zip english (unzOpen returned -103)", ExecuteFailure("test.MiniZip()")->GetEnglishMessage());
    ASSERT_NE(nullptr, dynamic_cast<const LuaException*>(ExecuteFailure("test.Lua()")->GetCause()));
}

// A cancel and a standard exception pass through the script, even pcall.
TEST_F(LuaBindingTest, CancelAndStandardExceptionsPassThroughTheScript)
{
    m_script.Package().SetStringProp("Chunk", L"test.Cancel()");
    EXPECT_THROW(m_script.Package().Execute(), CancelInstallException);
    EXPECT_EQ(L"yes", m_script.Prop("Rolled"));
    m_script.Package().SetStringProp("Chunk", L"pcall(test.Standard)");
    EXPECT_THROW(m_script.Package().Execute(), std::length_error);
}

// Arguments are checked by kind; a mismatch is a Lua error naming the
// argument and the function; a task that is no function is 10229/10230.
TEST_F(LuaBindingTest, ArgumentKindsAreStrict)
{
    const struct {
        const char* call;
        const wchar_t* message;
    } cases[] = {
        {"debug.Print('narrow')", L"bad argument #1 to 'Print' (bad argument)"},
        {"test.EchoWide(1)", L"bad argument #1 to 'EchoWide'"}, {"test.EchoWide(nil)", L"bad argument #1 to 'EchoWide'"},
        {"test.EchoNarrow(L'x')", L"bad argument #1 to 'EchoNarrow'"}, {"test.EchoNarrow(1)", L"bad argument #1 to 'EchoNarrow'"},
        {"test.EchoInt('1')", L"bad argument #1 to 'EchoInt'"}, {"test.EchoInt()", L"bad argument #1 to 'EchoInt'"},
        {"test.EchoBool(1)", L"bad argument #1 to 'EchoBool'"}, {"test.EchoBool(nil)", L"bad argument #1 to 'EchoBool'"},
    };
    for (const auto& c : cases) {
        auto error = ExecuteFailure(c.call);
        ASSERT_NE(nullptr, error) << c.call;
        EXPECT_EQ(L"10003", error->GetErrorCode()) << c.call;
        EXPECT_NE(std::wstring::npos, error->GetCause()->GetEnglishMessage().find(c.message)) << c.call;
    }
    auto commit = ExecuteFailure("install.AddCommitTask(42)");
    ASSERT_NE(nullptr, dynamic_cast<SanityCheckException*>(commit.get()));
    ASSERT_NE(nullptr, dynamic_cast<const LuaException*>(commit->GetCause()));
    EXPECT_EQ(L"10230", commit->GetCause()->GetErrorCode());
    EXPECT_EQ(L"Lua exception: m_functionObj.IsFunction()", commit->GetCause()->GetEnglishMessage());
    auto rollback = ExecuteFailure("install.AddRollbackTask('not a function')");
    ASSERT_NE(nullptr, rollback);
    EXPECT_EQ(L"10229", rollback->GetErrorCode());
}

// Results have their Lua types and numbers are truncated toward zero; the
// engine's debug table replaces the library and the extra globals are there.
TEST_F(LuaBindingTest, ResultsNumbersAndGlobals)
{
    const struct {
        const char* expression;
        const wchar_t* expected;
    } cases[] = {
        {"L'' .. test.EchoInt(2.9)", L"2"}, {"L'' .. test.EchoInt(-2.9)", L"-2"}, {"L'' .. test.EchoInt(4294967295)", L"-1"},
        {"L'' .. test.EchoInt(2147483648)", L"-2147483648"}, {"test.EchoUInt(-1)", L"4294967295"},
        {"test.EchoUInt(4294967303.7)", L"7"}, {"test.EchoWide(L'a' .. L'b')", L"ab!"}, {"L(test.EchoNarrow('x'))", L"x!"},
        {"L(tostring(test.EchoBool(true)))", L"false"}, {"L(tostring(test.Nothing()))", L"nil"},
        {"L(type(test.EchoInt(1)))", L"number"}, {"L(type(GetTickCount()))", L"number"},
        {"L(type(debug.traceback) .. ' ' .. type(debug.Print) .. ' ' .. type(debug.Break))", L"nil function function"},
        {"L(type(LOG) .. type(_ALERT) .. type(LuaDumpObject) .. type(LuaDumpGlobals) .. type(LuaDumpFile))",
         L"functionfunctionfunctionfunctionfunction"},
        {"L(LuaDumpObject({ a = 1, b = { c = 'x' } }, 't'))", L"t = {\n  a = 1\n  b = {\n    c = \"x\"\n  }\n}\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Evaluate(c.expression)) << c.expression;
    }
}

}  // namespace
