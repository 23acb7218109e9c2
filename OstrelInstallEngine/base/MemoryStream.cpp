#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "base/Check.h"

namespace OstrelInstallEngine {

void MemoryStream::SetData(const void* data, uint32_t size)
{
    m_data = static_cast<const unsigned char*>(data);
    m_position = 0;
    m_size = size;
}

uint32_t MemoryStream::Read(void* buffer, uint32_t size)
{
    const uint32_t count = std::min(size, m_size - std::min(m_position, m_size));
    if (count > 0) {
        std::memcpy(buffer, m_data + m_position, count);
    }
    m_position += count;
    return count;
}

void MemoryStream::SetPosition(uint32_t pos)
{
    OSTREL_CHECK(pos <= m_size, 55);
    m_position = pos;
}

}  // namespace OstrelInstallEngine
