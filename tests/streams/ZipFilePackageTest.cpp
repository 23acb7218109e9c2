// ZipFilePackage serves the uninstaller's own embedded package, read from the
// built executable's resource as the uninstaller reads it, and looks files up
// by narrow names with the archive's rules.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "StreamTestHelpers.h"
#include "TestConfig.h"
#include "TestSupport.h"
#include "base/Exceptions.h"
#include "base/UniqueHandle.h"
#include "streams/ZipFilePackage.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::FixturePath;
using OstrelTest::ProbeStream;
using OstrelTest::ReadAll;
using OstrelTest::ReadFileBytes;

// The engine exception's code of an action; empty when it threw none.
template <typename Action>
std::wstring FailureCode(Action action)
{
    try {
        action();
    } catch (const Exception& error) {
        return error.GetErrorCode();
    }
    return L"";
}

// Every file of the package folder comes back byte-exact through the
// FilePackage interface, whatever the case of its name; a missing file is the
// lookup failure naming "Uninstall.zip"; after Close nothing opens.
TEST(ZipFilePackageTest, ServesTheEmbeddedPackage)
{
    UniqueModule module(LoadLibraryExW(OstrelTest::HostPath(OSTREL_TEST_UNINSTALLER_EXE).c_str(),
                                       nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module.IsValid());
    HRSRC info = FindResourceW(module.Get(), L"UNINSTALL.ZIP", MAKEINTRESOURCEW(10));
    ASSERT_NE(nullptr, info);
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(LockResource(LoadResource(module.Get(), info)),
                    SizeofResource(module.Get(), info));
    ZipFilePackage zipPackage;
    zipPackage.Open(L"Uninstall.zip", std::move(stream));
    FilePackage& package = zipPackage;

    const std::vector<std::string> files = OstrelTest::SplitList(OSTREL_TEST_PACKAGE_FILES, '|');
    ASSERT_FALSE(files.empty());
    for (const std::string& name : files) {
        const std::string expected =
            ReadFileBytes(OstrelTest::HostPath(OSTREL_TEST_PACKAGE_DIR "/" + name));
        std::string shouted = name;
        for (char& c : shouted) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        for (const std::string& asked : {name, shouted}) {
            std::unique_ptr<Stream> file = package.OpenFile(asked);
            EXPECT_EQ(expected.size(), file->GetSize()) << asked;
            EXPECT_TRUE(ReadAll(*file) == expected) << asked;
        }
    }

    try {
        package.OpenFile("NoSuchScript.lua");
        ADD_FAILURE() << "a missing file opened";
    } catch (const MiniZipException& error) {
        EXPECT_EQ(L"Minizip unexpected error in \"Uninstall.zip\" while calling "
                  L"\"unzLocateFile\" (unzLocateFile returned -100)",
                  error.GetEnglishMessage());
        EXPECT_EQ(L"10295:-100", error.GetErrorCode());
        EXPECT_EQ(L"Unable to expand archive \"Uninstall.zip\"", error.GetLocalizedSummary());
    }
    zipPackage.Close();
    EXPECT_EQ(L"10300", FailureCode([&] { package.OpenFile("Uninstall.lua"); }));
}

// Narrow names are widened byte by byte: a byte above 127 is dropped by the
// lookup. Bytes that are no archive fail Open and leave the package closed,
// ready for a good archive.
TEST(ZipFilePackageTest, NamesAndFailedOpen)
{
    ZipFilePackage package;
    EXPECT_EQ(L"10290", FailureCode([&] {
                  package.Open(L"junk.zip", std::make_unique<ProbeStream>(
                                                ReadFileBytes(FixturePath("zip/not-a-zip.bin"))));
              }));
    package.Open(L"python.zip", std::make_unique<ProbeStream>(
                                    ReadFileBytes(FixturePath("zip/python-deflated.zip"))));
    EXPECT_EQ(ReadFileBytes(FixturePath("zip/src/caf.txt")),
              ReadAll(*package.OpenFile("caf\xE9.txt")));
}

}  // namespace
