// One call of a script API function: reads its arguments by kind, checking
// each one's Lua type, and pushes its result. A mismatch raises the Lua error
// "bad argument #<n> to '<name>' (bad argument)". The API families see the
// script only through this class.
#pragma once

#include <cstdint>
#include <string>

struct lua_State;

namespace OstrelInstallEngine {

class InstallerPackage;
class Transaction;

class ScriptCall {
public:
    ScriptCall(lua_State* state, InstallerPackage& package, const char* functionName);
    ScriptCall(const ScriptCall&) = delete;
    ScriptCall& operator=(const ScriptCall&) = delete;

    InstallerPackage& Package() const { return m_package; }
    // The run's changes: what most operations need of the package.
    Transaction& GetTransaction() const;
    const char* FunctionName() const { return m_functionName; }
    int ArgumentCount() const;

    // W: a wide string only.
    std::wstring WideArgument(int number) const;
    // S: a narrow string only.
    std::string NarrowArgument(int number) const;
    // N: a number, truncated toward zero to 32 bits, signed.
    int IntArgument(int number) const;
    // N: a number, truncated toward zero to 64 bits, low 32 bits kept.
    uint32_t UIntArgument(int number) const;
    double NumberArgument(int number) const;
    // B: a boolean only.
    bool BoolArgument(int number) const;
    // F: any value; a registry reference that the caller releases
    // (LuaBinding::ReleaseReference), and whether it is a function.
    int ReferenceArgument(int number, bool* isFunction) const;
    // A wide string unchanged, a number through "%.14g"; else a bad argument.
    std::wstring TextArgument(int number) const;

    void ReturnBool(bool value);
    void ReturnInt(int value);
    // Pushed as a number, so values of 2^31 and above stay positive.
    void ReturnUInt(uint32_t value);
    void ReturnWide(const std::wstring& value);
    void ReturnNil();
    void ReturnNarrow(const std::string& value);
    int ResultCount() const { return m_resultCount; }

    [[noreturn]] void BadArgument(int number) const;

private:
    lua_State* m_state;
    InstallerPackage& m_package;
    const char* m_functionName;
    int m_resultCount = 0;
};

}  // namespace OstrelInstallEngine
