// The receiving end of the debug-output channel (the DBWIN protocol): a shared
// 4096-byte buffer with the sender's process id and text, and two events that
// pass it back and forth. One listener per session; senders wait for it.
#pragma once

#include <windows.h>

#include <string>

#include "base/UniqueHandle.h"

class DebugChannelListener {
public:
    // Fails (false, with a reason) when another listener owns the channel.
    bool Open(std::wstring* failure);

    // Waits up to timeoutMs for the next message; false when none came.
    bool Receive(DWORD timeoutMs, DWORD* processId, std::string* text);

private:
    OstrelInstallEngine::UniqueHandle m_senderMutex;
    OstrelInstallEngine::UniqueHandle m_mapping;
    OstrelInstallEngine::UniqueHandle m_bufferReady;
    OstrelInstallEngine::UniqueHandle m_dataReady;
    OstrelInstallEngine::UniqueMappedView m_view;
};
