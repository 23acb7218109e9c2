#include "base/Stream.h"

#include "base/Check.h"

namespace OstrelInstallEngine {

void Stream::ReadExact(void* buffer, uint32_t size)
{
    const uint32_t readSize = Read(buffer, size);
    OSTREL_CHECK(readSize == size, 10145);
}

}  // namespace OstrelInstallEngine
