// Registry helpers of the tests, on the plain registry API so that they stay
// independent of the code under test: values written and read, and whole
// trees taken to compare before and after a run.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/RegistryKey.h"

namespace OstrelTest {

struct RegistryValue {
    DWORD type;
    std::string data;
    bool operator==(const RegistryValue& o) const { return type == o.type && data == o.data; }
};

inline void PrintTo(const RegistryValue& v, std::ostream* out)
{
    *out << "type " << v.type << ", " << v.data.size() << " bytes";
}

// A REG_SZ value: the text with its terminating NUL.
inline RegistryValue StringValue(const std::wstring& text)
{
    return {REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()),
                                (text.size() + 1) * sizeof(wchar_t))};
}

inline RegistryValue DwordValue(DWORD number)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof(number))};
}

inline bool KeyExists(HKEY root, const std::wstring& subkey)
{
    OstrelInstallEngine::RegistryKey key;
    return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// Creates the key when it is missing; a REG_NONE value only creates the key.
inline void WriteRegistryValue(HKEY root, const std::wstring& subkey, const std::wstring& name,
                               const RegistryValue& value)
{
    OstrelInstallEngine::RegistryKey key;
    RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                    nullptr);
    if (value.type != REG_NONE) {
        RegSetValueExW(key.Get(), name.c_str(), 0, value.type,
                       reinterpret_cast<const BYTE*>(value.data.data()),
                       static_cast<DWORD>(value.data.size()));
    }
}

inline std::optional<RegistryValue> ReadRegistryValue(HKEY root, const std::wstring& subkey,
                                                      const std::wstring& name)
{
    OstrelInstallEngine::RegistryKey key;
    RegistryValue value = {REG_NONE, std::string(65536, '\0')};
    DWORD size = static_cast<DWORD>(value.data.size());
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), name.c_str(), nullptr, &value.type,
                         reinterpret_cast<BYTE*>(&value.data[0]), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.data.resize(size);
    return value;
}

// Every value of every key, by the key's path below the top ("").
using RegistryTree = std::map<std::wstring, std::map<std::wstring, RegistryValue>>;

inline void TakeRegistryTree(HKEY parent, const std::wstring& subkey, const std::wstring& path,
                             RegistryTree* tree)
{
    OstrelInstallEngine::RegistryKey key;
    if (RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return;
    }
    auto& values = (*tree)[path];
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    DWORD nameLength = 16384, size = 65536, type = REG_NONE;
    for (DWORD i = 0; RegEnumValueW(key.Get(), i, name.data(), &nameLength, nullptr, &type, data.data(),
                                    &size) == ERROR_SUCCESS; ++i, nameLength = 16384, size = 65536) {
        values[std::wstring(name.data(), nameLength)] = {type, std::string(reinterpret_cast<char*>(data.data()), size)};
    }
    for (DWORD i = 0; nameLength = 256, RegEnumKeyExW(key.Get(), i, name.data(), &nameLength, nullptr,
                                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        const std::wstring child(name.data(), nameLength);
        TakeRegistryTree(key.Get(), child, path.empty() ? child : path + L"\\" + child, tree);
    }
}

inline RegistryTree TakeRegistryTree(HKEY root, const std::wstring& subkey)
{
    RegistryTree tree;
    TakeRegistryTree(root, subkey, L"", &tree);
    return tree;
}

}  // namespace OstrelTest
