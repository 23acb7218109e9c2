#include "base/TextStream.h"

#include "base/Check.h"

namespace OstrelInstallEngine {

TextStream::TextStream(std::unique_ptr<Stream> stream, uint32_t bufferMax)
    : m_stream(std::move(stream)), m_bufferMax(bufferMax)
{
    OSTREL_CHECK(bufferMax <= BUFFER_MAX_SIZE, 10062);
    // An empty refill would hand out bytes that were never read.
    OSTREL_CHECK(bufferMax > 0, 10014);
    OSTREL_CHECK(m_stream != nullptr, 10012);
    Seek(0);
    DetectEncoding();
}

void TextStream::DetectEncoding()
{
    uint8_t head[3] = {0, 0, 0};
    for (uint8_t& byte : head) {
        if (!AtEof()) {
            byte = ReadByte();
        }
    }
    if (head[0] == 0xFE && head[1] == 0xFF) {
        OSTREL_FAIL(10063);
    }
    if (head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        OSTREL_FAIL(10064);
    }
    const bool littleEndianMark = head[0] == 0xFF && head[1] == 0xFE;
    m_encoding = littleEndianMark ? encUtf16LittleEndian : encSingleByte;
    const uint32_t textStart = littleEndianMark ? 2 : 0;
    Seek(textStart);
    ReadLine();
    Seek(textStart);
}

bool TextStream::AtEof()
{
    return m_stream->AtEof() && m_bufferPos == m_bufferSize;
}

void TextStream::Seek(uint32_t pos)
{
    const uint32_t streamPos = m_stream->GetPosition();
    const uint32_t windowStart = streamPos - m_bufferSize;
    if (windowStart <= pos && pos < streamPos) {
        m_bufferPos = pos - windowStart;
        return;
    }
    m_stream->SetPosition(pos);
    m_bufferSize = 0;
    m_bufferPos = 0;
}

uint8_t TextStream::ReadByte()
{
    OSTREL_CHECK(!AtEof(), 10068);
    if (m_bufferPos == m_bufferSize) {
        uint32_t bytesToRead = m_bufferMax;
        const uint32_t remaining = m_stream->GetSize() - m_stream->GetPosition();
        if (remaining < bytesToRead) {
            bytesToRead = remaining;
        }
        const uint32_t bytesRead = m_stream->Read(m_buffer, bytesToRead);
        OSTREL_CHECK(bytesToRead == bytesRead, 10069);
        m_bufferPos = 0;
        m_bufferSize = bytesRead;
    }
    return m_buffer[m_bufferPos++];
}

wchar_t TextStream::ReadWChar()
{
    OSTREL_CHECK(!AtEof(), 10070);
    const uint8_t low = ReadByte();
    OSTREL_CHECK(!AtEof(), 10071);
    const uint8_t high = ReadByte();
    return static_cast<wchar_t>(low + high * 256);
}

wchar_t TextStream::ReadChar()
{
    switch (m_encoding) {
    case encSingleByte:
        return static_cast<wchar_t>(ReadByte());
    case encUtf16LittleEndian:
        return ReadWChar();
    default:
        OSTREL_FAIL(10065);
    }
}

std::wstring TextStream::ReadLine()
{
    std::wstring line;
    wchar_t nextWChar = 0;
    do {
        nextWChar = ReadChar();
        OSTREL_CHECK(nextWChar != L'\n', 10067);
        if (nextWChar != L'\r') {
            line += nextWChar;
        }
    } while (nextWChar != L'\r' && !AtEof());
    if (!AtEof()) {
        nextWChar = ReadChar();
        OSTREL_CHECK(nextWChar == L'\n', 10066);
    }
    return line;
}

}  // namespace OstrelInstallEngine
