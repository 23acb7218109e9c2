// The text reader: both encodings, the CR LF convention and its edge cases,
// every check it makes, and the same lines whatever the refill size.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "streams/FileStream.h"
#include "streams/MemoryStream.h"
#include "TestSupport.h"
#include "streams/TextStream.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::Stream;
using OstrelInstallEngine::TextStream;
using OstrelTest::CatchEngineFailure;
using OstrelTest::IsCheckFailure;

const uint32_t kFullBuffer = TextStream::BUFFER_MAX_SIZE;
const uint32_t kBufferSizes[] = {1, 2, 3, 7, 4096, kFullBuffer - 1, kFullBuffer};

const std::string kMark = "\xFF\xFE";

// UTF-16LE bytes of a wide text (characters below U+10000).
std::string Utf16(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// A memory stream over its own copy of the bytes, so that a reader may
// outlive the text it was made from.
class BytesStream : public MemoryStream {
public:
    explicit BytesStream(std::string bytes) : m_bytes(std::move(bytes))
    {
        SetData(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()));
    }

private:
    std::string m_bytes;
};

std::unique_ptr<TextStream> Reader(const std::string& bytes, uint32_t bufferMax = kFullBuffer)
{
    return std::make_unique<TextStream>(std::make_unique<BytesStream>(bytes), bufferMax);
}

std::vector<std::wstring> ReadLines(TextStream& reader)
{
    std::vector<std::wstring> lines;
    while (!reader.AtEof()) {
        lines.push_back(reader.ReadLine());
    }
    return lines;
}

std::vector<std::wstring> ReadLines(const std::string& bytes, uint32_t bufferMax = kFullBuffer)
{
    return ReadLines(*Reader(bytes, bufferMax));
}

// The engine exception of building a reader and reading all its lines.
std::unique_ptr<Exception> FailureOfReading(const std::string& bytes,
                                            uint32_t bufferMax = kFullBuffer)
{
    return CatchEngineFailure([&] { ReadLines(bytes, bufferMax); });
}

// The engine exception of building a reader only.
std::unique_ptr<Exception> FailureOfBuilding(const std::string& bytes,
                                             uint32_t bufferMax = kFullBuffer)
{
    return CatchEngineFailure([&] { Reader(bytes, bufferMax); });
}

using Lines = std::vector<std::wstring>;

// A stream that breaks its contract: it returns at most one byte per read.
class TricklingStream : public Stream {
public:
    explicit TricklingStream(std::string bytes) : m_bytes(std::move(bytes)) {}

    uint32_t Read(void* buffer, uint32_t size) override
    {
        const uint32_t count = std::min<uint32_t>(std::min<uint32_t>(size, 1), Remaining());
        std::copy_n(m_bytes.data() + m_position, count, static_cast<char*>(buffer));
        m_position += count;
        return count;
    }
    bool AtEof() override { return m_position >= m_bytes.size(); }
    uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes.size()); }
    uint32_t GetPosition() override { return m_position; }
    void SetPosition(uint32_t pos) override { m_position = pos; }

private:
    uint32_t Remaining() const { return static_cast<uint32_t>(m_bytes.size()) - m_position; }

    std::string m_bytes;
    uint32_t m_position = 0;
};

// A UTF-16LE text after its mark: a TAB b, CR LF, c gives two lines and the end.
TEST(TextStreamTest, Utf16WithMark)
{
    const std::string bytes = kMark + Utf16(L"a\tb\r\nc");
    for (uint32_t bufferMax : kBufferSizes) {
        auto reader = Reader(bytes, bufferMax);
        ASSERT_FALSE(reader->AtEof());
        EXPECT_EQ(L"a\tb", reader->ReadLine()) << bufferMax;
        EXPECT_EQ(L"c", reader->ReadLine()) << bufferMax;
        EXPECT_TRUE(reader->AtEof()) << bufferMax;
    }
    EXPECT_EQ(Lines({L"caf\u00e9 \u20ac\u4e2d", L""}),
              ReadLines(kMark + Utf16(L"caf\u00e9 \u20ac\u4e2d\r\n\r\n")));
}

// Without the mark the same bytes are single-byte text: the zero bytes are
// characters, and the CR is followed by U+0000 instead of LF.
TEST(TextStreamTest, Utf16WithoutMarkIsSingleByte)
{
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding(Utf16(L"a\tb\r\nc")).get(), L"TextStream",
                               L"nextWChar == L'\\n'", L"10066"));
    EXPECT_EQ(Lines({std::wstring(L"a\0\t\0b\0", 6)}), ReadLines(Utf16(L"a\tb")));
}

// Single-byte text: each byte is its character (0x80-0xFF become U+0080-U+00FF).
TEST(TextStreamTest, SingleByteText)
{
    EXPECT_EQ(Lines({L"caf\u00e9", L"\u0080\u00ff"}), ReadLines("caf\xe9\r\n\x80\xff"));
    EXPECT_EQ(Lines({L"abc"}), ReadLines("abc"));
    EXPECT_EQ(Lines({L"\u00ff"}), ReadLines("\xff"));
    EXPECT_EQ(Lines({L"\u00ef\u00bb"}), ReadLines("\xef\xbb"));
    EXPECT_EQ(Lines({std::wstring(L"a\0\tb", 4)}), ReadLines(std::string("a\0\tb", 4)));
}

// Line ends: a final CR LF adds no empty line, two in a row make one, a CR
// as the very last character ends the last line.
TEST(TextStreamTest, LineEnds)
{
    for (uint32_t bufferMax : kBufferSizes) {
        EXPECT_EQ(Lines({L"a", L"b"}), ReadLines("a\r\nb\r\n", bufferMax));
        EXPECT_EQ(Lines({L"a", L"", L"b"}), ReadLines("a\r\n\r\nb", bufferMax));
        EXPECT_EQ(Lines({L"a", L"b"}), ReadLines("a\r\nb\r", bufferMax));
        EXPECT_EQ(Lines({L""}), ReadLines("\r\n", bufferMax));
        EXPECT_EQ(Lines({L"a", L"b"}), ReadLines(kMark + Utf16(L"a\r\nb\r\n"), bufferMax));
        EXPECT_EQ(Lines({L"a", L"b"}), ReadLines(kMark + Utf16(L"a\r\nb\r"), bufferMax));
        EXPECT_EQ(Lines({L""}), ReadLines(kMark + Utf16(L"\r\n"), bufferMax));
    }
}

// A lone LF is 10067 and a lone CR 10066, in the first line (while the reader
// is built) and in a later one.
TEST(TextStreamTest, LoneLineBreaks)
{
    const std::wstring lineFeed = L"nextWChar != L'\\n'";
    const std::wstring afterReturn = L"nextWChar == L'\\n'";
    for (uint32_t bufferMax : kBufferSizes) {
        EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("a\nb", bufferMax).get(), L"TextStream",
                                   lineFeed, L"10067"));
        EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("a\rb\r\n", bufferMax).get(), L"TextStream",
                                   afterReturn, L"10066"));
        EXPECT_TRUE(IsCheckFailure(FailureOfBuilding(kMark + Utf16(L"\n"), bufferMax).get(),
                                   L"TextStream", lineFeed, L"10067"));

        auto reader = Reader("a\r\nb\nc", bufferMax);
        EXPECT_EQ(L"a", reader->ReadLine());
        EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([&] { reader->ReadLine(); }).get(),
                                   L"TextStream", lineFeed, L"10067"));
        EXPECT_TRUE(IsCheckFailure(FailureOfReading(kMark + Utf16(L"a\r\nb\rc"), bufferMax).get(),
                                   L"TextStream", afterReturn, L"10066"));
    }
}

// Empty data fails while the reader is built (10068), and so does a mark with
// nothing after it (10070).
TEST(TextStreamTest, NothingToRead)
{
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("").get(), L"TextStream", L"!AtEof()", L"10068"));
    EXPECT_TRUE(
        IsCheckFailure(FailureOfBuilding(kMark).get(), L"TextStream", L"!AtEof()", L"10070"));
    EXPECT_TRUE(
        IsCheckFailure(FailureOfBuilding(kMark, 1).get(), L"TextStream", L"!AtEof()", L"10070"));
}

// Reading past the end is a failed check, not an empty line.
TEST(TextStreamTest, ReadLineAtEnd)
{
    auto single = Reader("a");
    EXPECT_EQ(L"a", single->ReadLine());
    ASSERT_TRUE(single->AtEof());
    EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([&] { single->ReadLine(); }).get(),
                               L"TextStream", L"!AtEof()", L"10068"));

    auto wide = Reader(kMark + Utf16(L"a"));
    EXPECT_EQ(L"a", wide->ReadLine());
    ASSERT_TRUE(wide->AtEof());
    EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([&] { wide->ReadLine(); }).get(), L"TextStream",
                               L"!AtEof()", L"10070"));
}

// The UTF-8 mark (10064) and the UTF-16 big-endian mark (10063) are refused.
TEST(TextStreamTest, RefusedMarks)
{
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("\xEF\xBB\xBFtext").get(), L"TextStream",
                               L"false", L"10064"));
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding(std::string("\xFE\xFF\0t", 4)).get(),
                               L"TextStream", L"false", L"10063"));
    EXPECT_TRUE(
        IsCheckFailure(FailureOfBuilding("\xFE\xFF").get(), L"TextStream", L"false", L"10063"));
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("\xEF\xBB\xBF", 1).get(), L"TextStream",
                               L"false", L"10064"));
}

// The refill size is 1 to 40960 bytes (10062, 10014).
TEST(TextStreamTest, BufferLimit)
{
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("abc", kFullBuffer + 1).get(), L"TextStream",
                               L"bufferMax <= BUFFER_MAX_SIZE", L"10062"));
    EXPECT_TRUE(IsCheckFailure(FailureOfBuilding("abc", 0).get(), L"TextStream",
                               L"bufferMax > 0", L"10014"));
    EXPECT_EQ(Lines({L"abc"}), ReadLines("abc", kFullBuffer));
}

// An odd number of bytes after the mark fails at the last character (10071).
TEST(TextStreamTest, OddUtf16Length)
{
    for (uint32_t bufferMax : kBufferSizes) {
        EXPECT_TRUE(IsCheckFailure(FailureOfBuilding(kMark + Utf16(L"ab") + "c", bufferMax).get(),
                                   L"TextStream", L"!AtEof()", L"10071"));
        auto reader = Reader(kMark + Utf16(L"a\r\nb") + "c", bufferMax);
        EXPECT_EQ(L"a", reader->ReadLine());
        EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([&] { reader->ReadLine(); }).get(),
                                   L"TextStream", L"!AtEof()", L"10071"));
    }
}

// A stream that returns less than it was asked for fails the refill (10069).
TEST(TextStreamTest, ShortRefill)
{
    auto failure = CatchEngineFailure(
        [] { TextStream reader(std::make_unique<TricklingStream>("ab\r\ncd"), 2); });
    EXPECT_TRUE(IsCheckFailure(failure.get(), L"TextStream", L"bytesToRead == bytesRead",
                               L"10069"));

    TextStream reader(std::make_unique<TricklingStream>("ab\r\ncd"), 1);
    EXPECT_EQ(Lines({L"ab", L"cd"}), ReadLines(reader));
}

// Long lines that cross many refills come out the same for every refill
// size, odd sizes splitting UTF-16 characters between two refills.
TEST(TextStreamTest, SameLinesForEveryBufferSize)
{
    std::wstring longLine;
    for (int i = 0; i < 50000; ++i) {
        longLine += static_cast<wchar_t>(L'a' + i % 26 + (i % 7 == 0 ? 0x100 : 0));
    }
    const Lines wideLines = {longLine, L"", L"x\ty", longLine.substr(0, 40959)};
    std::wstring wideText;
    for (const auto& line : wideLines) {
        wideText += line + L"\r\n";
    }
    std::string narrowLine;
    for (int i = 0; i < 45000; ++i) {
        narrowLine += static_cast<char>(0x20 + i % 200);
    }
    const std::string narrowText = narrowLine + "\r\n" + narrowLine.substr(0, 40960);
    Lines narrowLines = {std::wstring(), std::wstring()};
    for (char c : narrowLine) {
        narrowLines[0] += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    narrowLines[1] = narrowLines[0].substr(0, 40960);

    for (uint32_t bufferMax : kBufferSizes) {
        EXPECT_EQ(wideLines, ReadLines(kMark + Utf16(wideText), bufferMax)) << bufferMax;
        EXPECT_EQ(narrowLines, ReadLines(narrowText, bufferMax)) << bufferMax;
    }
}

// A table that iconv wrote reads the same from a file with any refill size.
TEST(TextStreamTest, IconvTableFromFile)
{
    const Lines expected = {L"// Texts of the localizer tests",
                            L"7001\tFirst text",
                            L"7002\tA\tB",
                            L"",
                            L"  \t  ",
                            L"7003\tCaf\u00e9 cr\u00e8me",
                            L"7004\tUnable to open \"%1FILE_NAME%\"",
                            L"99999999999\tClamped",
                            L"7005\tLast line without its line end"};
    for (const char* name : {"strings/layer1.ucs", "strings/layer1.txt"}) {
        for (uint32_t bufferMax : {1u, 3u, kFullBuffer}) {
            auto file = std::make_unique<FileStream>();
            file->Open(OstrelTest::FixturePath(name));
            TextStream reader(std::move(file), bufferMax);
            EXPECT_EQ(expected, ReadLines(reader)) << name << " " << bufferMax;
        }
    }
}

}  // namespace
