#include "transactions/ClearAndRemoveRegKeyTask.h"

#include <windows.h>

#include <shlwapi.h>

#include "base/PathShape.h"
#include "base/RegistryKey.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

ClearAndRemoveRegKeyTask::ClearAndRemoveRegKeyTask(std::wstring keyPath)
    : m_keyPath(std::move(keyPath))
{
}

void ClearAndRemoveRegKeyTask::Perform()
{
    // A bare root or an empty level would widen the removal to a parent.
    if (!IsExactKeyPath(m_keyPath)) {
        return;
    }
    const size_t lastBackslash = m_keyPath.rfind(L'\\');
    RegKeyPath parentPath = ParseRegKeyPath(m_keyPath.substr(0, lastBackslash));
    RegistryKey parent;
    if (RegOpenKeyExW(parentPath.root, parentPath.subkey.c_str(), 0, KEY_CREATE_SUB_KEY,
                      parent.Receive()) != ERROR_SUCCESS) {
        return;
    }
    SHDeleteKeyW(parent.Get(), m_keyPath.substr(lastBackslash + 1).c_str());
}

}  // namespace OstrelInstallEngine
