#include "script/LuaBinding.h"

#include <windows.h>

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include "base/Exception.h"
#include "base/LuaBindingError.h"
#include "base/Platform.h"
#include "script/LuaWideString.h"
#include "script/ScriptCall.h"

namespace OstrelInstallEngine {

namespace {

// The error value of a Lua error raised for a kept engine exception.
const char kKeptExceptionMarker = 0;
const char kNotAFunction[] = "m_functionObj.IsFunction()";
const char kNotAWideString[] = "m_state && IsWString()";

// Debugging helpers for script authors; the shipped script uses none of them.
const char kExtraGlobals[] = R"lua(
function LOG(...)
    local parts = {}
    for i = 1, select("#", ...) do
        parts[i] = tostring((select(i, ...)))
    end
    io.stdout:write(table.concat(parts, "\t"), "\n")
end

function _ALERT(message)
    io.stderr:write(tostring(message), "\n")
end

local function DumpValue(out, value, name, indent, seen, depth)
    local prefix = string.rep("  ", indent) .. tostring(name) .. " = "
    if type(value) ~= "table" then
        local text = type(value) == "string" and string.format("%q", value) or tostring(value)
        out[#out + 1] = prefix .. text
        return
    end
    if seen[value] then
        out[#out + 1] = prefix .. "<cycle " .. tostring(value) .. ">"
        return
    end
    if depth == 0 then
        out[#out + 1] = prefix .. tostring(value)
        return
    end
    seen[value] = true
    out[#out + 1] = prefix .. "{"
    local keys = {}
    for key in pairs(value) do
        keys[#keys + 1] = key
    end
    table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
    for _, key in ipairs(keys) do
        DumpValue(out, value[key], key, indent + 1, seen, depth - 1)
    end
    out[#out + 1] = string.rep("  ", indent) .. "}"
    seen[value] = nil
end

function LuaDumpObject(value, name, depth)
    local out = {}
    DumpValue(out, value, name or "object", 0, {}, depth or 16)
    return table.concat(out, "\n") .. "\n"
end

function LuaDumpGlobals()
    return LuaDumpObject(_G, "_G", 1)
end

function LuaDumpFile(fileName, value, name)
    local file = assert(io.open(fileName, "w"))
    file:write(LuaDumpObject(value, name))
    file:close()
end
)lua";

int GetTickCountSeconds(lua_State* state)
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    lua_pushnumber(state, static_cast<double>(counter.QuadPart) /
                              static_cast<double>(frequency.QuadPart));
    return 1;
}

std::string ProgramFolder()
{
    std::wstring folder = GetExecutableFilePath();
    folder.erase(folder.find_last_of(L'\\') + 1);
    const int size = WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, nullptr, 0, nullptr,
                                         nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    }
    return narrow;
}

// The error value of a failed protected call as narrow text: a string
// unchanged, a number through Lua's conversion, anything else no text.
std::string ErrorText(lua_State* state)
{
    const int type = lua_type(state, -1);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) {
        return std::string();
    }
    size_t length = 0;
    const char* text = lua_tolstring(state, -1, &length);
    return std::string(text, length);
}

}  // namespace

LuaBinding::LuaBinding(InstallerPackage& package)
    : m_package(package), m_state(luaL_newstate(), &lua_close)
{
    if (!m_state) {
        throw LuaBindingError("not enough memory");
    }
    RunProtected([this](lua_State*) {
        OpenLibraries();
        DefineExtraGlobals();
        ExtendModulePaths();
    });
}

LuaBinding::~LuaBinding() = default;

template <typename Body>
bool LuaBinding::KeepingExceptions(Body body)
{
    // Only these types: Lua's own errors are exceptions too and must go on.
    try {
        body();
        return true;
    } catch (const Exception&) {
        KeepCurrentException();
    } catch (const CancelInstallException&) {
        KeepCurrentException();
    } catch (const std::exception&) {
        KeepCurrentException();
    }
    return false;
}

template <typename Body>
void LuaBinding::RunProtected(Body body)
{
    struct Call {
        LuaBinding* binding;
        Body* body;
        static int Run(lua_State* state)
        {
            Call* call = static_cast<Call*>(lua_touserdata(state, 1));
            lua_pop(state, 1);
            call->binding->KeepingExceptions([&] { (*call->body)(state); });
            return 0;
        }
    };
    Call call{this, &body};
    const int status = lua_cpcall(m_state.get(), &Call::Run, &call);
    std::string message;
    if (status != 0) {
        message = ErrorText(m_state.get());
        lua_pop(m_state.get(), 1);
    }
    RethrowKeptException();
    if (status != 0) {
        throw LuaBindingError(message);
    }
}

void LuaBinding::OpenLibraries()
{
    static const luaL_Reg kLibraries[] = {
        {"", luaopen_base},         {LUA_LOADLIBNAME, luaopen_package},
        {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, luaopen_io},
        {LUA_OSLIBNAME, luaopen_os},     {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math}, {LUA_DBLIBNAME, luaopen_debug},
    };
    lua_State* state = m_state.get();
    for (const luaL_Reg& library : kLibraries) {
        lua_pushcfunction(state, library.func);
        lua_pushstring(state, library.name);
        lua_call(state, 1, 0);
    }
    LuaWideString::Open(state);
}

void LuaBinding::DefineExtraGlobals()
{
    lua_State* state = m_state.get();
    lua_pushcfunction(state, &GetTickCountSeconds);
    lua_setglobal(state, "GetTickCount");
    if (luaL_loadbuffer(state, kExtraGlobals, sizeof(kExtraGlobals) - 1, "=OstrelInstallEngine") != 0) {
        lua_error(state);
    }
    lua_call(state, 0, 0);
}

void LuaBinding::ExtendModulePaths()
{
    lua_State* state = m_state.get();
    const std::string modules = ProgramFolder() + "modules/";
    SetEnvironmentVariableA("LUA_SOPATH", modules.c_str());
    SetEnvironmentVariableA("LUA_CPATH", (modules + "?.dll").c_str());

    lua_getglobal(state, LUA_LOADLIBNAME);
    lua_getfield(state, -1, "path");
    lua_pushstring(state, (std::string(lua_tostring(state, -1)) + ";" + modules + "?.lua").c_str());
    lua_setfield(state, -3, "path");
    lua_pop(state, 1);
    lua_getfield(state, -1, "cpath");
    lua_pushstring(state, (modules + "?.dll;" + lua_tostring(state, -1)).c_str());
    lua_setfield(state, -3, "cpath");
    lua_pop(state, 2);
}

void LuaBinding::CreateApiTable(const char* tableName)
{
    RunProtected([tableName](lua_State* state) {
        lua_newtable(state);
        lua_setglobal(state, tableName);
    });
}

void LuaBinding::RegisterFunction(const char* tableName, const char* functionName,
                                  ApiFunction function)
{
    m_functions.push_back(RegisteredFunction{functionName, function});
    const lua_Number index = static_cast<lua_Number>(m_functions.size() - 1);
    RunProtected([this, tableName, functionName, index](lua_State* state) {
        lua_getglobal(state, tableName);
        lua_pushlightuserdata(state, this);
        lua_pushnumber(state, index);
        lua_pushcclosure(state, &CallApiFunction, 2);
        lua_setfield(state, -2, functionName);
        lua_pop(state, 1);
    });
}

int LuaBinding::CallApiFunction(lua_State* state)
{
    LuaBinding* binding = static_cast<LuaBinding*>(lua_touserdata(state, lua_upvalueindex(1)));
    if (binding->m_keptException) {
        return RaiseKeptException(state);
    }
    const RegisteredFunction& entry =
        binding->m_functions[static_cast<size_t>(lua_tonumber(state, lua_upvalueindex(2)))];
    int resultCount = 0;
    const bool completed = binding->KeepingExceptions([&] {
        ScriptCall call(state, binding->m_package, entry.name.c_str());
        entry.function(call);
        resultCount = call.ResultCount();
    });
    return completed ? resultCount : RaiseKeptException(state);
}

int LuaBinding::RaiseKeptException(lua_State* state)
{
    lua_pushlightuserdata(state, const_cast<char*>(&kKeptExceptionMarker));
    return lua_error(state);
}

void LuaBinding::KeepCurrentException()
{
    if (!m_keptException) {
        m_keptException = std::current_exception();
    }
}

void LuaBinding::RethrowKeptException()
{
    if (m_keptException) {
        std::exception_ptr kept = m_keptException;
        m_keptException = nullptr;
        std::rethrow_exception(kept);
    }
}

void LuaBinding::CallFunctionOnTop()
{
    lua_State* state = m_state.get();
    if (lua_type(state, -1) != LUA_TFUNCTION) {
        lua_pop(state, 1);
        throw LuaBindingError(kNotAFunction);
    }
    const int status = lua_pcall(state, 0, 0, 0);
    std::string message;
    if (status != 0) {
        message = ErrorText(state);
        lua_pop(state, 1);
    }
    RethrowKeptException();
    if (status != 0) {
        throw LuaBindingError(message);
    }
}

void LuaBinding::RunChunk(const char* text, size_t size)
{
    lua_State* state = m_state.get();
    const int status = luaL_loadbuffer(state, text, size, text);
    if (status != 0) {
        const std::string message = ErrorText(state);
        lua_pop(state, 1);
        throw LuaBindingError(message);
    }
    CallFunctionOnTop();
}

void LuaBinding::CallGlobalFunction(const char* name)
{
    lua_getglobal(m_state.get(), name);
    CallFunctionOnTop();
}

void LuaBinding::CallReference(int reference)
{
    lua_rawgeti(m_state.get(), LUA_REGISTRYINDEX, reference);
    CallFunctionOnTop();
}

void LuaBinding::ReleaseReference(int reference)
{
    luaL_unref(m_state.get(), LUA_REGISTRYINDEX, reference);
}

std::wstring LuaBinding::GetWideGlobalField(const char* tableName, const std::string& key)
{
    std::wstring value;
    RunProtected([&](lua_State* state) {
        lua_getglobal(state, tableName);
        lua_getfield(state, -1, key.c_str());
        size_t length = 0;
        const wchar_t* text = LuaWideString::To(state, -1, &length);
        if (text == nullptr) {
            lua_pushstring(state, kNotAWideString);
            lua_error(state);
        }
        value.assign(text, length);
        lua_pop(state, 2);
    });
    return value;
}

void LuaBinding::SetWideGlobalField(const char* tableName, const std::string& key,
                                    const std::wstring& value)
{
    RunProtected([&](lua_State* state) {
        lua_getglobal(state, tableName);
        LuaWideString::Push(state, value);
        lua_setfield(state, -2, key.c_str());
        lua_pop(state, 1);
    });
}

void LuaBinding::SetBoolGlobalField(const char* tableName, const std::string& key, bool value)
{
    RunProtected([&](lua_State* state) {
        lua_getglobal(state, tableName);
        lua_pushboolean(state, value ? 1 : 0);
        lua_setfield(state, -2, key.c_str());
        lua_pop(state, 1);
    });
}

}  // namespace OstrelInstallEngine
