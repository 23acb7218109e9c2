// The built executable carries the resources the uninstaller looks up: the
// embedded package "UNINSTALL.ZIP", the engine's English table (RCDATA 103)
// and the two dialog templates.
#include <windows.h>

#include <gtest/gtest.h>

#include <unzip.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestConfig.h"
#include "TestSupport.h"

namespace {

class ExecutableAsData {
public:
    ExecutableAsData()
        : m_module(LoadLibraryExW(OstrelTest::HostPath(OSTREL_TEST_UNINSTALLER_EXE).c_str(),
                                  nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ExecutableAsData()
    {
        if (m_module != nullptr) {
            FreeLibrary(m_module);
        }
    }
    ExecutableAsData(const ExecutableAsData&) = delete;
    ExecutableAsData& operator=(const ExecutableAsData&) = delete;

    bool IsLoaded() const { return m_module != nullptr; }

    std::string Resource(const wchar_t* name, const wchar_t* type) const
    {
        HRSRC info = FindResourceW(m_module, name, type);
        if (info == nullptr) {
            return std::string();
        }
        HGLOBAL data = LoadResource(m_module, info);
        const char* bytes = static_cast<const char*>(LockResource(data));
        return std::string(bytes, SizeofResource(m_module, info));
    }

private:
    HMODULE m_module;
};

// Reads a zip file from disk with minizip; returns entry name -> contents.
std::vector<std::pair<std::string, std::string>> ReadZipEntries(const std::string& path)
{
    std::vector<std::pair<std::string, std::string>> entries;
    unzFile zip = unzOpen(path.c_str());
    if (zip == nullptr) {
        return entries;
    }
    for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info info;
        unzGetCurrentFileInfo(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
        std::string content(info.uncompressed_size, '\0');
        unzOpenCurrentFile(zip);
        int read = content.empty() ? 0
                                   : unzReadCurrentFile(zip, &content[0],
                                                        static_cast<unsigned>(content.size()));
        EXPECT_EQ(static_cast<int>(content.size()), read) << name;
        EXPECT_EQ(UNZ_OK, unzCloseCurrentFile(zip)) << "CRC of " << name;
        entries.emplace_back(name, content);
    }
    unzClose(zip);
    return entries;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Control ids of a DIALOGEX template, in template order.
std::vector<DWORD> DialogControlIds(const std::string& resource)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(resource.data());
    auto word = [&p]() { WORD w; memcpy(&w, p, 2); p += 2; return w; };
    auto dword = [&p]() { DWORD d; memcpy(&d, p, 4); p += 4; return d; };
    auto skipSzOrOrd = [&]() {
        WORD first = word();
        if (first == 0xFFFF) { word(); return; }
        if (first == 0) return;
        while (word() != 0) {}
    };
    auto align = [&]() {
        uintptr_t offset = p - reinterpret_cast<const BYTE*>(resource.data());
        p += (4 - offset % 4) % 4;
    };
    word(); word();                 // dlgVer, signature
    dword(); dword(); DWORD style = dword();
    WORD count = word();
    p += 8;                         // x, y, cx, cy
    skipSzOrOrd();                  // menu
    skipSzOrOrd();                  // class
    while (word() != 0) {}          // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        p += 6;                     // point size, weight, italic, charset
        while (word() != 0) {}
    }
    std::vector<DWORD> ids;
    for (WORD i = 0; i < count; ++i) {
        align();
        p += 12 + 8;                // helpID, exStyle, style; x, y, cx, cy
        ids.push_back(dword());
        skipSzOrOrd();              // class
        skipSzOrOrd();              // title
        WORD extra = word();
        p += extra;
    }
    return ids;
}

TEST(UninstallerResourcesTest, ExecutableLoadsAsData)
{
    ExecutableAsData exe;
    EXPECT_TRUE(exe.IsLoaded());
}

// "UNINSTALL.ZIP" is a zip archive whose entries are exactly the files of
// the staged uninstall package (the script with its generated tables), byte for byte.
TEST(UninstallerResourcesTest, EmbeddedPackageHoldsThePackageFolder)
{
    ExecutableAsData exe;
    const std::string zip = exe.Resource(L"UNINSTALL.ZIP", MAKEINTRESOURCEW(10));
    ASSERT_FALSE(zip.empty());
    OstrelTest::TempFolder folder;
    const std::wstring zipPath = folder.File(L"uninstall.zip");
    OstrelTest::WriteFileBytes(zipPath, zip);
    char narrowPath[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, zipPath.c_str(), -1, narrowPath, MAX_PATH, nullptr, nullptr);

    auto entries = ReadZipEntries(narrowPath);
    std::vector<std::string> expected = OstrelTest::SplitList(OSTREL_TEST_PACKAGE_FILES, '|');
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.first);
    }
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
    for (const auto& entry : entries) {
        EXPECT_EQ(OstrelTest::ReadFileBytes(OstrelTest::HostPath(OSTREL_TEST_PACKAGE_DIR "/" + entry.first)),
                  entry.second)
            << entry.first;
    }
}

// RCDATA 103: 65 lines "id<TAB>text" with CR LF, ids 1000010001..1000010065.
TEST(UninstallerResourcesTest, EngineMessageTableHas65Entries)
{
    ExecutableAsData exe;
    const std::string table = exe.Resource(MAKEINTRESOURCEW(103), MAKEINTRESOURCEW(10));
    ASSERT_FALSE(table.empty());
    EXPECT_EQ("\r\n", table.substr(table.size() - 2));
    std::vector<std::string> lines = Lines(table);
    ASSERT_EQ(65u, lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(std::to_string(1000010001 + i) + "\t", lines[i].substr(0, 11));
        EXPECT_EQ(std::string::npos, lines[i].find('\n'));
    }
}

TEST(UninstallerResourcesTest, DialogTemplatesCarryTheirControls)
{
    ExecutableAsData exe;
    std::vector<DWORD> mainIds = DialogControlIds(exe.Resource(MAKEINTRESOURCEW(101), RT_DIALOG));
    std::sort(mainIds.begin(), mainIds.end());
    EXPECT_EQ((std::vector<DWORD>{1001, 1003, 1004, 1005, 1009}), mainIds);
    std::vector<DWORD> problemIds = DialogControlIds(exe.Resource(MAKEINTRESOURCEW(103), RT_DIALOG));
    std::sort(problemIds.begin(), problemIds.end());
    EXPECT_EQ((std::vector<DWORD>{1, 1006, 1008}), problemIds);
    EXPECT_FALSE(exe.Resource(MAKEINTRESOURCEW(102), RT_GROUP_ICON).empty());
}

}  // namespace
