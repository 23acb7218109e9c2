// Reads lines of wide characters from a byte stream: UTF-16LE when the data
// starts with its byte-order mark, single-byte text otherwise. Lines end with
// CR LF; a lone CR or LF is an error. The buffer is part of the object (over
// 40 KB), so a reader is usually a local variable of the reading function.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Stream.h"

namespace OstrelInstallEngine {

class TextStream {
public:
    static const uint32_t BUFFER_MAX_SIZE = 0xA000;

    // Takes the stream, detects the encoding and reads the first line once, so
    // that empty data, a UTF-16BE or UTF-8 mark, or a malformed first line fail
    // here. bufferMax is how much one refill asks for (1 to BUFFER_MAX_SIZE).
    TextStream(std::unique_ptr<Stream> stream, uint32_t bufferMax);
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    bool AtEof();
    // The next line without its terminator; not to be called at the end.
    std::wstring ReadLine();

private:
    enum Encoding { encSingleByte = 0, encUtf16LittleEndian = 1 };

    void DetectEncoding();
    void Seek(uint32_t pos);
    uint8_t ReadByte();
    wchar_t ReadWChar();
    wchar_t ReadChar();

    int m_encoding = encSingleByte;
    std::unique_ptr<Stream> m_stream;
    uint8_t m_buffer[BUFFER_MAX_SIZE];
    uint32_t m_bufferSize = 0;
    uint32_t m_bufferPos = 0;
    uint32_t m_bufferMax = 0;
};

}  // namespace OstrelInstallEngine
