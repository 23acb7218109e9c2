// Helpers of the transaction tests: reading and writing registry values below
// HKEY_CURRENT_USER with the plain registry API, independent of the code
// under test.
#pragma once

#include <windows.h>

#include <string>

#include "base/RegistryKey.h"

namespace TransactionTest {

struct RegValue {
    bool exists;
    DWORD type;
    std::string data;
};

inline bool KeyExists(const std::wstring& subkey)
{
    OstrelInstallEngine::RegistryKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// Creates the key when it is missing; REG_NONE writes no value.
inline void WriteValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const std::string& data)
{
    OstrelInstallEngine::RegistryKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    if (type != REG_NONE) {
        RegSetValueExW(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    }
}

inline RegValue ReadValue(const std::wstring& subkey, const std::wstring& name)
{
    RegValue value = {false, REG_NONE, std::string()};
    OstrelInstallEngine::RegistryKey key;
    DWORD size = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return value;
    }
    value.data.resize(size);
    value.exists = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &value.type,
                                    reinterpret_cast<BYTE*>(&value.data[0]), &size) == ERROR_SUCCESS;
    value.data.resize(size);
    return value;
}

// The bytes of a REG_SZ value: the text with its terminating NUL.
inline std::string StringBytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

inline std::string DwordBytes(DWORD number)
{
    return std::string(reinterpret_cast<const char*>(&number), sizeof(number));
}

}  // namespace TransactionTest
