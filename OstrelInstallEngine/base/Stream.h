// The one read-only byte stream of the engine. Positions and sizes are 32-bit;
// streams are heap objects held by a single owner and deleted through this base.
#pragma once

#include <cstdint>

namespace OstrelInstallEngine {

class Stream {
public:
    virtual ~Stream() = default;

    // Releases what the stream holds.
    virtual void Close() {}
    // Copies up to size bytes and advances; fewer only at the end of the data,
    // 0 at the end. Errors throw.
    virtual uint32_t Read(void* buffer, uint32_t size) = 0;
    // Reads exactly size bytes or fails ("readSize == size", 10145).
    void ReadExact(void* buffer, uint32_t size);
    virtual bool AtEof() = 0;
    virtual uint32_t GetSize() = 0;
    virtual uint32_t GetPosition() = 0;
    // Each stream states which positions it accepts.
    virtual void SetPosition(uint32_t pos) = 0;
};

}  // namespace OstrelInstallEngine
