// ZipFilePackage serves the uninstaller's own embedded package, read from the
// built executable's resource as the uninstaller reads it, and looks files up
// by narrow names with the archive's rules.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "streams/FilePackage.h"
#include "streams/MemoryStream.h"
#include "TestConfig.h"
#include "TestSupport.h"
#include "base/UniqueHandle.h"
#include "streams/ZipFilePackage.h"

namespace {

using OstrelInstallEngine::Exception;
using OstrelInstallEngine::FilePackage;
using OstrelInstallEngine::MemoryStream;
using OstrelInstallEngine::MiniZipException;
using OstrelInstallEngine::Stream;
using OstrelInstallEngine::UniqueModule;
using OstrelInstallEngine::ZipFilePackage;
using OstrelTest::FixturePath;
using OstrelTest::ReadFileBytes;

std::string ReadAll(Stream& stream)
{
    std::string out;
    char chunk[4096];
    for (uint32_t count; (count = stream.Read(chunk, sizeof(chunk))) != 0;) {
        out.append(chunk, count);
    }
    return out;
}

std::unique_ptr<Stream> MemoryOver(const std::string& bytes)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return stream;
}

// The built uninstaller loaded as data, with its embedded package.
class EmbeddedPackageTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_module.Set(LoadLibraryExW(OstrelTest::HostPath(OSTREL_TEST_UNINSTALLER_EXE).c_str(),
                                    nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module.IsValid());
        HRSRC info = FindResourceW(m_module.Get(), L"UNINSTALL.ZIP", MAKEINTRESOURCEW(10));
        ASSERT_NE(nullptr, info);
        const void* data = LockResource(LoadResource(m_module.Get(), info));
        auto stream = std::make_unique<MemoryStream>();
        stream->SetData(data, SizeofResource(m_module.Get(), info));
        m_package.Open(L"Uninstall.zip", std::move(stream));
    }

    UniqueModule m_module;
    ZipFilePackage m_package;
};

// Every file of the package folder comes back byte-exact through the
// FilePackage interface, whatever the case and slash of its name.
TEST_F(EmbeddedPackageTest, ServesEveryPackageFile)
{
    FilePackage& package = m_package;
    const std::vector<std::string> files = OstrelTest::SplitList(OSTREL_TEST_PACKAGE_FILES, '|');
    ASSERT_FALSE(files.empty());
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const std::string expected =
            ReadFileBytes(OstrelTest::HostPath(OSTREL_TEST_PACKAGE_DIR "/" + name));
        std::unique_ptr<Stream> file = package.OpenFile(name);
        EXPECT_EQ(expected.size(), file->GetSize());
        EXPECT_TRUE(ReadAll(*file) == expected);
        file.reset();
        std::string shouted = name;
        for (char& c : shouted) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        file = package.OpenFile(shouted);
        EXPECT_TRUE(ReadAll(*file) == expected) << "via " << shouted;
    }
}

// A missing file is the archive's lookup failure naming "Uninstall.zip";
// after Close nothing opens until the package is opened again.
TEST_F(EmbeddedPackageTest, MissingFileAndClose)
{
    try {
        m_package.OpenFile("NoSuchScript.lua");
        ADD_FAILURE() << "a missing file opened";
    } catch (const MiniZipException& error) {
        EXPECT_EQ(L"Minizip unexpected error in \"Uninstall.zip\" while calling "
                  L"\"unzLocateFile\" (unzLocateFile returned -100)",
                  error.GetEnglishMessage());
        EXPECT_EQ(L"10295:-100", error.GetErrorCode());
        EXPECT_EQ(L"Unable to expand archive \"Uninstall.zip\"", error.GetLocalizedSummary());
    }
    m_package.Close();
    try {
        m_package.OpenFile("Uninstall.lua");
        ADD_FAILURE() << "a closed package opened a file";
    } catch (const Exception& error) {
        EXPECT_EQ(L"10300", error.GetErrorCode());
    }
}

// Narrow names are widened byte by byte: a byte above 127 becomes a character
// above 127, which the lookup drops.
TEST(ZipFilePackageTest, NonAsciiByteIsDropped)
{
    const std::string archive = ReadFileBytes(FixturePath("zip/python-deflated.zip"));
    ZipFilePackage package;
    package.Open(L"python.zip", MemoryOver(archive));
    std::unique_ptr<Stream> file = package.OpenFile("caf\xE9.txt");
    EXPECT_EQ(ReadFileBytes(FixturePath("zip/src/caf.txt")), ReadAll(*file));
}

// Bytes that are no archive fail Open and leave the package closed, ready for
// a good archive.
TEST(ZipFilePackageTest, FailedOpenLeavesThePackageClosed)
{
    const std::string junk = ReadFileBytes(FixturePath("zip/not-a-zip.bin"));
    const std::string archive = ReadFileBytes(FixturePath("zip/cmake.zip"));
    ZipFilePackage package;
    try {
        package.Open(L"junk.zip", MemoryOver(junk));
        ADD_FAILURE() << "junk opened";
    } catch (const Exception& error) {
        EXPECT_EQ(L"10290", error.GetErrorCode());
    }
    package.Open(L"cmake.zip", MemoryOver(archive));
    std::unique_ptr<Stream> file = package.OpenFile("scripts/main.lua");
    EXPECT_EQ(ReadFileBytes(FixturePath("zip/src/scripts/main.lua")), ReadAll(*file));
}

}  // namespace
