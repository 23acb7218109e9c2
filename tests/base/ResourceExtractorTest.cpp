// The resource extractor on the test program's own resources: the built-in
// table's bytes, a missing resource with the system's error, a second Init.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineFailure.h"
#include "base/ResourceExtractor.h"
#include "streams/Stream.h"
#include "TestSupport.h"
#include "base/Util.h"

namespace {

using OstrelInstallEngine::FormatWide;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::ResourceExtractor;
using OstrelInstallEngine::Stream;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;
using OstrelTest::IsCheckFailure;

std::string ReadAll(Stream& stream)
{
    std::string bytes(stream.GetSize(), '\0');
    stream.ReadExact(&bytes[0], static_cast<uint32_t>(bytes.size()));
    return bytes;
}

// The source table with the CR LF line ends the build gives it.
std::string SourceTableWithCrLf()
{
    const std::string source = OstrelTest::ReadFileBytes(
        OstrelTest::SourcePath("uninstaller/res/OstrelInstallEngine.en.txt"));
    std::string withCrLf;
    for (char c : source) {
        if (c == '\n') {
            withCrLf += '\r';
        }
        withCrLf += c;
    }
    return withCrLf;
}

// RCDATA 103 is the built-in table, byte for byte, read in place, from this
// module whether named or not.
TEST(ResourceExtractorTest, BuiltInTableBytes)
{
    std::unique_ptr<Stream> stream = ResourceExtractor::GetInstance()->GetResource(103);
    EXPECT_EQ(0u, stream->GetPosition());
    const std::string bytes = ReadAll(*stream);
    EXPECT_TRUE(stream->AtEof());
    EXPECT_EQ(SourceTableWithCrLf(), bytes);
    EXPECT_EQ(bytes, ReadAll(*ResourceExtractor::GetInstance()->GetResource(
                         103, GetModuleHandleW(nullptr))));
}

// A missing resource fails with the error FindResourceW left; the module
// given is the one searched (a system library has no RCDATA); the extractor
// exists once (10057).
TEST(ResourceExtractorTest, Failures)
{
    auto failure = CatchEngineFailure(
        [] { ResourceExtractor::GetInstance()->GetResource(L"NO.SUCH.RESOURCE"); });
    const DWORD error = ERROR_RESOURCE_NAME_NOT_FOUND;
    EXPECT_TRUE(IsCheckFailure(failure.get(), L"ResourceExtractor",
                               FormatWide(L"hResource != NULL; HRESULT %08x: %s", error,
                                          GetWin32ErrorTextEnglish(error).c_str()),
                               FormatWide(L"10058:%08x", error)));
    auto byId = CatchEngineFailure([] { ResourceExtractor::GetInstance()->GetResource(9999); });
    ASSERT_NE(nullptr, byId);
    EXPECT_EQ(L"10058:00000716", byId->GetErrorCode());

    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto other =
        CatchEngineFailure([&] { ResourceExtractor::GetInstance()->GetResource(103, kernel); });
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(0u, other->GetErrorCode().find(L"10058:"));
    EXPECT_NE(L"10058:00000000", other->GetErrorCode());

    ResourceExtractor* instance = ResourceExtractor::GetInstance();
    EXPECT_TRUE(FailsCheck([] { ResourceExtractor::Init(); }, L"ResourceExtractor",
                           L"s_instance == NULL", 10057));
    EXPECT_EQ(instance, ResourceExtractor::GetInstance());
}

}  // namespace
