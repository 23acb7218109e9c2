// The memory stream over a block it does not own: reads, positions and the
// checks of its positions and of an exact read.
#include <gtest/gtest.h>

#include <string>

#include "EngineFailure.h"
#include "streams/MemoryStream.h"

namespace {

using OstrelInstallEngine::MemoryStream;
using OstrelTest::FailsCheck;

// A new stream is empty and at its end; its only position is 0.
TEST(MemoryStreamTest, EmptyStream)
{
    MemoryStream stream;
    EXPECT_EQ(0u, stream.GetSize());
    EXPECT_TRUE(stream.AtEof());
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(0u, stream.Read(buffer, sizeof(buffer)));
    EXPECT_EQ('x', buffer[0]);
    stream.SetPosition(0);
    stream.ReadExact(buffer, 0);
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(1); }, L"MemoryStream", L"pos <= m_size", 55));
}

// Reads advance through the block, the last one returns the remainder, then
// 0; every position up to the size is accepted, beyond it is 55; an exact
// read beyond the end is 10145; the block stays the caller's, untouched.
TEST(MemoryStreamTest, ReadsAndPositions)
{
    std::string block = "0123456789abcdefghij";
    const std::string original = block;
    MemoryStream stream;
    stream.SetData(block.data(), static_cast<uint32_t>(block.size()));
    char buffer[32] = {};
    ASSERT_EQ(8u, stream.Read(buffer, 8));
    EXPECT_EQ("01234567", std::string(buffer, 8));
    EXPECT_FALSE(stream.AtEof());
    ASSERT_EQ(12u, stream.Read(buffer, 32));
    EXPECT_EQ("89abcdefghij", std::string(buffer, 12));
    EXPECT_EQ(20u, stream.GetPosition());
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(buffer, 32));

    stream.SetPosition(16);
    ASSERT_EQ(4u, stream.Read(buffer, 4));
    EXPECT_EQ("ghij", std::string(buffer, 4));
    for (uint32_t beyond : {21u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(beyond); }, L"MemoryStream",
                               L"pos <= m_size", 55));
    }
    EXPECT_EQ(20u, stream.GetPosition());
    stream.SetPosition(5);
    stream.ReadExact(buffer, 15);
    EXPECT_EQ("56789abcdefghij", std::string(buffer, 15));
    stream.SetPosition(15);
    EXPECT_TRUE(FailsCheck([&] { stream.ReadExact(buffer, 6); }, L"Stream", L"readSize == size",
                           10145));
    stream.Close();
    EXPECT_EQ(original, block);

    // New data starts at its beginning.
    stream.SetData(block.data() + 10, 5);
    EXPECT_EQ(0u, stream.GetPosition());
    EXPECT_EQ(5u, stream.GetSize());
}

}  // namespace
