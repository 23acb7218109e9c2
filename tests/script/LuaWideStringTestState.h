// A Lua state for the wide-string tests: the standard libraries and the
// wide-string dialect opened, closed when the test ends.
#pragma once

#include <lua.h>

#include <string>

namespace OstrelTest {

class LuaWideStringTestState {
public:
    LuaWideStringTestState();
    ~LuaWideStringTestState();
    LuaWideStringTestState(const LuaWideStringTestState&) = delete;
    LuaWideStringTestState& operator=(const LuaWideStringTestState&) = delete;

    lua_State* State() const { return m_state; }

    // Runs a chunk; returns "" on success (its results stay on the stack)
    // or the error message.
    std::string Run(const std::string& chunk);

    // Runs a chunk that must succeed and returns its first result as text
    // (tostring), "<error: message>" when it fails.
    std::string Eval(const std::string& chunk);

private:
    lua_State* m_state;
};

}  // namespace OstrelTest
