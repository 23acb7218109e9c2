#include "transactions/RemoveDirectoryTask.h"

#include <windows.h>

namespace OstrelInstallEngine {

RemoveDirectoryTask::RemoveDirectoryTask(std::wstring path) : m_path(std::move(path)) {}

void RemoveDirectoryTask::Perform()
{
    RemoveDirectoryW(m_path.c_str());
}

}  // namespace OstrelInstallEngine
