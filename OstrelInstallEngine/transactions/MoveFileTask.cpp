#include "transactions/MoveFileTask.h"

#include <windows.h>

namespace OstrelInstallEngine {

MoveFileTask::MoveFileTask(std::wstring source, std::wstring destination)
    : m_source(std::move(source)), m_destination(std::move(destination))
{
}

void MoveFileTask::Perform()
{
    MoveFileW(m_source.c_str(), m_destination.c_str());
}

}  // namespace OstrelInstallEngine
