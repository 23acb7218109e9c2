// The memory stream over a block it does not own: reads, positions and the
// checks of its positions and of an exact read.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "streams/MemoryStream.h"

namespace {

using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::Stream;
using OstrelTest::FailsCheck;

const std::string kData = "0123456789abcdefghij";

// A new stream is empty and at its end; its only position is 0.
TEST(MemoryStreamTest, EmptyStream)
{
    MemoryStream stream;
    EXPECT_EQ(0u, stream.GetSize());
    EXPECT_EQ(0u, stream.GetPosition());
    EXPECT_TRUE(stream.AtEof());
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(0u, stream.Read(buffer, sizeof(buffer)));
    EXPECT_EQ('x', buffer[0]);
    stream.SetPosition(0);
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(1); }, L"MemoryStream", L"pos <= m_size", 55));
    stream.ReadExact(buffer, 0);
}

// Reads advance through the block; the last one returns the remainder, then 0.
TEST(MemoryStreamTest, Reads)
{
    MemoryStream stream;
    stream.SetData(kData.data(), static_cast<uint32_t>(kData.size()));
    EXPECT_EQ(20u, stream.GetSize());
    char buffer[32] = {};
    ASSERT_EQ(8u, stream.Read(buffer, 8));
    EXPECT_EQ("01234567", std::string(buffer, 8));
    EXPECT_EQ(8u, stream.GetPosition());
    EXPECT_FALSE(stream.AtEof());
    ASSERT_EQ(12u, stream.Read(buffer, 32));
    EXPECT_EQ("89abcdefghij", std::string(buffer, 12));
    EXPECT_EQ(20u, stream.GetPosition());
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(buffer, 32));
    EXPECT_EQ(20u, stream.GetPosition());
}

// Every position up to the size is accepted, the end included; beyond it is 55.
TEST(MemoryStreamTest, Positions)
{
    MemoryStream stream;
    stream.SetData(kData.data(), static_cast<uint32_t>(kData.size()));
    char buffer[4] = {};
    stream.SetPosition(16);
    ASSERT_EQ(4u, stream.Read(buffer, 4));
    EXPECT_EQ("ghij", std::string(buffer, 4));
    stream.SetPosition(20);
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(buffer, 4));
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(21); }, L"MemoryStream", L"pos <= m_size", 55));
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(0xFFFFFFFFu); }, L"MemoryStream",
                           L"pos <= m_size", 55));
    EXPECT_EQ(20u, stream.GetPosition());
    stream.SetPosition(0);
    EXPECT_FALSE(stream.AtEof());
    ASSERT_EQ(2u, stream.Read(buffer, 2));
    EXPECT_EQ("01", std::string(buffer, 2));

    // New data starts at its beginning.
    stream.SetData(kData.data() + 10, 5);
    EXPECT_EQ(0u, stream.GetPosition());
    EXPECT_EQ(5u, stream.GetSize());
    ASSERT_EQ(5u, stream.Read(buffer, 4) + stream.Read(buffer, 4));
}

// An exact read of what remains succeeds; asking for more is 10145.
TEST(MemoryStreamTest, ReadExact)
{
    MemoryStream stream;
    stream.SetData(kData.data(), static_cast<uint32_t>(kData.size()));
    char buffer[32] = {};
    stream.ReadExact(buffer, 15);
    EXPECT_EQ("0123456789abcde", std::string(buffer, 15));
    EXPECT_TRUE(FailsCheck([&] { stream.ReadExact(buffer, 6); }, L"Stream", L"readSize == size",
                           10145));
    EXPECT_TRUE(stream.AtEof());
}

// The block stays the caller's: untouched after reads, Close and destruction.
TEST(MemoryStreamTest, LeavesBlockAlone)
{
    std::vector<char> block(kData.begin(), kData.end());
    {
        std::unique_ptr<Stream> stream = std::make_unique<MemoryStream>();
        static_cast<MemoryStream*>(stream.get())->SetData(block.data(),
                                                          static_cast<uint32_t>(block.size()));
        char buffer[32];
        stream->ReadExact(buffer, 20);
        stream->Close();
        stream->SetPosition(0);
        EXPECT_EQ(3u, stream->Read(buffer, 3));
    }
    EXPECT_EQ(kData, std::string(block.begin(), block.end()));
}

}  // namespace
