// The bytes that applying a VCDIFF delta to a source gives, decoded
// incrementally: patch bytes are fed as the decoder asks for them, source
// blocks are fetched on demand, and output is handed out piece by piece.
// Memory stays fixed: one source block, one patch buffer and the decoder's own
// window buffers. The stream is read front to back once.
#pragma once

#include <memory>
#include <string>

#include "base/Stream.h"

namespace OstrelInstallEngine {

class XDeltaPatchingStream : public Stream {
public:
    XDeltaPatchingStream();
    // Closes the decoder if still open; the source and patch stay untouched.
    ~XDeltaPatchingStream() override;
    XDeltaPatchingStream(const XDeltaPatchingStream&) = delete;
    XDeltaPatchingStream& operator=(const XDeltaPatchingStream&) = delete;

    // Neither stream is owned. Both must stay alive and untouched by others
    // until Close; the source must accept SetPosition anywhere. fileName names
    // the patched file in messages.
    void Open(Stream* source, const std::wstring& fileName, Stream* patch);

    // Ends decoding, finished or not; the stream can be opened again.
    void Close() override;
    // A bad patch, or a source other than the one the patch was made for,
    // fails with code 10104 naming the file.
    uint32_t Read(void* buffer, uint32_t size) override;
    // True only once the patch is used up and all output delivered.
    bool AtEof() override;
    // The length is unknown until the end: refused (10098).
    uint32_t GetSize() override;
    uint32_t GetPosition() override;
    // Refused (10096).
    void SetPosition(uint32_t pos) override;

    // xdelta3 takes only power-of-two source blocks (it would raise 40960 to
    // 65536 behind our back), so the block is the largest one below 40960.
    static constexpr uint32_t kSourceBlockSize = 32768;
    static constexpr uint32_t kPatchBufferSize = 40960;

private:
    struct Decoder;

    bool Pump();
    bool AtWindowBoundary() const;
    [[noreturn]] void ThrowDecoderError(int result) const;
    [[noreturn]] void ThrowDecoderError(int result, const char* text) const;
    void FetchSourceBlock(uint64_t blockNumber);

    bool m_open = false;
    unsigned char m_sourceBlock[kSourceBlockSize];
    unsigned char m_patchBuffer[kPatchBufferSize];
    Stream* m_source = nullptr;
    std::wstring m_fileName;
    Stream* m_patch = nullptr;
    std::unique_ptr<Decoder> m_decoder;
    uint32_t m_size = 0xFFFFFFFF;
    uint32_t m_position = 0;
    uint32_t m_outputPos = 0;
};

}  // namespace OstrelInstallEngine
