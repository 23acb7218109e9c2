// Every key and value of a registry tree, read with the plain registry API,
// so that a test can compare the tree before and after a run value by value
// (type and data). A missing tree is an empty snapshot.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace OstrelTest {

struct RegistryValue {
    DWORD type;
    std::string data;
    bool operator==(const RegistryValue& other) const
    {
        return type == other.type && data == other.data;
    }
};

// Values by name, for each key by its path below the tree's top ("" is the top).
using RegistryValues = std::map<std::wstring, RegistryValue>;
using RegistrySnapshot = std::map<std::wstring, RegistryValues>;

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& subkey);
// One line per key and value, for the messages of failed comparisons.
std::string DescribeRegistrySnapshot(const RegistrySnapshot& snapshot);

RegistryValue StringValue(const std::wstring& text);
RegistryValue DwordValue(DWORD number);

}  // namespace OstrelTest
