// ZipFile reads archives written by independent tools (Info-ZIP, Python's
// zipfile, CMake's tar) byte-exact, looks entries up the way the engine's
// scripts name them, and turns damaged data, misuse and failing archive
// streams into the engine's exceptions with their codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "streams/FileStream.h"
#include "base/Localizer.h"
#include "streams/MemoryStream.h"
#include "EngineFailure.h"
#include "TestSupport.h"
#include "streams/ZipFile.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::Localizer;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::MiniZipException;
using OstrelInstallEngine::RethrowWrapperException;
using OstrelInstallEngine::SanityCheckException;
using OstrelInstallEngine::Stream;
using OstrelInstallEngine::Win32Exception;
using OstrelInstallEngine::ZipFile;
using OstrelTest::FixturePath;
using OstrelTest::ReadFileBytes;

std::string SourceFile(const std::string& name)
{
    return ReadFileBytes(FixturePath("zip/src/" + name));
}

std::string ReadAll(Stream& stream, uint32_t chunkSize = 4096)
{
    std::string out;
    std::string chunk(chunkSize, '\0');
    for (;;) {
        const uint32_t count = stream.Read(&chunk[0], chunkSize);
        if (count == 0) {
            return out;
        }
        out.append(chunk, 0, count);
    }
}

std::unique_ptr<Stream> FileOf(const std::string& fixture)
{
    auto file = std::make_unique<FileStream>();
    file->Open(FixturePath(fixture));
    return file;
}

// A memory stream over bytes it keeps; it reports its destruction and can be
// told to fail its reads after a number of bytes.
class ArchiveStream : public MemoryStream {
public:
    enum class Failure { None, Win32, StdException };

    ArchiveStream(std::string data, bool* destroyed = nullptr)
        : m_data(std::move(data)), m_destroyed(destroyed)
    {
        SetData(m_data.data(), static_cast<uint32_t>(m_data.size()));
    }
    ~ArchiveStream() override
    {
        if (m_destroyed != nullptr) {
            *m_destroyed = true;
        }
    }

    void FailAfter(uint32_t bytes, Failure failure)
    {
        m_budget = bytes;
        m_failure = failure;
    }

    uint32_t Read(void* buffer, uint32_t size) override
    {
        if (m_failure != Failure::None) {
            if (size > m_budget) {
                if (m_failure == Failure::Win32) {
                    throw Win32Exception(L"localized read failure", L"summary of read failure",
                                         L"Error reading file \"archive.zip\"", 10006,
                                         L"ReadFile", ERROR_CRC);
                }
                throw std::runtime_error("disk on fire");
            }
            m_budget -= size;
        }
        return MemoryStream::Read(buffer, size);
    }

private:
    std::string m_data;
    bool* m_destroyed;
    uint32_t m_budget = 0;
    Failure m_failure = Failure::None;
};

std::unique_ptr<ArchiveStream> MemoryOf(const std::string& fixture, bool* destroyed = nullptr)
{
    return std::make_unique<ArchiveStream>(ReadFileBytes(FixturePath(fixture)), destroyed);
}

// A failed internal check of ZipFile with its condition and code.
#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"ZipFile", statement, L"" condition, code)

// A minizip failure: kind text, archive name, API, result and the site code.
void ExpectZipFailure(const Exception& error, const std::wstring& kind, int kindId,
                      const std::wstring& zipName, const std::wstring& api, int result, int code)
{
    EXPECT_NE(nullptr, dynamic_cast<const MiniZipException*>(&error));
    EXPECT_EQ(kind + L" in \"" + zipName + L"\" while calling \"" + api + L"\" (" + api +
                  L" returned " + std::to_wstring(result) + L")",
              error.GetEnglishMessage());
    EXPECT_EQ(std::to_wstring(code) + L":" + std::to_wstring(result), error.GetErrorCode());
    EXPECT_EQ(L"Unable to expand archive \"" + zipName + L"\"", error.GetLocalizedSummary());
    EXPECT_EQ(Localizer::Text(1000010055, Localizer::Text(kindId), zipName),
              error.GetLocalizedMessage());
}

#define EXPECT_ZIP_FAILURE(statement, kind, kindId, zipName, api, result, code)   \
    try {                                                                         \
        statement;                                                                \
        ADD_FAILURE() << "no exception from " #statement;                         \
    } catch (const Exception& error) {                                            \
        ExpectZipFailure(error, kind, kindId, zipName, api, result, code);        \
    }

const wchar_t kUnexpected[] = L"Minizip unexpected error";
const int kUnexpectedId = 1000010056;

// Each named file entry reads back byte-exact, with its size and its end.
void ExpectEntriesMatchSources(ZipFile& zip, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names) {
        if (name.back() == L'/') {
            continue;
        }
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const std::string expected = SourceFile(std::string(name.begin(), name.end()));
        std::unique_ptr<Stream> entry = zip.OpenFile(name);
        EXPECT_EQ(expected.size(), entry->GetSize());
        EXPECT_EQ(expected.empty(), entry->AtEof());
        EXPECT_TRUE(ReadAll(*entry, 1000) == expected);
        EXPECT_TRUE(entry->AtEof());
        EXPECT_EQ(expected.size(), entry->GetPosition());
        entry->Close();
    }
}

// Archives of three independent writers list their entries in
// central-directory order, folder entries included, and every file entry
// reads back byte-exact.
TEST(ZipFileReadTest, InfoZipArchive)
{
    ZipFile zip;
    zip.Open(L"infozip.zip", FileOf("zip/infozip.zip"));
    const std::vector<std::wstring> names = {L"readme.txt", L"data.bin", L"repeat.txt",
                                             L"empty.txt",  L"scripts/", L"scripts/main.lua"};
    EXPECT_EQ(names, zip.GetFileNames());
    ExpectEntriesMatchSources(zip, names);
}

TEST(ZipFileReadTest, CMakeTarArchive)
{
    ZipFile zip;
    zip.Open(L"cmake.zip", MemoryOf("zip/cmake.zip"));
    const std::vector<std::wstring> names = {L"repeat.txt", L"readme.txt", L"data.bin",
                                             L"scripts/", L"scripts/main.lua"};
    EXPECT_EQ(names, zip.GetFileNames());
    ExpectEntriesMatchSources(zip, names);
}

TEST(ZipFileReadTest, PythonStoredAndDeflatedArchives)
{
    // Names are widened byte by byte: the UTF-8 bytes of "é" become U+FFC3 U+FFA9.
    const std::vector<std::wstring> names = {
        L"readme.txt", L"repeat.txt", L"data.bin", L"empty.txt", L"scripts/main.lua",
        L"caf.txt", L"caf\xFFC3\xFFA9.txt"};
    for (const char* fixture : {"zip/python-stored.zip", "zip/python-deflated.zip"}) {
        SCOPED_TRACE(fixture);
        ZipFile zip;
        zip.Open(L"python.zip", MemoryOf(fixture));
        EXPECT_EQ(names, zip.GetFileNames());
        // The last name cannot be asked for: its non-ASCII characters are dropped.
        ExpectEntriesMatchSources(zip, std::vector<std::wstring>(names.begin(), names.end() - 1));
    }
}

// An archive without entries lists nothing. minizip refuses one whose end
// record stands at offset 0, the bare 22-byte form.
TEST(ZipFileReadTest, EmptyArchiveListsNothing)
{
    ZipFile zip;
    zip.Open(L"empty.zip", MemoryOf("zip/empty-after-stub.zip"));
    EXPECT_TRUE(zip.GetFileNames().empty());
    EXPECT_ZIP_FAILURE(zip.OpenFile(L"anything"), kUnexpected, kUnexpectedId, L"empty.zip",
                       L"unzLocateFile", -100, 10295);
    zip.Close();
    EXPECT_CHECK_FAILURE(zip.Open(L"bare.zip", MemoryOf("zip/empty.zip")), "m_zip != NULL",
                         L"10290");
}

// Lookup: backslashes match slashes and letter case is ignored; characters
// above 127 are dropped before the lookup; a missing entry or a name minizip
// refuses is a MiniZipException of the "unexpected" kind.
class ZipFileLookupTest : public testing::Test {
protected:
    void SetUp() override { m_zip.Open(L"Lookup Archive.zip", MemoryOf("zip/python-deflated.zip")); }

    ZipFile m_zip;
};

TEST_F(ZipFileLookupTest, BackslashAndCaseAreIgnored)
{
    std::unique_ptr<Stream> entry = m_zip.OpenFile(L"Scripts\\Main.lua");
    EXPECT_EQ(SourceFile("scripts/main.lua"), ReadAll(*entry));
}

TEST_F(ZipFileLookupTest, NonAsciiCharacterIsDropped)
{
    std::unique_ptr<Stream> entry = m_zip.OpenFile(L"caf\u00e9.txt");
    EXPECT_EQ(SourceFile("caf.txt"), ReadAll(*entry));
}

TEST_F(ZipFileLookupTest, MissingEntry)
{
    EXPECT_ZIP_FAILURE(m_zip.OpenFile(L"scripts\\missing.lua"), kUnexpected, kUnexpectedId,
                       L"Lookup Archive.zip", L"unzLocateFile", -100, 10295);
    // The archive stays usable.
    std::unique_ptr<Stream> entry = m_zip.OpenFile(L"readme.txt");
    EXPECT_EQ(SourceFile("readme.txt"), ReadAll(*entry));
}

TEST_F(ZipFileLookupTest, NameOfMoreThan255BytesIsRefused)
{
    EXPECT_ZIP_FAILURE(m_zip.OpenFile(std::wstring(256, L'n')), kUnexpected, kUnexpectedId,
                       L"Lookup Archive.zip", L"unzLocateFile", -102, 10295);
}

// One entry at a time: a second one fails while the first is open and opens
// once the first is destroyed; the archive cannot be closed or listed under
// an open entry.
TEST_F(ZipFileLookupTest, OneEntryAtATime)
{
    std::unique_ptr<Stream> first = m_zip.OpenFile(L"readme.txt");
    EXPECT_CHECK_FAILURE(m_zip.OpenFile(L"repeat.txt"), "!zipFile->m_inUse", L"10311");
    EXPECT_CHECK_FAILURE(m_zip.Close(), "!m_inUse", L"10292");
    EXPECT_CHECK_FAILURE(m_zip.GetFileNames(), "!m_inUse", L"10317");
    first.reset();
    std::unique_ptr<Stream> second = m_zip.OpenFile(L"repeat.txt");
    EXPECT_EQ(SourceFile("repeat.txt"), ReadAll(*second));
    second->Close();
    m_zip.Close();
}

// Entries are read forward: SetPosition(0) restarts a half-read entry, the
// current position is a no-op, anything else is refused.
TEST_F(ZipFileLookupTest, PositionsOfAnEntry)
{
    const std::string expected = SourceFile("repeat.txt");
    std::unique_ptr<Stream> entry = m_zip.OpenFile(L"repeat.txt");
    std::string head(5000, '\0');
    entry->ReadExact(&head[0], 5000);
    EXPECT_EQ(5000u, entry->GetPosition());
    entry->SetPosition(5000);
    EXPECT_EQ(5000u, entry->GetPosition());
    EXPECT_CHECK_FAILURE(entry->SetPosition(100), "false", L"10308");
    EXPECT_CHECK_FAILURE(entry->SetPosition(6000), "false", L"10308");
    entry->SetPosition(0);
    EXPECT_EQ(0u, entry->GetPosition());
    EXPECT_TRUE(ReadAll(*entry, 777) == expected);
    entry->SetPosition(0);
    EXPECT_TRUE(ReadAll(*entry) == expected);
}

// An entry stream checks that it is open.
TEST_F(ZipFileLookupTest, ClosedEntryStreamFails)
{
    ZipFile::ZipFileStream entry;
    char byte = 0;
    EXPECT_CHECK_FAILURE(entry.Read(&byte, 1), "m_zipFile != NULL", L"10304");
    EXPECT_CHECK_FAILURE(entry.AtEof(), "m_zipFile != NULL", L"10305");
    EXPECT_CHECK_FAILURE(entry.GetSize(), "m_zipFile != NULL", L"10306");
    EXPECT_CHECK_FAILURE(entry.GetPosition(), "m_zipFile != NULL", L"10307");
    EXPECT_CHECK_FAILURE(entry.Close(), "m_zipFile != NULL", L"10303");
    EXPECT_CHECK_FAILURE(entry.Open(nullptr, L"readme.txt"), "zipFile != NULL", L"10310");
    entry.Open(&m_zip, L"readme.txt");
    EXPECT_CHECK_FAILURE(entry.Open(&m_zip, L"readme.txt"), "m_zipFile == NULL", L"10302");
    entry.Close();
}

// Damaged data: non-zip bytes and a truncated archive fail Open and leave the
// ZipFile closed; a flipped byte in a stored entry surfaces as a CRC error at
// Close after a full read, not after a partial one; invalid deflate data
// fails the read; a damaged local header fails the listing and the open.
TEST(ZipFileDamageTest, NotAZipAndTruncatedFailOpen)
{
    for (const char* fixture : {"zip/not-a-zip.bin", "zip/truncated.zip"}) {
        SCOPED_TRACE(fixture);
        ZipFile zip;
        bool destroyed = false;
        EXPECT_CHECK_FAILURE(zip.Open(L"bad.zip", MemoryOf(fixture, &destroyed)),
                             "m_zip != NULL", L"10290");
        EXPECT_TRUE(destroyed);
        EXPECT_CHECK_FAILURE(zip.GetFileNames(), "m_zip != unzFile_NULL", L"10299");
        EXPECT_CHECK_FAILURE(zip.OpenFile(L"readme.txt"), "m_zip != unzFile_NULL", L"10300");
        zip.Close();
        zip.Open(L"infozip.zip", MemoryOf("zip/infozip.zip"));
        EXPECT_EQ(6u, zip.GetFileNames().size());
    }
}

TEST(ZipFileDamageTest, CrcMismatchSurfacesAtClose)
{
    ZipFile zip;
    zip.Open(L"crc.zip", MemoryOf("zip/crc-stored.zip"));
    const std::string expected = SourceFile("readme.txt");

    std::unique_ptr<Stream> halfRead = zip.OpenFile(L"readme.txt");
    std::string head(10, '\0');
    halfRead->ReadExact(&head[0], 10);
    halfRead->Close();

    std::unique_ptr<Stream> entry = zip.OpenFile(L"readme.txt");
    const std::string data = ReadAll(*entry);
    EXPECT_EQ(expected.size(), data.size());
    EXPECT_NE(expected, data);
    EXPECT_ZIP_FAILURE(entry->Close(), L"Zip CRC error", 1000010059, L"crc.zip",
                       L"unzCloseCurrentFile", -105, 10314);
    // The entry is closed all the same: the archive opens the next one.
    std::unique_ptr<Stream> next = zip.OpenFile(L"repeat.txt");
    EXPECT_EQ(SourceFile("repeat.txt"), ReadAll(*next));
}

TEST(ZipFileDamageTest, InvalidDeflateDataFailsTheRead)
{
    ZipFile zip;
    zip.Open(L"deflate.zip", MemoryOf("zip/bad-deflate.zip"));
    std::unique_ptr<Stream> entry = zip.OpenFile(L"repeat.txt");
    EXPECT_ZIP_FAILURE(ReadAll(*entry), kUnexpected, kUnexpectedId, L"deflate.zip",
                       L"unzReadCurrentFile", -3, 10312);
}

TEST(ZipFileDamageTest, DamagedLocalHeader)
{
    ZipFile zip;
    zip.Open(L"header.zip", MemoryOf("zip/bad-local-header.zip"));
    EXPECT_ZIP_FAILURE(zip.GetFileNames(), L"Zip format error", 1000010058, L"header.zip",
                       L"unzOpenCurrentFile", -103, 10296);
    EXPECT_ZIP_FAILURE(zip.OpenFile(L"repeat.txt"), L"Zip format error", 1000010058,
                       L"header.zip", L"unzOpenCurrentFile", -103, 10321);
    std::unique_ptr<Stream> entry = zip.OpenFile(L"readme.txt");
    EXPECT_EQ(SourceFile("readme.txt"), ReadAll(*entry));
}

// Names of 1000 bytes or more do not fit the listing's buffer and are
// refused; 999 bytes still list.
TEST(ZipFileDamageTest, OverlongEntryNames)
{
    ZipFile zip;
    zip.Open(L"names.zip", MemoryOf("zip/name-999.zip"));
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(999, L'n')}, zip.GetFileNames());
    zip.Close();
    zip.Open(L"names.zip", MemoryOf("zip/long-names.zip"));
    EXPECT_CHECK_FAILURE(zip.GetFileNames(), "info.size_filename < sizeof(nameBuffer)",
                         L"10322");
}

// A failing archive stream: during Open its very exception comes back
// (same type, texts and codes) and the ZipFile is closed with the stream
// deleted; a std::exception becomes an internal check naming the callback;
// a failure while an entry is read is minizip's internal-error result.
TEST(ZipFileStreamFailureTest, Win32FailureDuringOpenSurfaces)
{
    ZipFile zip;
    bool destroyed = false;
    auto stream = MemoryOf("zip/infozip.zip", &destroyed);
    stream->FailAfter(10, ArchiveStream::Failure::Win32);
    try {
        zip.Open(L"failing.zip", std::move(stream));
        ADD_FAILURE() << "Open succeeded";
    } catch (const Exception& error) {
        const auto* wrapper = dynamic_cast<const RethrowWrapperException*>(&error);
        ASSERT_NE(nullptr, wrapper);
        EXPECT_NE(nullptr, dynamic_cast<const Win32Exception*>(&wrapper->GetWrapped()));
        EXPECT_EQ(L"10006:00000017", error.GetErrorCode());
        EXPECT_EQ(0u, error.GetEnglishMessage().find(
                          L"Error reading file \"archive.zip\" (ReadFile returned 00000017: "));
        EXPECT_EQ(L"summary of read failure", error.GetLocalizedSummary());
        EXPECT_EQ(L"localized read failure", error.GetLocalizedMessage());
    }
    EXPECT_TRUE(destroyed);
    EXPECT_CHECK_FAILURE(zip.GetFileNames(), "m_zip != unzFile_NULL", L"10299");
    zip.Open(L"infozip.zip", MemoryOf("zip/infozip.zip"));
    EXPECT_EQ(6u, zip.GetFileNames().size());
}

TEST(ZipFileStreamFailureTest, StdExceptionDuringOpenNamesTheCallback)
{
    ZipFile zip;
    auto stream = MemoryOf("zip/infozip.zip");
    stream->FailAfter(0, ArchiveStream::Failure::StdException);
    try {
        zip.Open(L"failing.zip", std::move(stream));
        ADD_FAILURE() << "Open succeeded";
    } catch (const Exception& error) {
        EXPECT_EQ(L"std::exception in OstrelInstallEngine::ZipFile::read_file_func: disk on fire",
                  error.GetEnglishMessage());
        EXPECT_EQ(L"10284", error.GetErrorCode());
    }
}

TEST(ZipFileStreamFailureTest, FailureWhileReadingAnEntry)
{
    ZipFile zip;
    auto stream = MemoryOf("zip/infozip.zip");
    ArchiveStream* archive = stream.get();
    zip.Open(L"failing.zip", std::move(stream));
    std::unique_ptr<Stream> entry = zip.OpenFile(L"repeat.txt");
    archive->FailAfter(100, ArchiveStream::Failure::Win32);
    EXPECT_ZIP_FAILURE(ReadAll(*entry), L"Minizip or wrapper internal error", 1000010057,
                       L"failing.zip", L"unzReadCurrentFile", -1, 10312);
}

// Open refuses a second archive; Close of a closed archive does nothing.
TEST(ZipFileLifecycleTest, OpenTwiceAndCloseTwice)
{
    ZipFile zip;
    zip.Close();
    zip.Open(L"infozip.zip", MemoryOf("zip/infozip.zip"));
    bool destroyed = false;
    EXPECT_CHECK_FAILURE(zip.Open(L"again.zip", MemoryOf("zip/infozip.zip", &destroyed)),
                         "!m_inUse && (m_zipStream.get() == NULL)", L"10291");
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(6u, zip.GetFileNames().size());
    zip.Close();
    zip.Close();
}

}  // namespace
