// Checking a script without a package: it compiles in the engine's dialect,
// its top level runs without the script API, and the functions the engine
// calls are found or named as missing; errors carry Lua's file and line.
#include <gtest/gtest.h>

#include "base/LuaBindingError.h"
#include "script/ScriptCheck.h"

namespace {

using OstrelInstallEngine::LuaBindingError;
using OstrelInstallEngine::ScriptCheck;

struct ScriptCase {
    const char* script;
    const char* expected;  // missing names joined by ",", or the error message
};

const ScriptCase kCases[] = {
    {"Name = L'a' .. L'b'\nfunction Prepare() end\nfunction Execute() util.Nothing() end", ""},
    {"Prepare = function() end\nlocal function Execute() end", "Execute"},
    {"Prepare = 1", "Prepare,Execute"},
    {"setmetatable(_G, {__index = function() error('strict') end})", "Prepare,Execute"},
    {"x = 1\n\nfunction Prepare(\n", "Uninstall.lua:4: <name> or '...' expected near '<eof>'"},
    {"local t = {}\nt = t .. L'x'", "Uninstall.lua:2: attempt to concatenate a table value"},
    {"Text = L'\\255'", "bad argument #1 to 'L' (invalid UTF-8 sequence at byte 1)"},
};

std::string Check(const char* script)
{
    try {
        std::string joined;
        for (const std::string& name :
             ScriptCheck::MissingFunctions(script, "@Uninstall.lua", {"Prepare", "Execute"})) {
            joined += (joined.empty() ? "" : ",") + name;
        }
        return joined;
    } catch (const LuaBindingError& error) {
        return error.GetErrorMessage();
    }
}

TEST(ScriptCheckTest, ScriptsAndTheirOutcome)
{
    for (const ScriptCase& c : kCases) {
        const std::string outcome = Check(c.script);
        EXPECT_NE(std::string::npos, outcome.find(c.expected)) << c.script << " gave " << outcome;
        EXPECT_EQ(std::string(c.expected).empty(), outcome.empty()) << c.script;
    }
}

}  // namespace
