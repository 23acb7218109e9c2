// The file stream on real files and the memory stream: reads and positions, open failures,
// the checks of a closed stream, and the sharing a file stream grants.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "EngineFailure.h"
#include "TestSupport.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"
#include "streams/FileStream.h"
#include "base/MemoryStream.h"

namespace {

using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::GetWin32ErrorTextEnglish;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::Stream;
using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::GetWin32ErrorTextLocalized;
using OstrelInstallEngine::Win32Exception;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;

const wchar_t kOpenedCheck[] = L"m_fileHandle != INVALID_HANDLE_VALUE";

// The error of an open that asks for the file exclusively; 0 when it succeeds.
DWORD ExclusiveWriteOpenError(const std::wstring& path)
{
    const UniqueFileHandle probe(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return probe.IsValid() ? 0 : GetLastError();
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

// File and memory streams read alike: remainder then 0, positions up to the size, beyond it
// refused (10331, 55), exact reads beyond the end 10145; empty ones are at their end.
TEST_F(FileStreamTest, FileAndMemoryStreamsReadAlike)
{
    std::string data;
    for (size_t i = 0; i < 100000; ++i) {
        data += static_cast<char>((i * 13 + 7) % 256);
    }
    for (const std::string& content : {data, std::string()}) {
        FileStream file;
        file.Open(MakeFile(L"data.bin", content));
        MemoryStream memory;
        memory.SetData(content.data(), static_cast<uint32_t>(content.size()));
        const struct {
            Stream& stream;
            const wchar_t* file;
            const wchar_t* condition;
            int code;
        } streams[] = {{file, L"FileStream", L"pos <= m_streamSize", 10331},
                       {memory, L"MemoryStream", L"pos <= m_size", 55}};
        for (const auto& s : streams) {
            const uint32_t size = static_cast<uint32_t>(content.size());
            std::string buffer(70000, 'x');
            EXPECT_EQ(size, s.stream.GetSize());
            EXPECT_EQ(content.empty(), s.stream.AtEof());
            const uint32_t first = std::min<uint32_t>(size, 70000);
            ASSERT_EQ(first, s.stream.Read(&buffer[0], 70000));
            EXPECT_EQ(content.substr(0, first), buffer.substr(0, first));
            EXPECT_EQ(first, s.stream.GetPosition());
            ASSERT_EQ(size - first, s.stream.Read(&buffer[0], 70000));
            EXPECT_EQ(content.substr(first), buffer.substr(0, size - first));
            EXPECT_TRUE(s.stream.AtEof());
            EXPECT_EQ(0u, s.stream.Read(&buffer[0], 10));
            for (uint32_t beyond : {size + 1, 0xFFFFFFFFu}) {
                EXPECT_TRUE(FailsCheck([&] { s.stream.SetPosition(beyond); }, s.file,
                                       s.condition, s.code));
            }
            EXPECT_EQ(size, s.stream.GetPosition());
            s.stream.SetPosition(size / 2);
            EXPECT_EQ(size == 0, s.stream.AtEof());
            s.stream.ReadExact(&buffer[0], size / 2);
            EXPECT_EQ(content.substr(size / 2, size / 2), buffer.substr(0, size / 2));
            s.stream.SetPosition(size - size / 2);
            EXPECT_TRUE(FailsCheck([&] { s.stream.ReadExact(&buffer[0], size / 2 + 1); },
                                   L"Stream", L"readSize == size", 10145));
        }
    }
}

// A missing file, folder (3) or a folder (5) fail to open with the path in every text; the
// stream stays closed, opens another file afterwards, and is opened once (10326).
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
// destruction release it.
TEST_F(FileStreamTest, SharingAndRelease)
{
    const std::wstring path = MakeFile(L"data.bin", "abc");
    {
        FileStream stream;
        stream.Open(path);
        EXPECT_TRUE(UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, 0, nullptr)).IsValid());
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveWriteOpenError(path));
        stream.Close();
        EXPECT_EQ(0u, ExclusiveWriteOpenError(path));
        stream.Open(path);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveWriteOpenError(path));
    }
    EXPECT_EQ(0u, ExclusiveWriteOpenError(path));
}

}  // namespace
