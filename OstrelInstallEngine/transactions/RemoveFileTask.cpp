#include "transactions/RemoveFileTask.h"

#include <windows.h>

namespace OstrelInstallEngine {

RemoveFileTask::RemoveFileTask(std::wstring path) : m_path(std::move(path)) {}

void RemoveFileTask::Perform()
{
    // For a missing file every call fails, which is what best effort allows.
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    SetFileAttributesW(m_path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(m_path.c_str());
}

}  // namespace OstrelInstallEngine
