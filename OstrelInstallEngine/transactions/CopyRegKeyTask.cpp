#include "transactions/CopyRegKeyTask.h"

#include <windows.h>

#include <shlwapi.h>

#include "base/RegistryKey.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

CopyRegKeyTask::CopyRegKeyTask(std::wstring sourceKeyPath, std::wstring destinationKeyPath)
    : m_sourceKeyPath(std::move(sourceKeyPath)), m_destinationKeyPath(std::move(destinationKeyPath))
{
}

void CopyRegKeyTask::Perform()
{
    RegKeyPath destination = ParseRegKeyPath(m_destinationKeyPath);
    RegistryKey destinationKey;
    if (RegCreateKeyExW(destination.root, destination.subkey.c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        destinationKey.Receive(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegKeyPath source = ParseRegKeyPath(m_sourceKeyPath);
    SHCopyKeyW(source.root, source.subkey.c_str(), destinationKey.Get(), 0);
}

}  // namespace OstrelInstallEngine
