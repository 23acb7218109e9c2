// The binding between script and engine: argument kinds, results, engine
// exceptions of every type crossing the script unchanged, the replaced debug
// table, the extra globals and the module paths.
#include <gtest/gtest.h>

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

void ThrowGeneric(ScriptCall&)
{
    throw GenericException(L"generic message", L"generic summary", L"generic english", 10701);
}

void ThrowSanityCheck(ScriptCall&)
{
    OSTREL_FAIL(10702);
}

void ThrowWin32(ScriptCall&)
{
    throw Win32Exception(L"win32 message", L"win32 summary", L"win32 english", 10703,
                         L"CreateFileW", ERROR_ACCESS_DENIED);
}

void ThrowMiniZip(ScriptCall&)
{
    throw MiniZipException(L"zip message", L"zip summary", L"zip english", 10704, L"unzOpen", -103);
}

void ThrowWrapped(ScriptCall&)
{
    GenericException(L"wrapped message", L"wrapped summary", L"wrapped english", 10705).Rethrow();
}

void ThrowCancel(ScriptCall&)
{
    throw CancelInstallException();
}

void ThrowLua(ScriptCall&)
{
    throw LuaException(LuaBindingError("from the binding"), 10706);
}

void ThrowStandard(ScriptCall&)
{
    throw std::length_error("too long");
}

// Echoes its arguments back by kind, to prove the conversions.
void EchoInt(ScriptCall& call) { call.ReturnInt(call.IntArgument(1)); }
void EchoUInt(ScriptCall& call) { call.ReturnWide(std::to_wstring(call.UIntArgument(1))); }
void EchoWide(ScriptCall& call) { call.ReturnWide(call.WideArgument(1) + L"!"); }
void EchoNarrow(ScriptCall& call) { call.ReturnNarrow(call.NarrowArgument(1) + "!"); }
void EchoBool(ScriptCall& call) { call.ReturnBool(!call.BoolArgument(1)); }
void ReturnNothing(ScriptCall& call) { call.ReturnNil(); }

class LuaBindingTest : public testing::Test {
protected:
    explicit LuaBindingTest() : m_script(kScript) {}

    void SetUp() override
    {
        LuaBinding& binding = m_script.Package().GetBinding();
        binding.CreateApiTable("test");
        const struct {
            const char* name;
            LuaBinding::ApiFunction function;
        } functions[] = {
            {"Generic", &ThrowGeneric},     {"SanityCheck", &ThrowSanityCheck},
            {"Win32", &ThrowWin32},         {"MiniZip", &ThrowMiniZip},
            {"Wrapped", &ThrowWrapped},     {"Cancel", &ThrowCancel},
            {"Lua", &ThrowLua},             {"Standard", &ThrowStandard},
            {"EchoInt", &EchoInt},          {"EchoUInt", &EchoUInt},
            {"EchoWide", &EchoWide},        {"EchoNarrow", &EchoNarrow},
            {"EchoBool", &EchoBool},        {"Nothing", &ReturnNothing},
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
// type and texts, after the rollback.
TEST_F(LuaBindingTest, EngineExceptionsKeepTheirTypeAndTexts)
{
    auto generic = ExecuteFailure("test.Generic()");
    ASSERT_NE(nullptr, dynamic_cast<GenericException*>(generic.get()));
    EXPECT_EQ(L"generic message", generic->GetLocalizedMessage());
    EXPECT_EQ(L"generic summary", generic->GetLocalizedSummary());
    EXPECT_EQ(L"generic english", generic->GetEnglishMessage());
    EXPECT_EQ(L"10701", generic->GetErrorCode());
    EXPECT_EQ(L"yes", m_script.Prop("Rolled"));

    auto check = ExecuteFailure("test.SanityCheck()");
    ASSERT_NE(nullptr, dynamic_cast<SanityCheckException*>(check.get()));
    EXPECT_EQ(L"10702", check->GetErrorCode());
    EXPECT_EQ(0u, check->GetEnglishMessage().find(L"Assertion failed (LuaBindingTest:"));

    auto win32 = ExecuteFailure("test.Win32()");
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(win32.get()));
    EXPECT_EQ(L"10703:00000005", win32->GetErrorCode());
    EXPECT_EQ(0u, win32->GetEnglishMessage().find(L"win32 english (CreateFileW returned 00000005: "));

    auto zip = ExecuteFailure("test.MiniZip()");
    ASSERT_NE(nullptr, dynamic_cast<MiniZipException*>(zip.get()));
    EXPECT_EQ(L"10704:-103", zip->GetErrorCode());
    EXPECT_EQ(L"zip english (unzOpen returned -103)", zip->GetEnglishMessage());

    auto wrapped = ExecuteFailure("test.Wrapped()");
    ASSERT_NE(nullptr, wrapped);
    EXPECT_NE(nullptr, dynamic_cast<GenericException*>(wrapped.get()));
    EXPECT_EQ(L"wrapped english", wrapped->GetEnglishMessage());
}

TEST_F(LuaBindingTest, LuaExceptionOfAnOperationIsWrappedLikeAScriptError)
{
    auto error = ExecuteFailure("test.Lua()");
    ASSERT_NE(nullptr, dynamic_cast<SanityCheckException*>(error.get()));
    EXPECT_EQ(L"Unexpected exception Lua exception: from the binding", error->GetEnglishMessage());
    EXPECT_EQ(L"10706", error->GetErrorCode());
    ASSERT_NE(nullptr, dynamic_cast<const LuaException*>(error->GetCause()));
}

TEST_F(LuaBindingTest, CancelAndStandardExceptionsPassThroughTheScript)
{
    m_script.Package().SetStringProp("Chunk", L"test.Cancel()");
    EXPECT_THROW(m_script.Package().Execute(), CancelInstallException);
    EXPECT_EQ(L"yes", m_script.Prop("Rolled"));
    m_script.Package().SetStringProp("Chunk", L"pcall(test.Standard)");
    EXPECT_THROW(m_script.Package().Execute(), std::length_error);
}

// Arguments are checked by kind; a mismatch is a Lua error naming the
// argument and the function.
TEST_F(LuaBindingTest, NarrowStringWhereAWideOneIsWantedIsABadArgument)
{
    auto error = ExecuteFailure("debug.Print('narrow')");
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"10003", error->GetErrorCode());
    const std::wstring message = error->GetCause()->GetEnglishMessage();
    EXPECT_NE(std::wstring::npos, message.find(L"bad argument #1 to 'Print' (bad argument)"))
        << message;
}

TEST_F(LuaBindingTest, ArgumentKindsAreStrict)
{
    for (const char* call : {"test.EchoWide(1)", "test.EchoWide(nil)", "test.EchoNarrow(L'x')",
                             "test.EchoNarrow(1)", "test.EchoInt('1')", "test.EchoBool(1)",
                             "test.EchoBool(nil)", "test.EchoInt()"}) {
        auto error = ExecuteFailure(call);
        ASSERT_NE(nullptr, error) << call;
        EXPECT_NE(std::wstring::npos,
                  error->GetCause()->GetEnglishMessage().find(L"bad argument #1 to 'Echo"))
            << call;
    }
}

TEST_F(LuaBindingTest, NumbersAreTruncatedTowardZero)
{
    EXPECT_EQ(L"2", Evaluate("L'' .. test.EchoInt(2.9)"));
    EXPECT_EQ(L"-2", Evaluate("L'' .. test.EchoInt(-2.9)"));
    EXPECT_EQ(L"-1", Evaluate("L'' .. test.EchoInt(4294967295)"));
    EXPECT_EQ(L"-2147483648", Evaluate("L'' .. test.EchoInt(2147483648)"));
    EXPECT_EQ(L"4294967295", Evaluate("test.EchoUInt(-1)"));
    EXPECT_EQ(L"7", Evaluate("test.EchoUInt(4294967303.7)"));
}

TEST_F(LuaBindingTest, ResultsHaveTheirLuaTypes)
{
    EXPECT_EQ(L"ab!", Evaluate("test.EchoWide(L'a' .. L'b')"));
    EXPECT_EQ(L"x!", Evaluate("L(test.EchoNarrow('x'))"));
    EXPECT_EQ(L"false", Evaluate("L(tostring(test.EchoBool(true)))"));
    EXPECT_EQ(L"nil", Evaluate("L(tostring(test.Nothing()))"));
    EXPECT_EQ(L"number", Evaluate("L(type(test.EchoInt(1)))"));
}

TEST_F(LuaBindingTest, AddCommitTaskOfANonFunctionIs10230)
{
    auto error = ExecuteFailure("install.AddCommitTask(42)");
    ASSERT_NE(nullptr, dynamic_cast<SanityCheckException*>(error.get()));
    ASSERT_NE(nullptr, dynamic_cast<const LuaException*>(error->GetCause()));
    EXPECT_EQ(L"10230", error->GetCause()->GetErrorCode());
    EXPECT_EQ(L"Lua exception: m_functionObj.IsFunction()", error->GetCause()->GetEnglishMessage());
    auto rollback = ExecuteFailure("install.AddRollbackTask('not a function')");
    ASSERT_NE(nullptr, rollback);
    EXPECT_EQ(L"10229", rollback->GetErrorCode());
}

// The state: the engine's debug table replaces the library, the binding's
// extra globals and module paths are there.
TEST_F(LuaBindingTest, DebugIsTheEnginesTable)
{
    EXPECT_EQ(L"nil function function", Evaluate("L(type(debug.traceback) .. ' ' .. type(debug.Print) .. ' ' .. type(debug.Break))"));
}

TEST_F(LuaBindingTest, ExtraGlobalsAreDefined)
{
    EXPECT_EQ(L"number", Evaluate("L(type(GetTickCount()))"));
    EXPECT_EQ(L"function function function function function",
              Evaluate("L(type(LOG) .. ' ' .. type(_ALERT) .. ' ' .. type(LuaDumpObject) .. ' ' .. "
                       "type(LuaDumpGlobals) .. ' ' .. type(LuaDumpFile))"));
    EXPECT_EQ(L"t = {\n  a = 1\n  b = {\n    c = \"x\"\n  }\n}\n",
              Evaluate("L(LuaDumpObject({ a = 1, b = { c = 'x' } }, 't'))"));
}

TEST_F(LuaBindingTest, ModulePathsNameTheProgramFolder)
{
    const std::wstring path = Evaluate("L(package.path)");
    const std::wstring cpath = Evaluate("L(package.cpath)");
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder.erase(folder.find_last_of(L'\\') + 1);
    EXPECT_EQ(path.size() - (folder.size() + 14), path.rfind(L";" + folder + L"modules/?.lua"));
    EXPECT_EQ(0u, cpath.find(folder + L"modules/?.dll;"));
}

}  // namespace
