#include "streams/XDeltaPatchingStream.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/GenericException.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "streams/XDelta3Library.h"

namespace OstrelInstallEngine {

namespace {

const char kSourceName[] = "<reference>";

}  // namespace

// The decoder's state and its view of the source, kept out of the header so
// that only this file sees xdelta3's types.
struct XDeltaPatchingStream::Decoder {
    xd3_source source;
    xd3_stream stream;

    // The source-block callback. Nothing may unwind through the C decoder, so
    // a failing source becomes the decoder's internal-error result.
    static int GetBlock(xd3_stream* stream, xd3_source* source, xoff_t blockNumber)
    {
        (void)stream;
        try {
            static_cast<XDeltaPatchingStream*>(source->ioh)->FetchSourceBlock(blockNumber);
            return 0;
        } catch (const std::exception&) {
            return XD3_INTERNAL;
        }
    }
};

XDeltaPatchingStream::XDeltaPatchingStream() : m_decoder(std::make_unique<Decoder>()) {}

XDeltaPatchingStream::~XDeltaPatchingStream()
{
    if (m_open) {
        XDeltaPatchingStream::Close();
    }
}

void XDeltaPatchingStream::Open(Stream* source, const std::wstring& fileName, Stream* patch)
{
    OSTREL_CHECK(!m_open, 10102);
    OSTREL_CHECK(source != 0, 10103);
    OSTREL_CHECK(patch != 0, 10269);
    m_source = source;
    m_fileName = fileName;
    m_patch = patch;
    m_size = 0xFFFFFFFF;
    m_position = 0;
    m_outputPos = 0;

    xd3_source& descriptor = m_decoder->source;
    std::memset(&descriptor, 0, sizeof(descriptor));
    descriptor.blksize = kSourceBlockSize;
    descriptor.name = kSourceName;
    descriptor.ioh = this;
    descriptor.curblkno = static_cast<xoff_t>(-1);
    descriptor.curblk = nullptr;
    const xoff_t sourceSize = source->GetSize();

    xd3_config config;
    std::memset(&config, 0, sizeof(config));
    config.getblk = &Decoder::GetBlock;
    const int configResult = xd3_config_stream(&m_decoder->stream, &config);
    if (configResult != 0) {
        xd3_free_stream(&m_decoder->stream);
        OSTREL_CHECK(configResult == 0, 10332);
    }
    xd3_set_source_and_size(&m_decoder->stream, &descriptor, sourceSize);
    m_open = true;
}

void XDeltaPatchingStream::Close()
{
    OSTREL_CHECK(m_open, 10101);
    xd3_abort_stream(&m_decoder->stream);
    xd3_close_stream(&m_decoder->stream);
    xd3_free_stream(&m_decoder->stream);
    m_open = false;
}

uint32_t XDeltaPatchingStream::Read(void* buffer, uint32_t size)
{
    OSTREL_CHECK(m_open, 10100);
    xd3_stream& stream = m_decoder->stream;
    unsigned char* destination = static_cast<unsigned char*>(buffer);
    uint32_t wanted = size;
    while (!AtEof() && wanted > 0) {
        if (m_outputPos < stream.avail_out) {
            const uint32_t n = std::min<uint32_t>(wanted, stream.avail_out - m_outputPos);
            std::memcpy(destination, stream.next_out + m_outputPos, n);
            m_position += n;
            m_outputPos += n;
            destination += n;
            wanted -= n;
        } else {
            xd3_consume_output(&stream);
            m_outputPos = 0;
            if (!Pump()) {
                m_size = m_position;
            }
        }
    }
    return size - wanted;
}

bool XDeltaPatchingStream::Pump()
{
    xd3_stream& stream = m_decoder->stream;
    for (;;) {
        const int result = xd3_decode_input(&stream);
        switch (result) {
        case XD3_OUTPUT:
            return true;
        case XD3_INPUT: {
            if (m_patch->AtEof()) {
                // A patch cut short would otherwise end quietly with part of
                // the target: the patch may only end between windows.
                if (!AtWindowBoundary()) {
                    ThrowDecoderError(XD3_INVALID_INPUT, "unexpected end of patch");
                }
                return false;
            }
            const uint32_t count = m_patch->Read(m_patchBuffer, kPatchBufferSize);
            if (m_patch->AtEof()) {
                xd3_set_flags(&stream, stream.flags | XD3_FLUSH);
            }
            xd3_avail_input(&stream, m_patchBuffer, count);
            break;
        }
        case XD3_GOTHEADER:
        case XD3_WINSTART:
        case XD3_WINFINISH:
        case XD3_GETSRCBLK:
            break;
        default:
            ThrowDecoderError(result);
        }
    }
}

bool XDeltaPatchingStream::AtWindowBoundary() const
{
    const xd3_stream& stream = m_decoder->stream;
    return stream.dec_state == DEC_WININD || (stream.dec_state == DEC_VCHEAD && stream.total_in == 0);
}

void XDeltaPatchingStream::ThrowDecoderError(int result) const
{
    ThrowDecoderError(result, xd3_errstring(&m_decoder->stream));
}

void XDeltaPatchingStream::ThrowDecoderError(int result, const char* text) const
{
    throw GenericException(
        Localizer::Text(MessageAfter(kMsgPatchFailureSummary), m_fileName),
        Localizer::Text(kMsgPatchFailureSummary, m_fileName),
        FormatWide(L"XDelta returned unexpected code (%d: %hs) while patching \"%s\"", result,
                   text, m_fileName.c_str()),
        10104);
}

void XDeltaPatchingStream::FetchSourceBlock(uint64_t blockNumber)
{
    xd3_source& descriptor = m_decoder->source;
    m_source->SetPosition(static_cast<uint32_t>(blockNumber * kSourceBlockSize));
    descriptor.onblk = m_source->Read(m_sourceBlock, kSourceBlockSize);
    descriptor.curblk = m_sourceBlock;
    descriptor.curblkno = blockNumber;
}

bool XDeltaPatchingStream::AtEof()
{
    OSTREL_CHECK(m_open, 10099);
    return m_position == m_size;
}

uint32_t XDeltaPatchingStream::GetSize()
{
    OSTREL_FAIL(10098);
}

uint32_t XDeltaPatchingStream::GetPosition()
{
    OSTREL_CHECK(m_open, 10097);
    return m_position;
}

void XDeltaPatchingStream::SetPosition(uint32_t)
{
    OSTREL_FAIL(10096);
}

}  // namespace OstrelInstallEngine
