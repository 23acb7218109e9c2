// Util's helpers against the platform: wide formatting, system error texts, paths, GUIDs,
// digests, registry key paths and the plain copy of a stream into a file.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "EngineFailure.h"
#include "base/MemoryStream.h"
#include "TestSupport.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;
using OstrelTest::IsCheckFailure;

std::wstring Letters(size_t length)
{
    std::wstring text;
    for (size_t i = 0; i < length; ++i) {
        text += static_cast<wchar_t>(L'a' + i % 26);
    }
    return text;
}

// "%s" is wide and "%hs" narrow, as in the Microsoft runtime (mingw-w64's ISO swprintf
// reads "%s" as narrow).
TEST(FormatWideTest, MicrosoftStringConversions)
{
    EXPECT_EQ(L"wide|narrow|wide2|narrow2",
              FormatWide(L"%s|%hs|%ls|%S", L"wide", "narrow", L"wide2", "narrow2"));
    EXPECT_EQ(L"W|n", FormatWide(L"%c|%hc", L'W', 'n'));
    EXPECT_EQ(L"-7 4294967295 0000002a 8007000E -3",
              FormatWide(L"%d %u %08x %08X %d", -7, 0xFFFFFFFFu, 42, 0x8007000Eu, -3));
    EXPECT_EQ(L"\u00e9\u20ac", FormatWide(L"%s", L"\u00e9\u20ac"));
}

// A text of any length comes out whole: 999 characters fit the first buffer,
// longer ones make it grow (1000, 1500, 2250, ... characters).
TEST(FormatWideTest, LongResults)
{
    for (size_t length : {0u, 1u, 998u, 999u, 1000u, 1001u, 1499u, 1500u, 2249u, 2250u, 2251u,
                          5000u, 100000u}) {
        const std::wstring text = Letters(length);
        EXPECT_EQ(text, FormatWide(L"%s", text.c_str())) << length;
    }
    const std::wstring path = L"C:\\" + Letters(1500);
    EXPECT_EQ(L"Error opening file \"" + path + L"\" (10008)",
              FormatWide(L"Error opening file \"%s\" (%d)", path.c_str(), 10008));
    const std::wstring longer = Letters(5000);
    const std::string narrow(longer.begin(), longer.end());
    EXPECT_EQ(longer + L"|" + longer, FormatWide(L"%s|%hs", longer.c_str(), narrow.c_str()));
}

// The system's text for an error, without the line break it ends with; a
// value the system has no text for gives the fallback texts.
TEST(Win32ErrorTextTest, KnownAndUnknownErrors)
{
    for (const std::wstring& text : {GetWin32ErrorTextEnglish(ERROR_FILE_NOT_FOUND),
                                      GetWin32ErrorTextLocalized(ERROR_FILE_NOT_FOUND)}) {
        ASSERT_FALSE(text.empty());
        EXPECT_FALSE(std::iswspace(text.back()));
        EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\n"));
    }

    EXPECT_EQ(L"?Error getting error message (english)?", GetWin32ErrorTextEnglish(0x2000ABCD));
    EXPECT_EQ(L"?Error getting error message (localized)?",
              GetWin32ErrorTextLocalized(0x2000ABCD));
}

// Trim removes leading and trailing white space only; Widen turns each byte
// into one character, sign-extending bytes of 0x80 and above.
TEST(TextHelpersTest, TrimAndWiden)
{
    const std::pair<const wchar_t*, const wchar_t*> trims[] = {
        {L" \t\r\n abc def \r\n\t\v\f", L"abc def"}, {L"a \t b", L"a \t b"},
        {L" \t\r\n ", L""}, {L"", L""}, {L"\nx", L"x"}};
    for (const auto& trim : trims) {
        EXPECT_EQ(trim.second, Trim(trim.first));
    }
    EXPECT_EQ(L"A\uFFE9", Widen("A\xE9"));
    EXPECT_EQ(std::wstring(L"\u007F\uFF80\uFFFF"), Widen("\x7F\x80\xFF"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), Widen(std::string("a\0b", 3)));
}

// Restores the current folder, so that the temp folder can be removed.
class CurrentFolderRestorer {
public:
    CurrentFolderRestorer()
    {
        wchar_t buffer[MAX_PATH + 1];
        GetCurrentDirectoryW(MAX_PATH + 1, buffer);
        m_saved = buffer;
    }
    ~CurrentFolderRestorer() { SetCurrentDirectoryW(m_saved.c_str()); }

private:
    std::wstring m_saved;
};

// Relative paths take the current folder, "." and ".." go; too long to combine (10318), for
// the result (10080) or a current folder over 261 characters (10015) fail, never overrun.
TEST(CanonicalizePathTest, Paths)
{
    OstrelTest::TempFolder folder;
    CurrentFolderRestorer restorer;
    ASSERT_TRUE(CreateDirectoryW(folder.File(L"X").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryW(folder.File(L"X").c_str()));
    EXPECT_EQ(folder.File(L"X\\b"), CanonicalizePath(L"a\\..\\b"));
    EXPECT_EQ(folder.File(L"X\\c\\d"), CanonicalizePath(L".\\c\\.\\d"));
    EXPECT_EQ(L"C:\\X\\b", CanonicalizePath(L"C:\\X\\a\\..\\b"));
    EXPECT_EQ(L"C:\\X\\z", CanonicalizePath(L"C:\\X\\.\\y\\..\\z"));
    EXPECT_EQ(L"C:\\X\\y\\", CanonicalizePath(L"C:\\X\\y\\"));

    EXPECT_TRUE(FailsCheck([] { CanonicalizePath(Letters(300)); }, L"Util", L"false", 10318));
    const DWORD error = ERROR_FILENAME_EXCED_RANGE;
    const std::wstring condition =
        FormatWide(L"false; HRESULT %08x: %s", error, GetWin32ErrorTextEnglish(error).c_str());
    for (size_t length : {MAX_PATH - 3, MAX_PATH + 40, 1000}) {
        const std::wstring path = L"C:\\" + Letters(length);
        EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([&] { CanonicalizePath(path); }).get(),
                                   L"Util", condition, L"10080:000000ce"))
            << length;
    }
    const std::wstring longest = L"C:\\" + Letters(MAX_PATH - 4);
    EXPECT_EQ(longest, CanonicalizePath(longest));

    std::wstring deep = folder.Path();
    while (deep.size() <= MAX_PATH + 20) {
        deep += L"\\" + Letters(60);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    if (!SetCurrentDirectoryW(deep.c_str())) {
        GTEST_SKIP() << "the system refuses a current folder this long";
    }
    EXPECT_TRUE(IsCheckFailure(CatchEngineFailure([] { CanonicalizePath(L"a"); }).get(), L"Util",
                               condition, L"10015:000000ce"));
}

// Fresh GUIDs are 32 lower-case digits of version 4; braced GUIDs read as the platform's
// parser does; without braces, with fields missing or with anything after the braces
// they are refused (10082).
TEST(GuidTest, MakeAndRead)
{
    const std::wstring first = MakeGuidString();
    ASSERT_EQ(32u, first.size());
    EXPECT_EQ(std::wstring::npos, first.find_first_not_of(L"0123456789abcdef"));
    EXPECT_NE(first, MakeGuidString());
    EXPECT_EQ(L'4', first[12]);
    EXPECT_NE(std::wstring::npos, std::wstring(L"89ab").find(first[16]));

    GUID platform;
    ASSERT_EQ(S_OK, CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DA}", &platform));
    EXPECT_TRUE(IsEqualGUID(platform, GuidFromString("{6B29FC40-CA47-1067-B31D-00DD010662DA}")));
    EXPECT_TRUE(IsEqualGUID(platform, GuidFromString("{6b29fc40-ca47-1067-b31d-00dd010662da}")));
    for (const char* text :
         {"6B29FC40-CA47-1067-B31D-00DD010662DA", "{6B29FC40-CA47-1067-B31D-00DD0106}", "",
          "{6B29FC40-CA47-1067-B31D-00DD010662DA}\\..\\..", "{6B29FC40-CA47-1067-B31D-00DD010662DA} ",
          "{6B29FC40+CA47-1067-B31D-00DD010662DA}", "{6B29FC4-0CA47-1067-B31D-00DD010662DA}"}) {
        EXPECT_TRUE(FailsCheck([&] { GuidFromString(text); }, L"Util", L"false", 10082)) << text;
    }
}

// Sixteen hexadecimal fields in any case give the digest bytes in order; a
// text of 30 digits lacks a field (10359).
TEST(Md5FromHexTest, Cases)
{
    const unsigned char expected[16] = {0xD4, 0x1D, 0x8C, 0xD9, 0x8F, 0x00, 0xB2, 0x04,
                                        0xE9, 0x80, 0x09, 0x98, 0xEC, 0xF8, 0x42, 0x7E};
    for (const char* text : {"D41D8CD98F00B204E9800998ECF8427E", "d41d8cd98f00b204e9800998ecf8427e",
                             "d41D8cD98f00B204e9800998ECf8427e"}) {
        EXPECT_EQ(0, memcmp(expected, Md5FromHex(text).bytes, 16)) << text;
    }
    for (const char* text : {"D41D8CD98F00B204E9800998ECF842", ""}) {
        EXPECT_TRUE(FailsCheck([&] { Md5FromHex(text); }, L"Util", L"false", 10359)) << text;
    }
}

// A key path splits at the first backslash, its root in any case; abbreviations and unknown
// roots are refused (10078).
TEST(ParseRegKeyPathTest, Forms)
{
    const struct {
        const wchar_t* path;
        HKEY root;
        const wchar_t* subkey;
    } cases[] = {
        {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, L""},
        {L"hkey_users\\x", HKEY_USERS, L"x"},
        {L"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, L".txt"},
        {L"Hkey_Current_Config", HKEY_CURRENT_CONFIG, L""},
        {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA, L""},
        {L"HKEY_CURRENT_USER\\Software\\\\Ostrel\\", HKEY_CURRENT_USER, L"Software\\\\Ostrel\\"},
        {L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER, L""},
    };
    for (const auto& c : cases) {
        const RegKeyPath parsed = ParseRegKeyPath(c.path);
        EXPECT_EQ(c.root, parsed.root);
        EXPECT_EQ(c.subkey, parsed.subkey);
    }

    for (const wchar_t* path : {L"HKLM\\x", L"HKCU", L"", L"\\Software", L"HKEY_CURRENT_USERS\\x",
                                L" HKEY_USERS\\x"}) {
        EXPECT_TRUE(FailsCheck([&] { ParseRegKeyPath(path); }, L"Util", L"false", 10078));
    }
}

// The plain copy writes every byte across its 40960-byte blocks; a file that refuses
// writing gives the write failure with its texts (10077).
TEST(WriteStreamToFilePlainTest, CopiesOrFails)
{
    OstrelTest::TempFolder folder;
    std::string data;
    for (int i = 0; i < 100000; ++i) {
        data += static_cast<char>((i * 7) % 251);
    }
    MemoryStream stream;
    stream.SetData(data.data(), static_cast<uint32_t>(data.size()));
    const std::wstring path = folder.File(L"copy.bin");
    {
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          0, nullptr));
        WriteStreamToFilePlain(stream, file.Get(), path);
    }
    EXPECT_TRUE(stream.AtEof());
    EXPECT_EQ(data, OstrelTest::ReadFileBytes(path));

    stream.SetPosition(0);
    UniqueFileHandle readOnly(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    auto failure =
        CatchEngineFailure([&] { WriteStreamToFilePlain(stream, readOnly.Get(), path); });
    ASSERT_NE(nullptr, dynamic_cast<Win32Exception*>(failure.get()));
    EXPECT_EQ(L"10077:00000005", failure->GetErrorCode());
    EXPECT_EQ(L"Error writing file \"" + path + L"\" (WriteFile returned 00000005: " +
                  GetWin32ErrorTextEnglish(ERROR_ACCESS_DENIED) + L")",
              failure->GetEnglishMessage());
    EXPECT_EQ(L"Write failed on file \"" + path + L"\".", failure->GetLocalizedSummary());
    EXPECT_EQ(0u, failure->GetLocalizedMessage().find(
                      L"An error occurred while writing the file \"" + path + L"\"."));
}

}  // namespace
