#include "common/DebugChannelListener.h"

namespace {

const DWORD kBufferSize = 4096;

}  // namespace

bool DebugChannelListener::Open(std::wstring* failure)
{
    m_senderMutex.Set(CreateMutexW(nullptr, FALSE, L"DBWinMutex"));
    m_mapping.Set(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                     L"DBWIN_BUFFER"));
    if (!m_mapping.IsValid()) {
        *failure = L"cannot create the debug-output buffer";
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        *failure = L"another debug-output listener is running";
        return false;
    }
    m_bufferReady.Set(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_dataReady.Set(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    m_view.Set(MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!m_bufferReady.IsValid() || !m_dataReady.IsValid() || !m_view.IsValid()) {
        *failure = L"cannot open the debug-output events";
        return false;
    }
    SetEvent(m_bufferReady.Get());
    return true;
}

bool DebugChannelListener::Receive(DWORD timeoutMs, DWORD* processId, std::string* text)
{
    if (WaitForSingleObject(m_dataReady.Get(), timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    const char* buffer = static_cast<const char*>(m_view.Get());
    *processId = *reinterpret_cast<const DWORD*>(buffer);
    const char* message = buffer + sizeof(DWORD);
    *text = std::string(message, strnlen(message, kBufferSize - sizeof(DWORD)));
    SetEvent(m_bufferReady.Get());
    return true;
}
