// The registry key owner closes its key on destruction, on Receive and on move
// assignment: the system refuses the old handle value once it is closed.
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>

#include "base/RegistryKey.h"
#include "TestSupport.h"

namespace {

using OstrelInstallEngine::RegistryKey;

bool IsOpenKey(HKEY key)
{
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

class RegistryKeyTest : public ::testing::Test {
protected:
    HKEY OpenTestKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, m_testKey.Subkey().c_str(), 0,
                                               KEY_READ, &key));
        return key;
    }

    OstrelTest::TestRegistryKey m_testKey{L"RegistryKey"};
};

// Destruction closes the key.
TEST_F(RegistryKeyTest, ClosesOnDestruction)
{
    HKEY raw = nullptr;
    {
        RegistryKey key(OpenTestKey());
        raw = key.Get();
        ASSERT_TRUE(key.IsValid());
        EXPECT_TRUE(IsOpenKey(raw));
    }
    EXPECT_FALSE(IsOpenKey(raw));
}

// Receive closes the key held before handing out the out-parameter.
TEST_F(RegistryKeyTest, ReceiveClosesHeldKey)
{
    RegistryKey key(OpenTestKey());
    HKEY first = key.Get();
    HKEY* out = key.Receive();
    EXPECT_FALSE(IsOpenKey(first));
    EXPECT_EQ(nullptr, *out);
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, m_testKey.Subkey().c_str(), 0, KEY_READ, out));
    EXPECT_TRUE(key.IsValid());
    EXPECT_TRUE(IsOpenKey(key.Get()));
}

// Moving transfers the key; move assignment closes the target's old key.
TEST_F(RegistryKeyTest, MoveSemantics)
{
    RegistryKey first(OpenTestKey());
    HKEY firstRaw = first.Get();
    RegistryKey moved(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(firstRaw, moved.Get());

    RegistryKey target(OpenTestKey());
    HKEY targetRaw = target.Get();
    target = std::move(moved);
    EXPECT_FALSE(IsOpenKey(targetRaw));
    EXPECT_EQ(firstRaw, target.Get());
    EXPECT_TRUE(IsOpenKey(firstRaw));
}

// Release gives the key up without closing it.
TEST_F(RegistryKeyTest, Release)
{
    HKEY raw = nullptr;
    {
        RegistryKey key(OpenTestKey());
        raw = key.Release();
        EXPECT_FALSE(key.IsValid());
    }
    EXPECT_TRUE(IsOpenKey(raw));
    RegCloseKey(raw);
}

}  // namespace
