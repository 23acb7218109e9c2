// MD5 against md5sum; MD5Stream hashes every byte of its parent once and in order, whatever
// is read, re-read or skipped, and its checks guard misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "EngineFailure.h"
#include "StreamTestHelpers.h"
#include "TestSupport.h"
#include "streams/MD5Stream.h"
#include "streams/Md5.h"

namespace {

using OstrelInstallEngine::MD5Stream;
using OstrelInstallEngine::Md5;
using OstrelInstallEngine::MemoryStream;
using OstrelTest::Hex;
using OstrelTest::ProbeStream;
using OstrelTest::ReadAll;

const char kFixture[] = "md5/size-1048579.bin";

// The digest md5sum wrote for the fixture.
std::string Md5sumDigest()
{
    return OstrelTest::ReadFileBytes(OstrelTest::FixturePath(std::string(kFixture) + ".md5"))
        .substr(0, 32);
}

// Files of 0, 1, 55, 56, 63, 64, 65 and 1 MiB + 3 bytes hash as md5sum says, whole and in
// pieces that cross the 64-byte blocks every way.
TEST(Md5Test, MatchesMd5sumOnFixtureFiles)
{
    for (const char* size : {"0", "1", "55", "56", "63", "64", "65", "1048579"}) {
        const std::string name = std::string("md5/size-") + size + ".bin";
        const std::string data = OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name));
        const std::string expected =
            OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name + ".md5")).substr(0, 32);
        for (size_t piece : {data.size() + 1, size_t(1), size_t(7), size_t(64), size_t(65)}) {
            Md5 md5;
            for (size_t offset = 0; offset < data.size(); offset += piece) {
                md5.Update(data.data() + offset, std::min(piece, data.size() - offset));
            }
            EXPECT_EQ(expected, Hex(md5.Final().bytes)) << name << " in pieces of " << piece;
        }
    }
}

class MD5StreamTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_data = OstrelTest::ReadFileBytes(OstrelTest::FixturePath(kFixture));
        ASSERT_EQ(1048579u, m_data.size());
        auto parent = std::make_unique<ProbeStream>(m_data);
        m_parent = parent.get();
        m_stream.Open(std::move(parent));
    }

    std::string Digest() { return Hex(m_stream.GetMD5()); }

    const std::string m_expected = Md5sumDigest();
    std::string m_data;
    ProbeStream* m_parent = nullptr;
    MD5Stream m_stream;
};

#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"MD5Stream", statement, L"" condition, code)

// Reading front to back in any chunk size passes the data through and gives
// md5sum's digest; GetMD5 then reads nothing more.
TEST_F(MD5StreamTest, FrontToBackInAnyChunkSize)
{
    for (uint32_t chunkSize : {1u, 7u, 64u, 1000u, 40960u, 2000000u}) {
        m_stream.SetPosition(0);
        EXPECT_TRUE(ReadAll(m_stream, chunkSize) == m_data) << chunkSize;
        EXPECT_TRUE(m_stream.AtEof());
        const uint32_t before = m_parent->bytesRead;
        EXPECT_EQ(m_expected, Digest()) << chunkSize;
        EXPECT_EQ(before, m_parent->bytesRead);
    }
}

// GetMD5 before any read or in the middle of one hashes the whole parent and leaves the
// position where it was; bytes read again (0-99, back to 50, on to 150) enter the digest
// once, and seeking forward hashes the gap on the way.
TEST_F(MD5StreamTest, EveryByteEntersTheDigestOnce)
{
    MD5Stream unread;
    unread.Open(std::make_unique<ProbeStream>(m_data));
    EXPECT_EQ(m_expected, Hex(unread.GetMD5()));
    EXPECT_EQ(0u, unread.GetPosition());
    EXPECT_FALSE(unread.AtEof());
    EXPECT_TRUE(ReadAll(unread) == m_data);

    std::string buffer(100, '\0');
    m_stream.ReadExact(&buffer[0], 100);
    m_stream.SetPosition(50);
    m_stream.ReadExact(&buffer[0], 100);
    EXPECT_TRUE(buffer == m_data.substr(50, 100));
    m_stream.SetPosition(1000);
    EXPECT_EQ(1050u, m_parent->bytesRead);  // 0-99, 50-149 again, then the gap 150-999
    EXPECT_EQ(m_expected, Digest());
    EXPECT_EQ(1000u, m_stream.GetPosition());
    EXPECT_TRUE(ReadAll(m_stream, 333) == m_data.substr(1000));
    EXPECT_EQ(m_expected, Digest());
}

// Any call before Open, and a null parent, fail their checks; an empty parent gives the
// digest of empty input.
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
    stream.Open(std::make_unique<MemoryStream>());
    EXPECT_EQ(0u, stream.Read(&byte, 1));
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Hex(stream.GetMD5()));
}

// An open stream refuses a seek beyond the end and a read leaving a gap after the hashed
// part; Close keeps the parent, which still answers, and the stream never reopens.
TEST_F(MD5StreamTest, MisuseOfAnOpenStream)
{
    EXPECT_CHECK_FAILURE(m_stream.SetPosition(static_cast<uint32_t>(m_data.size()) + 1),
                         "pos <= m_parentStream->GetSize()", L"10357");
    std::string buffer(10, '\0');
    m_stream.ReadExact(&buffer[0], 10);
    m_parent->SetPosition(20);
    EXPECT_CHECK_FAILURE(m_stream.Read(&buffer[0], 10), "startPos <= m_lastMD5Pos", L"10348");
    EXPECT_CHECK_FAILURE(m_stream.Open(std::make_unique<MemoryStream>()),
                         "m_parentStream.get() == NULL", L"10342");
    m_stream.Close();
    EXPECT_EQ(m_data.size(), m_stream.GetSize());
    EXPECT_CHECK_FAILURE(m_stream.Open(std::make_unique<MemoryStream>()),
                         "m_parentStream.get() == NULL", L"10342");
}

}  // namespace
