// Owns a block that the system allocated with LocalAlloc on the caller's
// behalf (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER).
#pragma once

#include <windows.h>

namespace OstrelInstallEngine {

class LocalMemory {
public:
    explicit LocalMemory(void* block) : m_block(block) {}
    ~LocalMemory()
    {
        if (m_block != nullptr) {
            LocalFree(m_block);
        }
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;

private:
    void* m_block;
};

}  // namespace OstrelInstallEngine
