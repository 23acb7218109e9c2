// A stream over a block of memory that somebody else owns and keeps alive
// longer than the stream (a locked module resource, a buffer of the caller).
#pragma once

#include "base/Stream.h"

namespace OstrelInstallEngine {

class MemoryStream : public Stream {
public:
    MemoryStream() = default;

    // The block is not copied and never freed by the stream.
    void SetData(const void* data, uint32_t size);

    uint32_t Read(void* buffer, uint32_t size) override;
    bool AtEof() override { return m_position >= m_size; }
    uint32_t GetSize() override { return m_size; }
    uint32_t GetPosition() override { return m_position; }
    // Any position up to the size, the end included ("pos <= m_size", 55).
    void SetPosition(uint32_t pos) override;

private:
    const unsigned char* m_data = nullptr;
    uint32_t m_position = 0;
    uint32_t m_size = 0;
};

}  // namespace OstrelInstallEngine
