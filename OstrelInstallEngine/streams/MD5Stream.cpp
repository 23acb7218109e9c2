#include "streams/MD5Stream.h"

#include <algorithm>

#include "base/Check.h"

namespace OstrelInstallEngine {

namespace {

const uint32_t kGapChunkSize = 40960;

}  // namespace

void MD5Stream::Open(std::unique_ptr<Stream> parentStream)
{
    OSTREL_CHECK(m_parentStream.get() == NULL, 10342);
    OSTREL_CHECK(parentStream.get() != NULL, 10343);
    m_md5.Init();
    m_lastMD5Pos = 0;
    m_parentStream = std::move(parentStream);
}

void MD5Stream::Close()
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10344);
    m_lastMD5Pos = 0;
}

uint32_t MD5Stream::Read(void* buffer, uint32_t size)
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10345);
    const uint32_t startPos = m_parentStream->GetPosition();
    const uint32_t sizeRead = m_parentStream->Read(buffer, size);
    const uint32_t pos = startPos + sizeRead;
    OSTREL_CHECK(startPos <= pos, 10346);
    OSTREL_CHECK((pos - startPos) == sizeRead, 10347);
    if (pos > m_lastMD5Pos) {
        OSTREL_CHECK(startPos <= m_lastMD5Pos, 10348);
        m_md5.Update(static_cast<const unsigned char*>(buffer) + (m_lastMD5Pos - startPos),
                     pos - m_lastMD5Pos);
        m_lastMD5Pos = pos;
    }
    return sizeRead;
}

bool MD5Stream::AtEof()
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10349);
    return m_parentStream->AtEof();
}

uint32_t MD5Stream::GetSize()
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10350);
    return m_parentStream->GetSize();
}

uint32_t MD5Stream::GetPosition()
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10351);
    return m_parentStream->GetPosition();
}

void MD5Stream::SetPosition(uint32_t pos)
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10352);
    OSTREL_CHECK(pos <= m_parentStream->GetSize(), 10357);
    if (pos <= m_lastMD5Pos) {
        m_parentStream->SetPosition(pos);
        return;
    }
    m_parentStream->SetPosition(m_lastMD5Pos);
    unsigned char chunk[kGapChunkSize];
    while (m_parentStream->GetPosition() < pos) {
        const uint32_t n = std::min(kGapChunkSize, pos - m_parentStream->GetPosition());
        m_parentStream->ReadExact(chunk, n);
        m_md5.Update(chunk, n);
        m_lastMD5Pos += n;
    }
    OSTREL_CHECK(m_parentStream->GetPosition() == pos, 10353);
    OSTREL_CHECK(pos == m_lastMD5Pos, 10356);
}

const unsigned char* MD5Stream::GetMD5()
{
    OSTREL_CHECK(m_parentStream.get() != NULL, 10354);
    const uint32_t size = m_parentStream->GetSize();
    if (m_lastMD5Pos < size) {
        const uint32_t readerPos = m_parentStream->GetPosition();
        SetPosition(size);
        m_parentStream->SetPosition(readerPos);
    }
    OSTREL_CHECK(m_lastMD5Pos == m_parentStream->GetSize(), 10355);
    m_digest = m_md5.Final();
    return m_digest.bytes;
}

}  // namespace OstrelInstallEngine
