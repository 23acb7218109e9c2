// The file stream on real files: reads and positions, an empty file, the
// open failures, the checks of a closed stream, and the sharing it grants;
// the memory stream over a block it does not own.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineFailure.h"
#include "TestSupport.h"
#include "base/Util.h"
#include "streams/FileStream.h"
#include "streams/MemoryStream.h"

namespace {

using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::GetWin32ErrorTextLocalized;
using OstrelInstallEngine::Win32Exception;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;

const wchar_t kOpenedCheck[] = L"m_fileHandle != INVALID_HANDLE_VALUE";

// The error of an open that asks for the file exclusively; 0 when it succeeds.
DWORD ExclusiveWriteOpenError(const std::wstring& path)
{
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(probe);
    return 0;
}

class FileStreamTest : public ::testing::Test {
protected:
    std::wstring MakeFile(const std::wstring& name, const std::string& bytes)
    {
        const std::wstring path = m_folder.File(name);
        OstrelTest::WriteFileBytes(path, bytes);
        return path;
    }

    OstrelTest::TempFolder m_folder;
};

// Reads go through the file, the last one returns the remainder, then 0;
// positions move the file pointer, the end is accepted, beyond it is 10331;
// an exact read beyond the end is 10145 from the base.
TEST_F(FileStreamTest, ReadsAndPositions)
{
    std::string data;
    for (size_t i = 0; i < 100000; ++i) {
        data += static_cast<char>((i * 13 + 7) % 256);
    }
    FileStream stream;
    stream.Open(MakeFile(L"data.bin", data));
    EXPECT_EQ(100000u, stream.GetSize());
    EXPECT_FALSE(stream.AtEof());
    std::string buffer(70000, '\0');
    ASSERT_EQ(70000u, stream.Read(&buffer[0], 70000));
    EXPECT_EQ(data.substr(0, 70000), buffer);
    EXPECT_EQ(70000u, stream.GetPosition());
    ASSERT_EQ(30000u, stream.Read(&buffer[0], 70000));
    EXPECT_EQ(data.substr(70000), buffer.substr(0, 30000));
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(&buffer[0], 10));

    stream.SetPosition(3);
    ASSERT_EQ(4u, stream.Read(&buffer[0], 4));
    EXPECT_EQ(data.substr(3, 4), buffer.substr(0, 4));
    stream.SetPosition(99990);
    EXPECT_TRUE(FailsCheck([&] { stream.ReadExact(&buffer[0], 11); }, L"Stream",
                           L"readSize == size", 10145));
    stream.SetPosition(100000);
    EXPECT_TRUE(stream.AtEof());
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(100001); }, L"FileStream",
                           L"pos <= m_streamSize", 10331));
    EXPECT_EQ(100000u, stream.GetPosition());
}

// An empty file opens at its end and accepts position 0 only.
TEST_F(FileStreamTest, EmptyFile)
{
    FileStream empty;
    empty.Open(MakeFile(L"empty.bin", ""));
    EXPECT_EQ(0u, empty.GetSize());
    EXPECT_TRUE(empty.AtEof());
    empty.SetPosition(0);
    EXPECT_TRUE(
        FailsCheck([&] { empty.SetPosition(1); }, L"FileStream", L"pos <= m_streamSize", 10331));
}

// closed, opens another file afterwards, and is opened once (10326).
TEST_F(FileStreamTest, OpenFailures)
{
    const std::wstring missing = m_folder.File(L"missing.bin");
    FileStream stream;
    auto failure = CatchEngineFailure([&] { stream.Open(missing); });
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(L"10008:00000002", failure->GetErrorCode());
    EXPECT_EQ(L"Error opening file \"" + missing + L"\" (CreateFile returned 00000002: " +
                  GetWin32ErrorTextEnglish(ERROR_FILE_NOT_FOUND) + L")",
              failure->GetEnglishMessage());
    EXPECT_EQ(L"Unable to open file \"" + missing + L"\"", failure->GetLocalizedSummary());
    EXPECT_EQ(L"An error occurred while opening the file \"" + missing +
                  L"\". The file may not exist or may be inaccessible, or another program may be "
                  L"using the file. If you cannot resolve this problem, please contact Brondel "
                  L"technical support.",
              failure->GetLocalizedMessage());
    EXPECT_EQ(failure->GetLocalizedMessage() +
                  L" (Error code 10008:00000002 (CreateFile returned 00000002: " +
                  GetWin32ErrorTextLocalized(ERROR_FILE_NOT_FOUND) + L"))",
              failure->GetDisplayMessage());
    EXPECT_EQ(L"Unable to open file \"" + missing + L"\" (10008:00000002)",
              failure->GetDisplaySummary());
    EXPECT_EQ(failure->GetEnglishMessage() + L" (10008:00000002)\n", failure->GetReport());

    const std::pair<std::wstring, const wchar_t*> others[] = {
        {m_folder.File(L"no\\such.bin"), L"10008:00000003"}, {m_folder.Path(), L"10008:00000005"}};
    for (const auto& other : others) {
        auto otherFailure = CatchEngineFailure([&] { stream.Open(other.first); });
        ASSERT_NE(nullptr, otherFailure);
        EXPECT_EQ(other.second, otherFailure->GetErrorCode());
        EXPECT_EQ(L"Unable to open file \"" + other.first + L"\"",
                  otherFailure->GetLocalizedSummary());
    }

    EXPECT_TRUE(FailsCheck([&] { stream.GetSize(); }, L"FileStream", kOpenedCheck, 10328));
    const std::wstring present = MakeFile(L"present.bin", "xyz");
    stream.Open(present);
    EXPECT_EQ(3u, stream.GetSize());
    EXPECT_TRUE(FailsCheck([&] { stream.Open(present); }, L"FileStream",
                           L"m_fileHandle == INVALID_HANDLE_VALUE", 10326));
    EXPECT_EQ(3u, stream.GetSize());
}

// Every operation of a closed stream fails its own check, before and after
// an open; Close itself refuses a closed stream.
TEST_F(FileStreamTest, ClosedStream)
{
    char buffer[4];
    for (int opened = 0; opened < 2; ++opened) {
        FileStream stream;
        if (opened) {
            stream.Open(MakeFile(L"data.bin", "abc"));
            stream.Close();
        }
        EXPECT_TRUE(
            FailsCheck([&] { stream.Read(buffer, 4); }, L"FileStream", kOpenedCheck, 10338));
        EXPECT_TRUE(FailsCheck([&] { stream.AtEof(); }, L"FileStream", kOpenedCheck, 10327));
        EXPECT_TRUE(FailsCheck([&] { stream.GetSize(); }, L"FileStream", kOpenedCheck, 10328));
        EXPECT_TRUE(FailsCheck([&] { stream.GetPosition(); }, L"FileStream", kOpenedCheck, 10329));
        EXPECT_TRUE(
            FailsCheck([&] { stream.SetPosition(0); }, L"FileStream", kOpenedCheck, 10330));
        EXPECT_TRUE(FailsCheck([&] { stream.Close(); }, L"FileStream", kOpenedCheck, 10325));
    }
}

// While open, others may read the file but not write it; Close and
// destruction (through the base class too) release it.
TEST_F(FileStreamTest, SharingAndRelease)
{
    const std::wstring path = MakeFile(L"data.bin", "abc");
    {
        FileStream stream;
        stream.Open(path);
        HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, reader);
        CloseHandle(reader);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveWriteOpenError(path));
        stream.Close();
        EXPECT_EQ(0u, ExclusiveWriteOpenError(path));
        stream.Open(path);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveWriteOpenError(path));
    }
    EXPECT_EQ(0u, ExclusiveWriteOpenError(path));

    auto owned = std::make_unique<FileStream>();
    owned->Open(path);
    std::unique_ptr<OstrelInstallEngine::Stream> base = std::move(owned);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveWriteOpenError(path));
    base.reset();
    EXPECT_EQ(0u, ExclusiveWriteOpenError(path));
}

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
