// The text reader: both encodings, the CR LF convention and its edge cases,
// every check it makes, and the same lines whatever the refill size (down to
// one byte, which splits every UTF-16 character and line end between refills).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "StreamTestHelpers.h"
#include "base/TextStream.h"

namespace {

using OstrelInstallEngine::Stream;
using OstrelInstallEngine::TextStream;
using OstrelTest::CatchEngineFailure;
using OstrelTest::IsCheckFailure;
using Lines = std::vector<std::wstring>;

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

std::unique_ptr<TextStream> Reader(const std::string& bytes, uint32_t bufferMax = kFullBuffer)
{
    return std::make_unique<TextStream>(std::make_unique<OstrelTest::ProbeStream>(bytes),
                                        bufferMax);
}

Lines ReadLines(TextStream& reader)
{
    Lines lines;
    while (!reader.AtEof()) {
        lines.push_back(reader.ReadLine());
    }
    return lines;
}

Lines ReadLines(const std::string& bytes, uint32_t bufferMax = kFullBuffer)
{
    return ReadLines(*Reader(bytes, bufferMax));
}

// A stream that breaks its contract: it returns at most one byte per read.
class TricklingStream : public OstrelTest::ProbeStream {
public:
    using ProbeStream::ProbeStream;
    uint32_t Read(void* buffer, uint32_t size) override
    {
        return ProbeStream::Read(buffer, std::min<uint32_t>(size, 1));
    }
};

// UTF-16LE after its mark, single-byte text without it (zero bytes included); a final CR LF
// adds no line, two make an empty one, a CR as the very last character ends the last line.
TEST(TextStreamTest, DecodedLines)
{
    const struct {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {kMark + Utf16(L"a\tb\r\nc"), {L"a\tb", L"c"}},
        {kMark + Utf16(L"caf\u00e9 \u20ac\u4e2d\r\n\r\n"), {L"caf\u00e9 \u20ac\u4e2d", L""}},
        {kMark + Utf16(L"a\r\nb\r\n"), {L"a", L"b"}},
        {kMark + Utf16(L"a\r\nb\r"), {L"a", L"b"}},
        {kMark + Utf16(L"\r\n"), {L""}},
        {Utf16(L"a\tb"), {std::wstring(L"a\0\t\0b\0", 6)}},
        {"caf\xe9\r\n\x80\xff", {L"caf\u00e9", L"\u0080\u00ff"}},
        {"\xef\xbb", {L"\u00ef\u00bb"}},
        {std::string("a\0\tb", 4), {std::wstring(L"a\0\tb", 4)}},
        {"a\r\nb\r\n", {L"a", L"b"}},
        {"a\r\n\r\nb", {L"a", L"", L"b"}},
        {"a\r\nb\r", {L"a", L"b"}},
        {"\r\n", {L""}},
    };
    for (const auto& c : cases) {
        for (uint32_t bufferMax : kBufferSizes) {
            EXPECT_EQ(c.lines, ReadLines(c.bytes, bufferMax)) << bufferMax;
        }
    }
}

// Faults fail at build or at their line: lone LF (10067) or CR (10066), nothing more to read
// (10068, 10070), marks (10064, 10063), odd UTF-16 (10071), refill size (10014, 10062).
TEST(TextStreamTest, MalformedText)
{
    const std::wstring lineFeed = L"nextWChar != L'\\n'";
    const std::wstring afterReturn = L"nextWChar == L'\\n'";
    const struct {
        std::string bytes;
        size_t goodLines;
        std::wstring condition;
        const wchar_t* code;
        bool allSizes;
    } cases[] = {
        {"a\nb", 0, lineFeed, L"10067", true},
        {"a\r\nb\nc", 1, lineFeed, L"10067", true},
        {kMark + Utf16(L"\n"), 0, lineFeed, L"10067", true},
        {"a\rb\r\n", 0, afterReturn, L"10066", true},
        {kMark + Utf16(L"a\r\nb\rc"), 1, afterReturn, L"10066", true},
        {Utf16(L"a\tb\r\nc"), 0, afterReturn, L"10066", false},
        {"", 0, L"!AtEof()", L"10068", false},
        {"a", 1, L"!AtEof()", L"10068", true},
        {kMark, 0, L"!AtEof()", L"10070", true},
        {kMark + Utf16(L"a"), 1, L"!AtEof()", L"10070", true},
        {kMark + Utf16(L"ab") + "c", 0, L"!AtEof()", L"10071", true},
        {kMark + Utf16(L"a\r\nb") + "c", 1, L"!AtEof()", L"10071", true},
        {"\xEF\xBB\xBFtext", 0, L"false", L"10064", false},
        {"\xEF\xBB\xBF", 0, L"false", L"10064", true},
        {std::string("\xFE\xFF\0t", 4), 0, L"false", L"10063", false},
        {"\xFE\xFF", 0, L"false", L"10063", false},
    };
    for (const auto& c : cases) {
        for (uint32_t bufferMax : kBufferSizes) {
            if (!c.allSizes && bufferMax != kFullBuffer) {
                continue;
            }
            // Past the good lines, the next line holds the fault.
            auto failure = CatchEngineFailure([&] {
                auto reader = Reader(c.bytes, bufferMax);
                for (size_t i = 0; i < c.goodLines + (c.goodLines > 0 ? 1 : 0); ++i) {
                    reader->ReadLine();
                }
            });
            EXPECT_TRUE(IsCheckFailure(failure.get(), L"TextStream", c.condition, c.code))
                << c.code << " " << bufferMax;
        }
    }
    EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([] { Reader("abc", kFullBuffer + 1); }).get(),
                               L"TextStream", L"bufferMax <= BUFFER_MAX_SIZE", L"10062"));
    EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([] { Reader("abc", 0); }).get(), L"TextStream",
                               L"bufferMax > 0", L"10014"));
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

}  // namespace
