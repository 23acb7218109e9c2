#include "RegistrySnapshot.h"

#include <vector>

#include "base/RegistryKey.h"

namespace OstrelTest {

namespace {

using OstrelInstallEngine::RegistryKey;

void ReadValues(HKEY key, RegistryValues* values)
{
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        BYTE data[65536];
        DWORD size = sizeof(data);
        DWORD type = REG_NONE;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            return;
        }
        (*values)[std::wstring(name, nameLength)] =
            RegistryValue{type, std::string(reinterpret_cast<char*>(data), size)};
    }
}

void ReadTree(HKEY parent, const std::wstring& subkey, const std::wstring& path,
              RegistrySnapshot* snapshot)
{
    RegistryKey key;
    if (RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return;
    }
    ReadValues(key.Get(), &(*snapshot)[path]);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            return;
        }
        const std::wstring child(name, nameLength);
        ReadTree(key.Get(), child, path.empty() ? child : path + L"\\" + child, snapshot);
    }
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

}  // namespace

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& subkey)
{
    RegistrySnapshot snapshot;
    ReadTree(root, subkey, L"", &snapshot);
    return snapshot;
}

std::string DescribeRegistrySnapshot(const RegistrySnapshot& snapshot)
{
    std::string text;
    for (const auto& key : snapshot) {
        text += "[" + Narrow(key.first) + "]\n";
        for (const auto& value : key.second) {
            text += "  " + Narrow(value.first) + " type " + std::to_string(value.second.type) +
                    ", " + std::to_string(value.second.data.size()) + " bytes\n";
        }
    }
    return text;
}

RegistryValue StringValue(const std::wstring& text)
{
    return RegistryValue{
        REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()),
                            (text.size() + 1) * sizeof(wchar_t))};
}

RegistryValue DwordValue(DWORD number)
{
    return RegistryValue{REG_DWORD, std::string(reinterpret_cast<const char*>(&number),
                                                sizeof(number))};
}

}  // namespace OstrelTest
