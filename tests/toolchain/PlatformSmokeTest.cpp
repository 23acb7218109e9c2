// Smoke tests of the platform under the suite: the Wine prefix's registry and
// the three libraries the engine is built on, each linked and run once.
#include <windows.h>

#include <gtest/gtest.h>

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <string>

#include "TestSupport.h"

// xdelta3.h has no C++ guards, pulls in windows.h and defines one-letter
// macros; it stays last.
extern "C" {
#include <xdelta3.h>
}
#undef Q
#undef Z

namespace {

using OstrelTest::FixturePath;
using OstrelTest::ReadFileBytes;

// The prefix's registry keeps what a test writes and reads it back.
TEST(PlatformSmokeTest, RegistryValueRoundTrip)
{
    OstrelTest::TestRegistryKey testKey(L"Smoke");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, testKey.Subkey().c_str(), 0,
                                           KEY_ALL_ACCESS, &key));
    const std::wstring written = L"smoke \u00e9\u20ac";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, L"Value", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(written.c_str()),
                             static_cast<DWORD>((written.size() + 1) * sizeof(wchar_t))));
    wchar_t buffer[64] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"Value", nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(written, std::wstring(buffer));
}

// Lua 5.1 runs a chunk; a Lua error raised under a protected call comes back
// as an error status (Lua is compiled as C++, its errors are exceptions).
TEST(PlatformSmokeTest, LuaRunsAChunk)
{
    lua_State* state = luaL_newstate();
    ASSERT_NE(nullptr, state);
    luaL_openlibs(state);
    ASSERT_EQ(0, luaL_dostring(state, "return string.rep('ab', 3) .. (6 * 7)"));
    EXPECT_STREQ("ababab42", lua_tostring(state, -1));
    lua_settop(state, 0);
    EXPECT_NE(0, luaL_dostring(state, "error('boom')"));
    EXPECT_NE(nullptr, strstr(lua_tostring(state, -1), "boom"));
    lua_close(state);
}

// A delta made by Debian's xdelta3 CLI with its default settings (LZMA
// secondary compression) decodes to the target.
TEST(PlatformSmokeTest, XDeltaDecodesACliDelta)
{
    const std::string source = ReadFileBytes(FixturePath("delta/small-source.txt"));
    const std::string target = ReadFileBytes(FixturePath("delta/small-target.txt"));
    const std::string delta = ReadFileBytes(FixturePath("delta/small-default.vcdiff"));
    std::string output(target.size() + 1024, '\0');
    usize_t outputSize = 0;
    int result = xd3_decode_memory(
        reinterpret_cast<const uint8_t*>(delta.data()), static_cast<usize_t>(delta.size()),
        reinterpret_cast<const uint8_t*>(source.data()), static_cast<usize_t>(source.size()),
        reinterpret_cast<uint8_t*>(&output[0]), &outputSize,
        static_cast<usize_t>(output.size()), 0);
    ASSERT_EQ(0, result);
    output.resize(outputSize);
    EXPECT_EQ(target, output);
}

}  // namespace
