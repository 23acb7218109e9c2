// ZipFile reads Info-ZIP, Python and CMake archives byte-exact, looks entries up as scripts
// name them, and reports damage, misuse and failing streams; ZipFilePackage serves them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "StreamTestHelpers.h"
#include "TestSupport.h"
#include "base/Exceptions.h"
#include "base/Localizer.h"
#include "streams/FileStream.h"
#include "streams/ZipFile.h"
#include "streams/ZipFilePackage.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::FixturePath;
using OstrelTest::ProbeStream;
using OstrelTest::ReadAll;
using OstrelTest::ReadFileBytes;

std::string SourceFile(const std::string& name)
{
    return ReadFileBytes(FixturePath("zip/src/" + name));
}

std::unique_ptr<ProbeStream> MemoryOf(const std::string& fixture, bool* destroyed = nullptr)
{
    return std::make_unique<ProbeStream>(ReadFileBytes(FixturePath(fixture)), destroyed);
}

// A failed internal check of ZipFile with its condition and code.
#define EXPECT_CHECK_FAILURE(statement, condition, code) \
    EXPECT_CHECK_FAILURE_IN(L"ZipFile", statement, L"" condition, code)

// The action fails with a minizip failure: kind text, archive name, API,
// result and the site code.
template <typename Action>
void ExpectZipFailure(Action action, const std::wstring& kind, int kindId,
                      const std::wstring& zipName, const std::wstring& api, int result, int code)
{
    auto error = OstrelTest::CatchEngineFailure(action);
    ASSERT_NE(nullptr, dynamic_cast<const MiniZipException*>(error.get())) << kind;
    EXPECT_EQ(kind + L" in \"" + zipName + L"\" while calling \"" + api + L"\" (" + api +
                  L" returned " + std::to_wstring(result) + L")",
              error->GetEnglishMessage());
    EXPECT_EQ(std::to_wstring(code) + L":" + std::to_wstring(result), error->GetErrorCode());
    EXPECT_EQ(L"Unable to expand archive \"" + zipName + L"\"", error->GetLocalizedSummary());
    EXPECT_EQ(Localizer::Text(1000010055, Localizer::Text(kindId), zipName),
              error->GetLocalizedMessage());
}

const wchar_t kUnexpected[] = L"Minizip unexpected error";
const int kUnexpectedId = 1000010056;

// Each tool's archive lists its entries in order, folders included, each read back exact;
// Python's names widen byte by byte ("é" is U+FFC3 U+FFA9), so that one cannot be asked for.
TEST(ZipFileReadTest, ArchivesOfOtherTools)
{
    const std::vector<std::wstring> python = {L"readme.txt", L"repeat.txt", L"data.bin",
                                              L"empty.txt",  L"scripts/main.lua", L"caf.txt",
                                              L"caf\xFFC3\xFFA9.txt"};
    const struct {
        const char* fixture;
        std::vector<std::wstring> names;
        size_t readable;
    } cases[] = {
        {"zip/infozip.zip",
         {L"readme.txt", L"data.bin", L"repeat.txt", L"empty.txt", L"scripts/",
          L"scripts/main.lua"},
         6},
        {"zip/cmake.zip",
         {L"repeat.txt", L"readme.txt", L"data.bin", L"scripts/", L"scripts/main.lua"},
         5},
        {"zip/python-stored.zip", python, 6},
        {"zip/python-deflated.zip", python, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        auto file = std::make_unique<FileStream>();
        file->Open(FixturePath(c.fixture));
        ZipFile zip;
        zip.Open(L"archive.zip", std::move(file));
        EXPECT_EQ(c.names, zip.GetFileNames());
        for (size_t i = 0; i < c.readable; ++i) {
            const std::string name(c.names[i].begin(), c.names[i].end());
            if (name.back() == '/') {
                continue;
            }
            const std::string expected = SourceFile(name);
            std::unique_ptr<Stream> entry = zip.OpenFile(c.names[i]);
            EXPECT_EQ(expected.size(), entry->GetSize()) << name;
            EXPECT_EQ(expected.empty(), entry->AtEof()) << name;
            EXPECT_TRUE(ReadAll(*entry, 1000) == expected) << name;
            EXPECT_TRUE(entry->AtEof()) << name;
            EXPECT_EQ(expected.size(), entry->GetPosition()) << name;
            entry->Close();
        }
    }
}

class ZipFileLookupTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_zip.Open(L"Lookup Archive.zip", MemoryOf("zip/python-deflated.zip"));
    }

    ZipFile m_zip;
};

// Backslashes match slashes, case is ignored, characters above 127 dropped; a missing or
// refused name is the "unexpected" kind, and the archive stays usable.
TEST_F(ZipFileLookupTest, Lookup)
{
    EXPECT_EQ(SourceFile("scripts/main.lua"), ReadAll(*m_zip.OpenFile(L"Scripts\\Main.lua")));
    EXPECT_EQ(SourceFile("caf.txt"), ReadAll(*m_zip.OpenFile(L"caf\u00e9.txt")));
    ExpectZipFailure([&] { m_zip.OpenFile(L"scripts\\missing.lua"); }, kUnexpected, kUnexpectedId,
                     L"Lookup Archive.zip", L"unzLocateFile", -100, 10295);
    ExpectZipFailure([&] { m_zip.OpenFile(std::wstring(256, L'n')); }, kUnexpected, kUnexpectedId,
                     L"Lookup Archive.zip", L"unzLocateFile", -102, 10295);
    EXPECT_EQ(SourceFile("readme.txt"), ReadAll(*m_zip.OpenFile(L"readme.txt")));
}

// One entry at a time, the archive neither closed nor listed under it; entries read forward
// (only 0 or the current position); an entry stream checks that it is open.
TEST_F(ZipFileLookupTest, EntryStreams)
{
    std::unique_ptr<Stream> first = m_zip.OpenFile(L"repeat.txt");
    EXPECT_CHECK_FAILURE(m_zip.OpenFile(L"readme.txt"), "!zipFile->m_inUse", L"10311");
    EXPECT_CHECK_FAILURE(m_zip.Close(), "!m_inUse", L"10292");
    EXPECT_CHECK_FAILURE(m_zip.GetFileNames(), "!m_inUse", L"10317");
    std::string head(5000, '\0');
    first->ReadExact(&head[0], 5000);
    first->SetPosition(5000);
    EXPECT_EQ(5000u, first->GetPosition());
    EXPECT_CHECK_FAILURE(first->SetPosition(100), "false", L"10308");
    EXPECT_CHECK_FAILURE(first->SetPosition(6000), "false", L"10308");
    first->SetPosition(0);
    EXPECT_EQ(0u, first->GetPosition());
    EXPECT_TRUE(ReadAll(*first, 777) == SourceFile("repeat.txt"));
    first.reset();
    EXPECT_EQ(SourceFile("readme.txt"), ReadAll(*m_zip.OpenFile(L"readme.txt")));

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

// Junk, truncated and bare 22-byte archives fail Open, delete the stream and leave the ZipFile
// reusable, as does a second Open; an end record after a stub lists nothing.
TEST(ZipFileOpenTest, RefusedAndEmptyArchives)
{
    for (const char* fixture : {"zip/not-a-zip.bin", "zip/truncated.zip", "zip/empty.zip"}) {
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
        destroyed = false;
        EXPECT_CHECK_FAILURE(zip.Open(L"again.zip", MemoryOf("zip/infozip.zip", &destroyed)),
                             "!m_inUse && (m_zipStream.get() == NULL)", L"10291");
        EXPECT_TRUE(destroyed);
        EXPECT_EQ(6u, zip.GetFileNames().size());
        zip.Close();
        zip.Close();
    }
    ZipFile zip;
    zip.Open(L"empty.zip", MemoryOf("zip/empty-after-stub.zip"));
    EXPECT_TRUE(zip.GetFileNames().empty());
    ExpectZipFailure([&] { zip.OpenFile(L"anything"); }, kUnexpected, kUnexpectedId, L"empty.zip",
                     L"unzLocateFile", -100, 10295);
}

// A flipped byte in a stored entry surfaces as a CRC error at Close after a
// full read, not after a partial one; the entry is closed all the same.
TEST(ZipFileDamageTest, CrcMismatchSurfacesAtClose)
{
    ZipFile zip;
    zip.Open(L"crc.zip", MemoryOf("zip/crc-stored.zip"));
    std::unique_ptr<Stream> halfRead = zip.OpenFile(L"readme.txt");
    std::string head(10, '\0');
    halfRead->ReadExact(&head[0], 10);
    halfRead->Close();

    std::unique_ptr<Stream> entry = zip.OpenFile(L"readme.txt");
    const std::string data = ReadAll(*entry);
    EXPECT_EQ(SourceFile("readme.txt").size(), data.size());
    EXPECT_NE(SourceFile("readme.txt"), data);
    ExpectZipFailure([&] { entry->Close(); }, L"Zip CRC error", 1000010059, L"crc.zip",
                     L"unzCloseCurrentFile", -105, 10314);
    EXPECT_EQ(SourceFile("repeat.txt"), ReadAll(*zip.OpenFile(L"repeat.txt")));
}

// Bad deflate data fails the read, a damaged local header its listing and entry only; names of
// 1000 bytes or more do not fit the listing's buffer (999 still list).
TEST(ZipFileDamageTest, DamagedDataAndHeader)
{
    ZipFile deflate;
    deflate.Open(L"deflate.zip", MemoryOf("zip/bad-deflate.zip"));
    std::unique_ptr<Stream> entry = deflate.OpenFile(L"repeat.txt");
    ExpectZipFailure([&] { ReadAll(*entry); }, kUnexpected, kUnexpectedId, L"deflate.zip",
                     L"unzReadCurrentFile", -3, 10312);

    ZipFile zip;
    zip.Open(L"header.zip", MemoryOf("zip/bad-local-header.zip"));
    ExpectZipFailure([&] { zip.GetFileNames(); }, L"Zip format error", 1000010058, L"header.zip",
                     L"unzOpenCurrentFile", -103, 10296);
    ExpectZipFailure([&] { zip.OpenFile(L"repeat.txt"); }, L"Zip format error", 1000010058,
                     L"header.zip", L"unzOpenCurrentFile", -103, 10321);
    EXPECT_EQ(SourceFile("readme.txt"), ReadAll(*zip.OpenFile(L"readme.txt")));
    zip.Close();
    zip.Open(L"names.zip", MemoryOf("zip/name-999.zip"));
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(999, L'n')}, zip.GetFileNames());
    zip.Close();
    zip.Open(L"names.zip", MemoryOf("zip/long-names.zip"));
    EXPECT_CHECK_FAILURE(zip.GetFileNames(), "info.size_filename < sizeof(nameBuffer)",
                         L"10322");
}

// A failing archive stream during Open: its very exception comes back (same
// type, texts and codes) and the ZipFile is closed with the stream deleted.
TEST(ZipFileStreamFailureTest, Win32FailureDuringOpenSurfaces)
{
    ZipFile zip;
    bool destroyed = false;
    auto stream = MemoryOf("zip/infozip.zip", &destroyed);
    stream->FailAfter(10, ProbeStream::Failure::Win32);
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
}

// A std::exception from the archive stream becomes an internal check naming
// the callback; a failure while an entry is read is minizip's internal error.
TEST(ZipFileStreamFailureTest, OtherFailures)
{
    ZipFile zip;
    auto stream = MemoryOf("zip/infozip.zip");
    stream->FailAfter(0, ProbeStream::Failure::StdException);
    auto error = OstrelTest::CatchEngineFailure([&] { zip.Open(L"f.zip", std::move(stream)); });
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"std::exception in OstrelInstallEngine::ZipFile::read_file_func: disk on fire",
              error->GetEnglishMessage());
    EXPECT_EQ(L"10284", error->GetErrorCode());

    auto good = MemoryOf("zip/infozip.zip");
    ProbeStream* archive = good.get();
    zip.Open(L"failing.zip", std::move(good));
    std::unique_ptr<Stream> entry = zip.OpenFile(L"repeat.txt");
    archive->FailAfter(100, ProbeStream::Failure::Win32);
    ExpectZipFailure([&] { ReadAll(*entry); }, L"Minizip or wrapper internal error", 1000010057,
                     L"failing.zip", L"unzReadCurrentFile", -1, 10312);
}

// The package serves entries by narrow name in any case, a byte above 127 dropped; a missing
// one is the lookup failure naming the package; after Close nothing opens. (The uninstaller's
// own archive is the CMake kind read above.)
TEST(ZipFilePackageTest, ServesEntriesByNarrowName)
{
    ZipFilePackage zipPackage;
    zipPackage.Open(L"Uninstall.zip", MemoryOf("zip/python-deflated.zip"));
    FilePackage& package = zipPackage;
    EXPECT_EQ(SourceFile("scripts/main.lua"), ReadAll(*package.OpenFile("SCRIPTS/Main.lua")));
    EXPECT_EQ(SourceFile("caf.txt"), ReadAll(*package.OpenFile("caf\xE9.txt")));
    ExpectZipFailure([&] { package.OpenFile("NoSuchScript.lua"); }, kUnexpected, kUnexpectedId,
                     L"Uninstall.zip", L"unzLocateFile", -100, 10295);
    zipPackage.Close();
    EXPECT_CHECK_FAILURE(package.OpenFile("Uninstall.lua"), "m_zip != unzFile_NULL", L"10300");
}

}  // namespace
