// Which paths name exactly one item below their root, and which would widen a
// removal to a parent, a drive or a hive.
#include <gtest/gtest.h>

#include <string>

#include "base/PathShape.h"

namespace {

using namespace OstrelInstallEngine;
using namespace std::string_literals;

TEST(PathShapeTest, FilePaths)
{
    for (const std::wstring& path : {L"C:\\Games\\Vekt"s, L"\\\\?\\C:\\x"s, L"\\\\server\\share\\x"s,
                                     L"\\\\?\\UNC\\server\\share\\x"s, L"relative\\x"s, L"C:x"s}) {
        EXPECT_TRUE(IsExactFilePath(path)) << path;
    }
    for (const std::wstring& path :
         {L""s, L"C:\\"s, L"C:"s, L"\\"s, L"\\\\server\\share"s, L"\\\\?\\C:\\"s, L"C:\\Games\\"s,
          L"C:\\Games\\\\Vekt"s, L"C:/Games/"s, L"C:\\Games\\.."s, L"C:\\Games\\.\\x"s,
          L"C:\\Games\\*"s, L"C:\\Games\\Vekt\0\\.."s, L"C:\\Games\0\\Vekt"s, L"\\\\?\\UNC\\server\\share"s,
          L"\\\\?\\UNC\\server"s}) {
        EXPECT_FALSE(IsExactFilePath(path)) << path;
    }
}

TEST(PathShapeTest, KeyPaths)
{
    EXPECT_TRUE(IsExactKeyPath(L"HKEY_CURRENT_USER\\Software\\Vendor"));
    for (const std::wstring& path : {L"HKEY_CURRENT_USER"s, L"HKEY_CURRENT_USER\\"s,
                                     L"HKEY_CURRENT_USER\\\\Software"s, L"HKEY_CURRENT_USER\\Software\\"s,
                                     L"HKEY_CURRENT_USER\\Software\0\\x"s}) {
        EXPECT_FALSE(IsExactKeyPath(path)) << path.c_str();
    }
}

}  // namespace
