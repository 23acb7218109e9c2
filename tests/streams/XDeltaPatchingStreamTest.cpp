// XDeltaPatchingStream applies the xdelta3 CLI's deltas (LZMA, DJW, none; with or without a
// source) exactly, in source blocks, and reports bad patches as the engine's patch failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "EngineFailure.h"
#include "StreamTestHelpers.h"
#include "TestSupport.h"
#include "base/Exceptions.h"
#include "base/Localizer.h"
#include "streams/XDeltaPatchingStream.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::FixturePath;
using OstrelTest::ProbeStream;
using OstrelTest::ReadFileBytes;

const wchar_t kFileName[] = L"C:\\Game\\data.pak";

std::string Delta(const std::string& name)
{
    return ReadFileBytes(FixturePath("delta/" + name));
}

// Reads until the stream says it is at its end: a patch may yield 0 bytes first.
std::string ReadToEnd(XDeltaPatchingStream& stream, uint32_t chunkSize)
{
    std::string out;
    std::string chunk(chunkSize, '\0');
    do {
        out.append(chunk, 0, stream.Read(&chunk[0], chunkSize));
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
        m_source = Delta("big-source.bin");
        m_target = Delta("big-target.bin");
        ASSERT_GT(m_target.size(), 10u * 40960u);
    }

    std::string m_source;
    std::string m_target;
};

#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"XDeltaPatchingStream", statement, L"" condition, code)

// The patch failure of the engine (10104), naming the file.
void ExpectPatchFailure(const std::function<void()>& action, const std::wstring& englishStart)
{
    const auto error = OstrelTest::CatchEngineFailure(action);
    ASSERT_NE(nullptr, dynamic_cast<const GenericException*>(error.get())) << "the patch was accepted";
    EXPECT_EQ(L"10104", error->GetErrorCode());
    const std::wstring message = error->GetEnglishMessage();
    EXPECT_EQ(0u, message.find(englishStart)) << message;
    const std::wstring tail = L" while patching \"C:\\Game\\data.pak\"";
    EXPECT_EQ(tail, message.substr(message.size() - std::min(message.size(), tail.size())));
    EXPECT_EQ(L"Bad patch or original file \"C:\\Game\\data.pak\"", error->GetLocalizedSummary());
    EXPECT_EQ(Localizer::Text(1000010046, std::wstring(kFileName)), error->GetLocalizedMessage());
}

// Every delta the CLI makes decodes to exactly the target, which is many
// times one source block, in large reads and byte by byte.
TEST_F(XDeltaPatchingStreamTest, CliDeltasDecodeToTheTarget)
{
    for (const char* name : {"big-default", "big-9", "big-djw", "big-none", "big-nosource"}) {
        EXPECT_TRUE(Patch(m_source, Delta(std::string(name) + ".vcdiff"), 65536) == m_target)
            << name;
    }
    EXPECT_TRUE(Patch(m_source, Delta("big-default.vcdiff"), 1) == m_target);
    EXPECT_EQ(Delta("small-target.txt"),
              Patch(Delta("small-source.txt"), Delta("small-default.vcdiff"), 4096));
    EXPECT_EQ("", Patch(m_source, Delta("empty-target.vcdiff"), 100));
}

// The source is fetched block by block where the delta copies from it and the
// patch in bounded pieces.
TEST_F(XDeltaPatchingStreamTest, StreamsSourceAndPatchInBlocks)
{
    ProbeStream source(m_source);
    ProbeStream patch(Delta("big-default.vcdiff"));
    XDeltaPatchingStream stream;
    stream.Open(&source, kFileName, &patch);
    EXPECT_TRUE(ReadToEnd(stream, 40960) == m_target);
    EXPECT_EQ(m_target.size(), stream.GetPosition());
    EXPECT_GT(source.seeks, 5);
    EXPECT_EQ(XDeltaPatchingStream::kSourceBlockSize, source.largestRequest);
    EXPECT_LE(patch.largestRequest, XDeltaPatchingStream::kPatchBufferSize);
}

// A wrong or short source, bytes that are no delta and a patch cut short fail (never ending
// quietly with part of the target).
TEST_F(XDeltaPatchingStreamTest, BadSourcesAndPatchesFailNamingTheFile)
{
    const std::string patch = Delta("big-default.vcdiff");
    const std::string altered = Delta("big-source-altered.bin");
    ExpectPatchFailure([&] { Patch(altered, patch, 65536); },
                       L"XDelta returned unexpected code (-17712: target window checksum "
                       L"mismatch) while patching ");
    ExpectPatchFailure([&] { Patch(m_source.substr(0, 100000), patch, 65536); },
                       L"XDelta returned unexpected code (-177");
    ExpectPatchFailure([&] { Patch(m_source, std::string(5000, 'x'), 65536); },
                       L"XDelta returned unexpected code (-17712: ");
    const std::string uncompressed = Delta("big-none.vcdiff");
    for (size_t length : {size_t(3), uncompressed.size() / 2, uncompressed.size() - 1}) {
        SCOPED_TRACE(length);
        ExpectPatchFailure([&] { Patch(m_source, uncompressed.substr(0, length), 65536); },
                           L"XDelta returned unexpected code (-17712: ");
    }
}

// A source failing in the block callback is the decoder's internal error; a failing patch
// stream's exception passes through unchanged.
TEST_F(XDeltaPatchingStreamTest, FailingStreams)
{
    char buffer[4096];
    ProbeStream failingSource(m_source);
    failingSource.FailAfter(0, ProbeStream::Failure::Win32, ERROR_READ_FAULT);
    ProbeStream patch(Delta("big-default.vcdiff"));
    XDeltaPatchingStream stream;
    stream.Open(&failingSource, kFileName, &patch);
    ExpectPatchFailure([&] { stream.Read(buffer, sizeof(buffer)); },
                       L"XDelta returned unexpected code (-17710: ");

    ProbeStream source(m_source);
    ProbeStream failingPatch(Delta("big-default.vcdiff"));
    failingPatch.FailAfter(0, ProbeStream::Failure::Win32, ERROR_READ_FAULT);
    XDeltaPatchingStream second;
    second.Open(&source, kFileName, &failingPatch);
    try {
        second.Read(buffer, sizeof(buffer));
        ADD_FAILURE() << "the failing patch was not noticed";
    } catch (const Win32Exception& error) {
        EXPECT_EQ(L"10006:0000001e", error.GetErrorCode());
    }
}

// Size and seeking are refused, misuse fails its checks; closing early is no error, a reopened
// stream decodes from the start, one abandoned half-read cleans up, and an empty patch stream
// gives a first Read of 0 bytes and the end.
TEST_F(XDeltaPatchingStreamTest, LifecycleAndMisuse)
{
    ProbeStream source(m_source);
    ProbeStream patch(Delta("big-djw.vcdiff"));
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

    MemoryStream emptyPatch;
    XDeltaPatchingStream empty;
    empty.Open(&source, kFileName, &emptyPatch);
    EXPECT_FALSE(empty.AtEof());
    EXPECT_EQ(0u, empty.Read(&byte, 1));
    EXPECT_TRUE(empty.AtEof());
    EXPECT_EQ(0u, empty.GetPosition());
}

}  // namespace
