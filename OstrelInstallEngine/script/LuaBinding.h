// The engine's binding to Lua 5.1: the state of one package, the API tables,
// and every crossing between the script and the engine.
//
// Lua errors are C++ exceptions here (Lua is compiled as C++), and Lua's
// protected calls catch everything, so an engine exception must never unwind
// through the interpreter. A bound function therefore catches what its
// operation throws, keeps it, and raises a Lua error that marks it; where the
// engine called into the script, the kept exception is thrown again unchanged.
// Once an exception is kept every further API call fails the same way, so a
// script's own pcall cannot swallow it: the phase fails as if it had passed
// straight through. A plain Lua error leaves as LuaBindingError.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

struct lua_State;

namespace OstrelInstallEngine {

class InstallerPackage;
class ScriptCall;

class LuaBinding {
public:
    using ApiFunction = void (*)(ScriptCall& call);

    // A new state with the base, package, table, io, os, string, math, debug
    // and wstring libraries, the binding's extra globals and module paths.
    explicit LuaBinding(InstallerPackage& package);
    ~LuaBinding();
    LuaBinding(const LuaBinding&) = delete;
    LuaBinding& operator=(const LuaBinding&) = delete;

    // A fresh global table of that name, replacing any global of the name.
    void CreateApiTable(const char* tableName);
    void RegisterFunction(const char* tableName, const char* functionName, ApiFunction function);

    // Loads and runs a chunk whose chunk name is its own text.
    void RunChunk(const char* text, size_t size);
    // Calls a global function without arguments; a value that is not a
    // function is the binding's error "m_functionObj.IsFunction()".
    void CallGlobalFunction(const char* name);
    // Calls a referenced function without arguments.
    void CallReference(int reference);
    void ReleaseReference(int reference);

    // The props table. A missing key or a value that is not a wide string is
    // the binding's error "m_state && IsWString()".
    std::wstring GetWideGlobalField(const char* tableName, const std::string& key);
    void SetWideGlobalField(const char* tableName, const std::string& key,
                            const std::wstring& value);
    void SetBoolGlobalField(const char* tableName, const std::string& key, bool value);

    InstallerPackage& GetPackage() const { return m_package; }

private:
    struct RegisteredFunction {
        std::string name;
        ApiFunction function;
    };
    template <typename Body>
    void RunProtected(Body body);
    // Runs the body; what it throws is kept instead (false then).
    template <typename Body>
    bool KeepingExceptions(Body body);

    static int CallApiFunction(lua_State* state);
    static int RaiseKeptException(lua_State* state);
    void OpenLibraries();
    void DefineExtraGlobals();
    void ExtendModulePaths();
    void CallFunctionOnTop();
    void KeepCurrentException();
    void RethrowKeptException();

    InstallerPackage& m_package;
    std::unique_ptr<lua_State, void (*)(lua_State*)> m_state;
    std::vector<RegisteredFunction> m_functions;
    std::exception_ptr m_keptException;
};

}  // namespace OstrelInstallEngine
