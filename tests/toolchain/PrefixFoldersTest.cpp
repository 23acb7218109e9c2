// The Wine prefix keeps the user's folders to itself: a file written to the
// desktop or a personal folder, as the engine finds them, lands in the prefix
// and never in the home of the machine that runs the tests.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using OstrelTest::HostPath;
using OstrelTest::PathExists;

std::wstring SpecialFolder(int csidl)
{
    wchar_t folder[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, csidl, TRUE)) << csidl;
    return folder;
}

std::wstring DownloadsFolder()
{
    PWSTR folder = nullptr;
    EXPECT_EQ(S_OK, SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, &folder));
    std::wstring path = folder ? folder : L"";
    CoTaskMemFree(folder);
    return path;
}

std::string Variable(const char* name)
{
    char value[MAX_PATH] = {};
    EXPECT_NE(0u, GetEnvironmentVariableA(name, value, MAX_PATH)) << name;
    return value;
}

// C:\... as the prefix's folder drive_c, seen through drive Z:.
std::wstring InPrefix(const std::wstring& path)
{
    return HostPath(Variable("WINEPREFIX")) + L"\\drive_c" + path.substr(2);
}

// The host's home and its folders, where Wine's links used to lead. Wine
// hides HOME from Windows programs and gives it as "\??\Z:\<home>".
std::vector<std::wstring> HostHomeFolders()
{
    const std::string home = Variable("WINEHOMEDIR").substr(4);
    std::vector<std::wstring> folders = {std::wstring(home.begin(), home.end())};
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folders[0] + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return folders;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.') {
            folders.push_back(folders[0] + L"\\" + found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return folders;
}

TEST(PrefixFoldersTest, UserFoldersStayInsideThePrefix)
{
    const std::vector<std::wstring> userFolders = {
        SpecialFolder(CSIDL_DESKTOP),     SpecialFolder(CSIDL_DESKTOPDIRECTORY),
        SpecialFolder(CSIDL_PERSONAL),    SpecialFolder(CSIDL_MYMUSIC),
        SpecialFolder(CSIDL_MYPICTURES),  SpecialFolder(CSIDL_MYVIDEO),
        DownloadsFolder()};
    const std::vector<std::wstring> homeFolders = HostHomeFolders();
    const std::wstring name = L"ostrel-prefix-check-" + std::to_wstring(GetCurrentProcessId());
    for (const std::wstring& folder : userFolders) {
        const std::wstring file = folder + L"\\" + name;
        OstrelTest::WriteFileBytes(file, "written by a test");
        EXPECT_TRUE(PathExists(InPrefix(file))) << file;
        for (const std::wstring& homeFolder : homeFolders) {
            EXPECT_FALSE(PathExists(homeFolder + L"\\" + name))
                << "a file written to " << folder << " is in the host's home";
        }
        DeleteFileW(file.c_str());
    }
}

}  // namespace
