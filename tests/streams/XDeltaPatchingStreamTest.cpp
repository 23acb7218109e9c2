// XDeltaPatchingStream applies deltas written by Debian's xdelta3 CLI (LZMA,
// DJW and no secondary compression, with and without a source) exactly,
// streaming the source in blocks, and reports bad patches and bad sources as
// the engine's patch failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "streams/FileStream.h"
#include "base/Localizer.h"
#include "streams/MemoryStream.h"
#include "EngineFailure.h"
#include "TestSupport.h"
#include "streams/XDeltaPatchingStream.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::GenericException;
using OstrelInstallEngine::Localizer;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::SanityCheckException;
using OstrelInstallEngine::Stream;
using OstrelInstallEngine::Win32Exception;
using OstrelInstallEngine::XDeltaPatchingStream;
using OstrelTest::FixturePath;
using OstrelTest::ReadFileBytes;

const wchar_t kFileName[] = L"C:\\Game\\data.pak";

// A memory stream that records how it is used and can be told to fail.
class ProbeStream : public MemoryStream {
public:
    explicit ProbeStream(std::string data) : m_data(std::move(data))
    {
        SetData(m_data.data(), static_cast<uint32_t>(m_data.size()));
    }

    uint32_t Read(void* buffer, uint32_t size) override
    {
        if (m_failReads) {
            throw Win32Exception(L"localized", L"summary", L"Error reading file \"probe\"", 10006,
                                 L"ReadFile", ERROR_READ_FAULT);
        }
        largestRequest = std::max(largestRequest, size);
        ++reads;
        return MemoryStream::Read(buffer, size);
    }
    void SetPosition(uint32_t pos) override
    {
        ++seeks;
        MemoryStream::SetPosition(pos);
    }
    void FailReads() { m_failReads = true; }

    uint32_t largestRequest = 0;
    int reads = 0;
    int seeks = 0;

private:
    std::string m_data;
    bool m_failReads = false;
};

std::string ReadToEnd(XDeltaPatchingStream& stream, uint32_t chunkSize)
{
    std::string out;
    std::string chunk(chunkSize, '\0');
    do {
        const uint32_t count = stream.Read(&chunk[0], chunkSize);
        out.append(chunk, 0, count);
    } while (!stream.AtEof());
    return out;
}

std::string Patch(const std::string& source, const std::string& patch, uint32_t chunkSize)
{
    ProbeStream sourceStream(source);
    ProbeStream patchStream(patch);
    XDeltaPatchingStream stream;
    stream.Open(&sourceStream, kFileName, &patchStream);
    const std::string out = ReadToEnd(stream, chunkSize);
    stream.Close();
    return out;
}

class XDeltaPatchingStreamTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_source = ReadFileBytes(FixturePath("delta/big-source.bin"));
        m_target = ReadFileBytes(FixturePath("delta/big-target.bin"));
        ASSERT_GT(m_target.size(), 10u * 40960u);
    }

    std::string m_source;
    std::string m_target;
};

// A failed internal check of XDeltaPatchingStream with its condition and code.
#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"XDeltaPatchingStream", statement, L"" condition, code)

// The patch failure of the engine, naming the file.
void ExpectPatchFailure(const Exception& error, const std::wstring& englishStart)
{
    EXPECT_NE(nullptr, dynamic_cast<const GenericException*>(&error));
    EXPECT_EQ(L"10104", error.GetErrorCode());
    const std::wstring message = error.GetEnglishMessage();
    EXPECT_EQ(0u, message.find(englishStart)) << message;
    const std::wstring tail = L" while patching \"C:\\Game\\data.pak\"";
    EXPECT_EQ(tail, message.substr(message.size() - std::min(message.size(), tail.size())));
    EXPECT_EQ(L"Bad patch or original file \"C:\\Game\\data.pak\"", error.GetLocalizedSummary());
    EXPECT_EQ(Localizer::Text(1000010046, std::wstring(kFileName)), error.GetLocalizedMessage());
}

// Every delta the CLI makes from the big source decodes to exactly the
// target, which is many times the size of one source block.
TEST_F(XDeltaPatchingStreamTest, CliDeltasDecodeToTheTarget)
{
    for (const char* name : {"big-default", "big-9", "big-djw", "big-none", "big-nosource"}) {
        SCOPED_TRACE(name);
        const std::string patch = ReadFileBytes(FixturePath(std::string("delta/") + name + ".vcdiff"));
        EXPECT_TRUE(Patch(m_source, patch, 65536) == m_target);
    }
}

// The small text delta decodes as well.
TEST_F(XDeltaPatchingStreamTest, SmallTextDeltaDecodes)
{
    EXPECT_EQ(ReadFileBytes(FixturePath("delta/small-target.txt")),
              Patch(ReadFileBytes(FixturePath("delta/small-source.txt")),
                    ReadFileBytes(FixturePath("delta/small-default.vcdiff")), 4096));
}

// One byte at a time gives the same bytes as large reads.
TEST_F(XDeltaPatchingStreamTest, ByteByByteGivesTheSameBytes)
{
    const std::string patch = ReadFileBytes(FixturePath("delta/big-default.vcdiff"));
    EXPECT_TRUE(Patch(m_source, patch, 1) == m_target);
}

// The source is fetched block by block where the delta copies from it and the
// patch in bounded pieces, with the files on disk as the streams.
TEST_F(XDeltaPatchingStreamTest, StreamsSourceAndPatchInBlocks)
{
    FileStream sourceFile;
    sourceFile.Open(FixturePath("delta/big-source.bin"));
    ProbeStream source(m_source);
    ProbeStream patch(ReadFileBytes(FixturePath("delta/big-default.vcdiff")));
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &patch);
    EXPECT_TRUE(ReadToEnd(stream, 40960) == m_target);
    EXPECT_EQ(m_target.size(), stream.GetPosition());
    EXPECT_GT(source.seeks, 5);
    EXPECT_EQ(XDeltaPatchingStream::kSourceBlockSize, source.largestRequest);
    EXPECT_LE(patch.largestRequest, XDeltaPatchingStream::kPatchBufferSize);

    XDeltaPatchingStream fromFiles;
    FileStream patchFile;
    patchFile.Open(FixturePath("delta/big-9.vcdiff"));
    fromFiles.Open(&sourceFile, kFileName, &patchFile);
    EXPECT_TRUE(ReadToEnd(fromFiles, 100000) == m_target);
}

// An empty target decodes to nothing; an empty patch stream gives a first
// Read of 0 bytes and the end.
TEST_F(XDeltaPatchingStreamTest, EmptyTargetAndEmptyPatch)
{
    EXPECT_EQ("", Patch(m_source, ReadFileBytes(FixturePath("delta/empty-target.vcdiff")), 100));

    ProbeStream source(m_source);
    MemoryStream emptyPatch;
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &emptyPatch);
    EXPECT_FALSE(stream.AtEof());
    char buffer[16];
    EXPECT_EQ(0u, stream.Read(buffer, sizeof(buffer)));
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.GetPosition());
}

// A delta applied to a source other than its own fails the window checksum;
// a short source and bytes that are no delta fail too. Each is the patch
// failure naming the file.
TEST_F(XDeltaPatchingStreamTest, WrongSourceFailsNamingTheFile)
{
    const std::string patch = ReadFileBytes(FixturePath("delta/big-default.vcdiff"));
    try {
        Patch(ReadFileBytes(FixturePath("delta/big-source-altered.bin")), patch, 65536);
        ADD_FAILURE() << "the altered source was accepted";
    } catch (const Exception& error) {
        ExpectPatchFailure(error, L"XDelta returned unexpected code (-17712: target window "
                                  L"checksum mismatch) while patching ");
    }
}

TEST_F(XDeltaPatchingStreamTest, ShortSourceAndGarbageFail)
{
    const std::string patch = ReadFileBytes(FixturePath("delta/big-default.vcdiff"));
    try {
        Patch(m_source.substr(0, 100000), patch, 65536);
        ADD_FAILURE() << "the short source was accepted";
    } catch (const Exception& error) {
        ExpectPatchFailure(error, L"XDelta returned unexpected code (-177");
    }
    try {
        Patch(m_source, std::string(5000, 'x'), 65536);
        ADD_FAILURE() << "a patch of garbage was accepted";
    } catch (const Exception& error) {
        ExpectPatchFailure(error, L"XDelta returned unexpected code (-17712: ");
    }
}

// A patch cut short, inside its header or inside a window, fails instead of
// ending quietly with part of the target.
TEST_F(XDeltaPatchingStreamTest, TruncatedPatchFails)
{
    const std::string patch = ReadFileBytes(FixturePath("delta/big-none.vcdiff"));
    for (size_t length : {size_t(3), patch.size() / 2, patch.size() - 1}) {
        try {
            Patch(m_source, patch.substr(0, length), 65536);
            ADD_FAILURE() << "a patch cut to " << length << " bytes was accepted";
        } catch (const Exception& error) {
            ExpectPatchFailure(error, L"XDelta returned unexpected code (-17712: ");
        }
    }
}

// A source that fails inside the block callback surfaces as the decoder's
// internal error, its own exception dropped; a failing patch stream passes
// its exception through unchanged.
TEST_F(XDeltaPatchingStreamTest, SourceFailureInsideTheCallback)
{
    ProbeStream source(m_source);
    source.FailReads();
    ProbeStream patch(ReadFileBytes(FixturePath("delta/big-default.vcdiff")));
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &patch);
    char buffer[4096];
    try {
        stream.Read(buffer, sizeof(buffer));
        ADD_FAILURE() << "the failing source was not noticed";
    } catch (const Exception& error) {
        ExpectPatchFailure(error, L"XDelta returned unexpected code (-17710: ");
    }
}

TEST_F(XDeltaPatchingStreamTest, PatchFailurePassesThrough)
{
    ProbeStream source(m_source);
    ProbeStream patch(ReadFileBytes(FixturePath("delta/big-default.vcdiff")));
    patch.FailReads();
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &patch);
    char buffer[4096];
    try {
        stream.Read(buffer, sizeof(buffer));
        ADD_FAILURE() << "the failing patch was not noticed";
    } catch (const Win32Exception& error) {
        EXPECT_EQ(L"10006:0000001e", error.GetErrorCode());
    }
}

// Closing before the end is no error, and the stream opens again and decodes
// from the start.
TEST_F(XDeltaPatchingStreamTest, CloseBeforeTheEndAndReopen)
{
    ProbeStream source(m_source);
    ProbeStream patch(ReadFileBytes(FixturePath("delta/big-djw.vcdiff")));
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &patch);
    std::string head(1000, '\0');
    stream.ReadExact(&head[0], 1000);
    EXPECT_TRUE(head == m_target.substr(0, 1000));
    stream.Close();

    patch.SetPosition(0);
    stream.Open(&source, kFileName, &patch);
    EXPECT_EQ(0u, stream.GetPosition());
    EXPECT_TRUE(ReadToEnd(stream, 7777) == m_target);

    XDeltaPatchingStream abandoned;
    patch.SetPosition(0);
    abandoned.Open(&source, kFileName, &patch);
    abandoned.ReadExact(&head[0], 10);
}

// Size and seeking are refused even before the first read; misuse of a
// closed or open stream fails its checks.
TEST_F(XDeltaPatchingStreamTest, UnsupportedOperationsAndMisuse)
{
    ProbeStream source(m_source);
    ProbeStream patch(ReadFileBytes(FixturePath("delta/big-default.vcdiff")));
    XDeltaPatchingStream stream;
    char byte = 0;
    EXPECT_CHECK_FAILURE(stream.Read(&byte, 1), "m_open", L"10100");
    EXPECT_CHECK_FAILURE(stream.AtEof(), "m_open", L"10099");
    EXPECT_CHECK_FAILURE(stream.GetPosition(), "m_open", L"10097");
    EXPECT_CHECK_FAILURE(stream.Close(), "m_open", L"10101");
    EXPECT_CHECK_FAILURE(stream.Open(nullptr, kFileName, &patch), "source != 0", L"10103");
    EXPECT_CHECK_FAILURE(stream.Open(&source, kFileName, nullptr), "patch != 0", L"10269");

    stream.Open(&source, kFileName, &patch);
    EXPECT_CHECK_FAILURE(stream.GetSize(), "false", L"10098");
    EXPECT_CHECK_FAILURE(stream.SetPosition(0), "false", L"10096");
    EXPECT_CHECK_FAILURE(stream.Open(&source, kFileName, &patch), "!m_open", L"10102");
    EXPECT_TRUE(ReadToEnd(stream, 50000) == m_target);
}

}  // namespace
