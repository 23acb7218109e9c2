#include "transactions/RemoveRegValueTask.h"

#include <windows.h>

#include "base/RegistryKey.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

RemoveRegValueTask::RemoveRegValueTask(std::wstring keyPath, std::wstring valueName)
    : m_keyPath(std::move(keyPath)), m_valueName(std::move(valueName))
{
}

void RemoveRegValueTask::Perform()
{
    RegKeyPath path = ParseRegKeyPath(m_keyPath);
    RegistryKey key;
    if (RegOpenKeyExW(path.root, path.subkey.c_str(), 0, KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(key.Get(), m_valueName.c_str());
}

}  // namespace OstrelInstallEngine
