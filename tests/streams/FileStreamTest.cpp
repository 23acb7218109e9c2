// The file stream on real files: reads and positions, an empty file, the
// open failure, the checks of a closed stream, and the sharing it grants.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineFailure.h"
#include "streams/FileStream.h"
#include "TestSupport.h"
#include "base/Util.h"

namespace {

using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::Win32Exception;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;

const wchar_t kOpenCheck[] = L"m_fileHandle == INVALID_HANDLE_VALUE";
const wchar_t kOpenedCheck[] = L"m_fileHandle != INVALID_HANDLE_VALUE";

std::string Pattern(size_t size)
{
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>((i * 13 + 7) % 256);
    }
    return bytes;
}

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

// Reads go through the file; the last one returns the remainder, then 0.
TEST_F(FileStreamTest, Reads)
{
    const std::string data = Pattern(100000);
    FileStream stream;
    stream.Open(MakeFile(L"data.bin", data));
    EXPECT_EQ(100000u, stream.GetSize());
    EXPECT_EQ(0u, stream.GetPosition());
    EXPECT_FALSE(stream.AtEof());
    std::string buffer(70000, '\0');
    ASSERT_EQ(70000u, stream.Read(&buffer[0], 70000));
    EXPECT_EQ(data.substr(0, 70000), buffer);
    EXPECT_EQ(70000u, stream.GetPosition());
    ASSERT_EQ(30000u, stream.Read(&buffer[0], 70000));
    EXPECT_EQ(data.substr(70000), buffer.substr(0, 30000));
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(&buffer[0], 10));
    EXPECT_EQ(100000u, stream.GetPosition());
}

// Positions move the file pointer; the end is accepted, beyond it is 10331.
TEST_F(FileStreamTest, Positions)
{
    const std::string data = Pattern(1000);
    FileStream stream;
    stream.Open(MakeFile(L"data.bin", data));
    char buffer[16] = {};
    stream.SetPosition(990);
    ASSERT_EQ(10u, stream.Read(buffer, 16));
    EXPECT_EQ(data.substr(990), std::string(buffer, 10));
    stream.SetPosition(3);
    ASSERT_EQ(4u, stream.Read(buffer, 4));
    EXPECT_EQ(data.substr(3, 4), std::string(buffer, 4));
    stream.SetPosition(1000);
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(0u, stream.Read(buffer, 16));
    EXPECT_TRUE(FailsCheck([&] { stream.SetPosition(1001); }, L"FileStream",
                           L"pos <= m_streamSize", 10331));
    EXPECT_EQ(1000u, stream.GetPosition());
}

// An exact read beyond the end is 10145 from the base.
TEST_F(FileStreamTest, ReadExact)
{
    FileStream stream;
    stream.Open(MakeFile(L"data.bin", "abcdef"));
    char buffer[8] = {};
    stream.ReadExact(buffer, 4);
    EXPECT_EQ("abcd", std::string(buffer, 4));
    EXPECT_TRUE(
        FailsCheck([&] { stream.ReadExact(buffer, 4); }, L"Stream", L"readSize == size", 10145));
}

// An empty file opens at its end and accepts position 0 only.
TEST_F(FileStreamTest, EmptyFile)
{
    FileStream stream;
    stream.Open(MakeFile(L"empty.bin", ""));
    EXPECT_EQ(0u, stream.GetSize());
    EXPECT_TRUE(stream.AtEof());
    char buffer[4] = {};
    EXPECT_EQ(0u, stream.Read(buffer, 4));
    stream.SetPosition(0);
    EXPECT_TRUE(
        FailsCheck([&] { stream.SetPosition(1); }, L"FileStream", L"pos <= m_streamSize", 10331));
}

// A file written by a Linux tool reads back as the same bytes.
TEST_F(FileStreamTest, ReadsFixture)
{
    const std::wstring path = OstrelTest::FixturePath("strings/layer1.ucs");
    const std::string expected = OstrelTest::ReadFileBytes(path);
    FileStream stream;
    stream.Open(path);
    std::string bytes(stream.GetSize(), '\0');
    stream.ReadExact(&bytes[0], stream.GetSize());
    EXPECT_EQ(expected, bytes);
}

// A missing file is the open failure with the path in both localized texts;
// the stream stays closed and opens another file afterwards.
TEST_F(FileStreamTest, MissingFile)
{
    const std::wstring missing = m_folder.File(L"missing.bin");
    FileStream stream;
    auto failure = CatchEngineFailure([&] { stream.Open(missing); });
    ASSERT_NE(nullptr, failure);
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(L"10008:00000002", failure->GetErrorCode());
    EXPECT_EQ(L"Error opening file \"" + missing + L"\" (CreateFile returned 00000002: " +
                  GetWin32ErrorTextEnglish(ERROR_FILE_NOT_FOUND) + L")",
              failure->GetEnglishMessage());
    EXPECT_EQ(L"Unable to open file \"" + missing + L"\"", failure->GetLocalizedSummary());
    EXPECT_NE(std::wstring::npos, failure->GetLocalizedMessage().find(L"\"" + missing + L"\""));

    EXPECT_TRUE(FailsCheck([&] { stream.GetSize(); }, L"FileStream", kOpenedCheck, 10328));
    stream.Open(MakeFile(L"present.bin", "xyz"));
    EXPECT_EQ(3u, stream.GetSize());

    FileStream inMissingFolder;
    auto pathFailure =
        CatchEngineFailure([&] { inMissingFolder.Open(m_folder.File(L"no\\such.bin")); });
    ASSERT_NE(nullptr, pathFailure);
    EXPECT_EQ(L"10008:00000003", pathFailure->GetErrorCode());
}

// A folder is not a file: the system refuses it (error 5) and the stream stays closed.
TEST_F(FileStreamTest, FolderRefused)
{
    FileStream stream;
    auto failure = CatchEngineFailure([&] { stream.Open(m_folder.Path()); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10008:00000005", failure->GetErrorCode());
    EXPECT_EQ(L"Unable to open file \"" + m_folder.Path() + L"\"", failure->GetLocalizedSummary());
    EXPECT_TRUE(FailsCheck([&] { stream.AtEof(); }, L"FileStream", kOpenedCheck, 10327));
}

// A stream is opened once (10326).
TEST_F(FileStreamTest, OpenTwice)
{
    const std::wstring path = MakeFile(L"data.bin", "abc");
    FileStream stream;
    stream.Open(path);
    EXPECT_TRUE(FailsCheck([&] { stream.Open(path); }, L"FileStream", kOpenCheck, 10326));
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
// destruction both release it.
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
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
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

}  // namespace
