#include "transactions/SetRegValueTask.h"

#include <cstring>
#include <new>

#include "base/Check.h"
#include "base/RegistryKey.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

SetRegValueTask::SetRegValueTask(std::wstring keyPath, std::wstring valueName, DWORD type,
                                 const BYTE* data, DWORD size)
    : m_keyPath(std::move(keyPath)),
      m_valueName(std::move(valueName)),
      m_type(type),
      m_buf(new (std::nothrow) BYTE[size]),
      m_size(size)
{
    OSTREL_CHECK(m_buf != 0, 10061);
    if (size != 0) {
        std::memcpy(m_buf.get(), data, size);
    }
}

void SetRegValueTask::Perform()
{
    RegKeyPath path = ParseRegKeyPath(m_keyPath);
    RegistryKey key;
    if (RegOpenKeyExW(path.root, path.subkey.c_str(), 0, KEY_WRITE, key.Receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key.Get(), m_valueName.c_str(), 0, m_type, m_buf.get(), m_size);
}

}  // namespace OstrelInstallEngine
