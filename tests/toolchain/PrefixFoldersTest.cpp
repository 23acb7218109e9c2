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

using OstrelTest::PathExists;

std::string Variable(const char* name)
{
    char value[MAX_PATH] = {};
    EXPECT_NE(0u, GetEnvironmentVariableA(name, value, MAX_PATH)) << name;
    return value;
}

// The host's home and its folders, where Wine's links used to lead. Wine
// hides HOME from Windows programs and gives it as "\??\Z:\<home>".
std::vector<std::wstring> HostHomeFolders()
{
    const std::string home = Variable("WINEHOMEDIR").substr(4);
    std::vector<std::wstring> folders = {std::wstring(home.begin(), home.end())};
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folders[0] + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.') {
            folders.push_back(folders[0] + L"\\" + found.cFileName);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return folders;
}

TEST(PrefixFoldersTest, UserFoldersStayInsideThePrefix)
{
    std::vector<std::wstring> userFolders;
    for (int csidl : {CSIDL_DESKTOP, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC,
                      CSIDL_MYPICTURES, CSIDL_MYVIDEO}) {
        wchar_t folder[MAX_PATH] = {};
        EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, csidl, TRUE)) << csidl;
        userFolders.push_back(folder);
    }
    PWSTR downloads = nullptr;
    ASSERT_EQ(S_OK, SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, &downloads));
    userFolders.push_back(downloads);
    CoTaskMemFree(downloads);

    const std::wstring prefixDriveC = OstrelTest::HostPath(Variable("WINEPREFIX")) + L"\\drive_c";
    const std::vector<std::wstring> homeFolders = HostHomeFolders();
    const std::wstring name = L"ostrel-prefix-check-" + std::to_wstring(GetCurrentProcessId());
    for (const std::wstring& folder : userFolders) {
        const std::wstring file = folder + L"\\" + name;
        OstrelTest::WriteFileBytes(file, "written by a test");
        EXPECT_TRUE(PathExists(prefixDriveC + file.substr(2))) << file;
        for (const std::wstring& homeFolder : homeFolders) {
            EXPECT_FALSE(PathExists(homeFolder + L"\\" + name))
                << "a file written to " << folder << " is in the host's home";
        }
        DeleteFileW(file.c_str());
    }
}

}  // namespace
