// The MD5 message digest of RFC 1321, fed piece by piece. The state can be
// finished any number of times: Final works on a copy, so hashing may go on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Util.h"

namespace OstrelInstallEngine {

class Md5 {
public:
    Md5() { Init(); }

    // Starts a new digest over empty input.
    void Init();
    void Update(const void* data, size_t size);
    // The digest of everything fed since Init; the running state is unchanged.
    Md5Digest Final() const;

private:
    void Transform(const unsigned char block[64]);

    uint32_t m_state[4];
    uint64_t m_bitCount;
    unsigned char m_buffer[64];
};

}  // namespace OstrelInstallEngine
