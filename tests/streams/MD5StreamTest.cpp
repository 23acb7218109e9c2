// MD5Stream hashes every byte of its parent exactly once and in order,
// whatever the reader reads, re-reads or skips, and its checks guard misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "streams/FileStream.h"
#include "streams/MD5Stream.h"
#include "streams/MemoryStream.h"
#include "EngineFailure.h"
#include "TestSupport.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::MD5Stream;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::SanityCheckException;
using OstrelInstallEngine::Stream;

std::string Hex(const unsigned char* digest)
{
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
        text += pair;
    }
    return text;
}

std::string FixtureDigest(const std::string& name)
{
    std::string text = OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name + ".md5"));
    return text.substr(0, 32);
}

// A memory stream that counts the bytes read through it; the counter outlives
// the stream, which the MD5Stream owns.
class CountingStream : public MemoryStream {
public:
    CountingStream(const std::string& data, uint32_t* bytesRead) : m_bytesRead(bytesRead)
    {
        SetData(data.data(), static_cast<uint32_t>(data.size()));
    }
    uint32_t Read(void* buffer, uint32_t size) override
    {
        const uint32_t count = MemoryStream::Read(buffer, size);
        *m_bytesRead += count;
        return count;
    }

private:
    uint32_t* m_bytesRead;
};

class MD5StreamTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_data = OstrelTest::ReadFileBytes(OstrelTest::FixturePath("md5/size-1048579.bin"));
        m_expected = FixtureDigest("md5/size-1048579.bin");
        ASSERT_EQ(1048579u, m_data.size());
        auto parent = std::make_unique<CountingStream>(m_data, &m_parentBytesRead);
        m_parent = parent.get();
        m_stream.Open(std::move(parent));
    }

    std::string ReadRest(uint32_t chunkSize)
    {
        std::string out;
        std::string chunk(chunkSize, '\0');
        for (;;) {
            const uint32_t count = m_stream.Read(&chunk[0], chunkSize);
            if (count == 0) {
                return out;
            }
            out.append(chunk, 0, count);
        }
    }

    std::string m_data;
    std::string m_expected;
    uint32_t m_parentBytesRead = 0;
    Stream* m_parent = nullptr;
    MD5Stream m_stream;
};

// A failed internal check of MD5Stream with its condition and code.
#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"MD5Stream", statement, L"" condition, code)

// Reading front to back in any chunk size passes the data through and gives
// md5sum's digest; GetMD5 then reads nothing more.
TEST_F(MD5StreamTest, FrontToBackInAnyChunkSize)
{
    const uint32_t chunkSizes[] = {1, 7, 64, 1000, 40960, 2000000};
    for (uint32_t chunkSize : chunkSizes) {
        SCOPED_TRACE(chunkSize);
        m_stream.SetPosition(0);
        const std::string out = ReadRest(chunkSize);
        EXPECT_TRUE(out == m_data);
        EXPECT_TRUE(m_stream.AtEof());
        if (chunkSize == 1) {
            const uint32_t before = m_parentBytesRead;
            EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
            EXPECT_EQ(before, m_parentBytesRead);
        }
        EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
    }
}

// GetMD5 on a stream nobody read hashes the whole parent and leaves the
// position where it was; so it does in the middle of a read.
TEST_F(MD5StreamTest, DigestWithoutReadingKeepsPosition)
{
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
    EXPECT_EQ(0u, m_stream.GetPosition());
    EXPECT_EQ(m_data.size(), m_stream.GetSize());
    EXPECT_FALSE(m_stream.AtEof());
    EXPECT_TRUE(ReadRest(4096) == m_data);
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
}

TEST_F(MD5StreamTest, DigestInTheMiddleOfAReadKeepsPosition)
{
    std::string head(100, '\0');
    m_stream.ReadExact(&head[0], 100);
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
    EXPECT_EQ(100u, m_stream.GetPosition());
    EXPECT_TRUE(head + ReadRest(5000) == m_data);
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
}

// Reading 0-99, seeking back to 50 and reading to 150 hashes 100-149 once;
// seeking forward hashes the gap on the way. Either way the digest is that of
// the whole data.
TEST_F(MD5StreamTest, RereadBytesEnterTheDigestOnce)
{
    std::string buffer(100, '\0');
    m_stream.ReadExact(&buffer[0], 100);
    m_stream.SetPosition(50);
    m_stream.ReadExact(&buffer[0], 100);
    EXPECT_EQ(150u, m_stream.GetPosition());
    EXPECT_TRUE(buffer == m_data.substr(50, 100));
    ReadRest(65536);
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
}

TEST_F(MD5StreamTest, SeekingForwardHashesTheGap)
{
    m_stream.SetPosition(1000);
    EXPECT_EQ(1000u, m_stream.GetPosition());
    EXPECT_EQ(1000u, m_parentBytesRead);
    EXPECT_TRUE(ReadRest(333) == m_data.substr(1000));
    EXPECT_EQ(m_expected, Hex(m_stream.GetMD5()));
    m_stream.SetPosition(static_cast<uint32_t>(m_data.size()));
    EXPECT_TRUE(m_stream.AtEof());
}

// A file stream as the parent gives the same digest as md5sum.
TEST(MD5StreamFileTest, HashesAFileStream)
{
    auto file = std::make_unique<FileStream>();
    file->Open(OstrelTest::FixturePath("md5/size-1048579.bin"));
    MD5Stream stream;
    stream.Open(std::move(file));
    std::string chunk(40960, '\0');
    while (!stream.AtEof()) {
        stream.Read(&chunk[0], 40960);
    }
    EXPECT_EQ(FixtureDigest("md5/size-1048579.bin"), Hex(stream.GetMD5()));
}

// A parent of size 0 gives the digest of empty input.
TEST(MD5StreamEmptyTest, EmptyParent)
{
    MD5Stream stream;
    auto parent = std::make_unique<MemoryStream>();
    stream.Open(std::move(parent));
    char byte = 0;
    EXPECT_EQ(0u, stream.Read(&byte, 1));
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Hex(stream.GetMD5()));
}

// Misuse fails its internal checks: a second Open, a null parent, any call
// before Open, a seek beyond the end, and a read that would leave a gap after
// the hashed part.
TEST_F(MD5StreamTest, OpenTwiceFails)
{
    EXPECT_CHECK_FAILURE(m_stream.Open(std::make_unique<MemoryStream>()),
                         "m_parentStream.get() == NULL", L"10342");
}

TEST(MD5StreamChecksTest, CallsBeforeOpenFail)
{
    MD5Stream stream;
    char byte = 0;
    EXPECT_CHECK_FAILURE(stream.Open(nullptr), "parentStream.get() != NULL", L"10343");
    EXPECT_CHECK_FAILURE(stream.Close(), "m_parentStream.get() != NULL", L"10344");
    EXPECT_CHECK_FAILURE(stream.Read(&byte, 1), "m_parentStream.get() != NULL", L"10345");
    EXPECT_CHECK_FAILURE(stream.AtEof(), "m_parentStream.get() != NULL", L"10349");
    EXPECT_CHECK_FAILURE(stream.GetSize(), "m_parentStream.get() != NULL", L"10350");
    EXPECT_CHECK_FAILURE(stream.GetPosition(), "m_parentStream.get() != NULL", L"10351");
    EXPECT_CHECK_FAILURE(stream.SetPosition(0), "m_parentStream.get() != NULL", L"10352");
    EXPECT_CHECK_FAILURE(stream.GetMD5(), "m_parentStream.get() != NULL", L"10354");
}

TEST_F(MD5StreamTest, SeekBeyondTheEndFails)
{
    EXPECT_CHECK_FAILURE(m_stream.SetPosition(static_cast<uint32_t>(m_data.size()) + 1),
                         "pos <= m_parentStream->GetSize()", L"10357");
}

TEST_F(MD5StreamTest, ReadLeavingAGapFails)
{
    std::string buffer(10, '\0');
    m_stream.ReadExact(&buffer[0], 10);
    m_parent->SetPosition(20);
    EXPECT_CHECK_FAILURE(m_stream.Read(&buffer[0], 10), "startPos <= m_lastMD5Pos", L"10348");
}

// Close keeps the parent: the stream still answers, and it cannot be opened
// again.
TEST_F(MD5StreamTest, CloseKeepsTheParent)
{
    m_stream.Close();
    EXPECT_EQ(m_data.size(), m_stream.GetSize());
    EXPECT_CHECK_FAILURE(m_stream.Open(std::make_unique<MemoryStream>()),
                         "m_parentStream.get() == NULL", L"10342");
}

}  // namespace
