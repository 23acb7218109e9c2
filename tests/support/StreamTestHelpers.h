// Helpers of the stream tests: a probe stream over bytes of its own that records its use
// and fails on request, reading a stream to its end, and a digest's hexadecimal form.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/Exceptions.h"
#include "base/MemoryStream.h"

namespace OstrelTest {

class ProbeStream : public OstrelInstallEngine::MemoryStream {
public:
    enum class Failure { None, Win32, StdException };

    explicit ProbeStream(std::string bytes, bool* destroyed = nullptr)
        : m_bytes(std::move(bytes)), m_destroyed(destroyed)
    {
        SetData(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()));
    }
    ~ProbeStream() override
    {
        if (m_destroyed != nullptr) {
            *m_destroyed = true;
        }
    }

    // Reads fail once they ask for more than the given number of bytes.
    void FailAfter(uint32_t bytes, Failure failure, DWORD error = ERROR_CRC)
    {
        m_budget = bytes;
        m_failure = failure;
        m_error = error;
    }

    uint32_t Read(void* buffer, uint32_t size) override
    {
        if (m_failure != Failure::None) {
            if (size > m_budget) {
                if (m_failure == Failure::Win32) {
                    throw OstrelInstallEngine::Win32Exception(
                        L"localized read failure", L"summary of read failure",
                        L"Error reading file \"archive.zip\"", 10006, L"ReadFile", m_error);
                }
                throw std::runtime_error("disk on fire");
            }
            m_budget -= size;
        }
        largestRequest = std::max(largestRequest, size);
        const uint32_t count = MemoryStream::Read(buffer, size);
        bytesRead += count;
        return count;
    }
    void SetPosition(uint32_t pos) override
    {
        ++seeks;
        MemoryStream::SetPosition(pos);
    }

    uint32_t largestRequest = 0;
    uint32_t bytesRead = 0;
    int seeks = 0;

private:
    std::string m_bytes;
    bool* m_destroyed;
    uint32_t m_budget = 0;
    Failure m_failure = Failure::None;
    DWORD m_error = ERROR_CRC;
};

inline std::string ReadAll(OstrelInstallEngine::Stream& stream, uint32_t chunkSize = 4096)
{
    std::string out;
    std::string chunk(chunkSize, '\0');
    for (uint32_t count; (count = stream.Read(&chunk[0], chunkSize)) != 0;) {
        out.append(chunk, 0, count);
    }
    return out;
}

inline std::string Hex(const unsigned char* digest)
{
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
        text += pair;
    }
    return text;
}

}  // namespace OstrelTest
