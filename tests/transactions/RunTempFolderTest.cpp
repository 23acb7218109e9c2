// The engine's private temp folders: made for this account alone, removed by
// their owner, and swept after a killed run only when every sign says they are
// this program's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "transactions/RunTempFolder.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::AccessList;
using OstrelTest::ForgetPendingDeletionsUnder;
using OstrelTest::HostLinks;
using OstrelTest::PathExists;
using OstrelTest::PendingDeletionsUnder;
using OstrelTest::ReadFileBytes;
using OstrelTest::ScopedEnvironmentVariable;
using OstrelTest::TempFolder;
using OstrelTest::WriteFileBytes;

const std::wstring kMarker = std::wstring(L"\\") + RunTempFolder::kRunMarkerName;

// Listed by its name: the sweep names folders as the system does ("\\?\").
bool Listed(const std::wstring& folder)
{
    const std::wstring name = folder.substr(folder.rfind(L'\\'));
    const std::vector<std::wstring> ended = RunTempFolder::FindFoldersOfEndedRuns();
    return std::find_if(ended.begin(), ended.end(), [&](const std::wstring& path) {
               return path.size() > name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0;
           }) != ended.end();
}

// A live folder carries the marker and an access list of its own that lets
// in SYSTEM, Administrators and this account only; it goes with its owner,
// and an earlier Remove leaves nothing for the owner to do. Wine keeps no
// access list: it turns one into the folder's Unix mode and reads that back,
// so what shows is that everybody else is kept out, as they are not from a
// folder made without one.
TEST(RunTempFolderTest, PrivateAndRemovedByItsOwner)
{
    TempFolder scratch;
    CreateDirectoryW(scratch.File(L"plain").c_str(), nullptr);
    EXPECT_NE(std::wstring::npos, AccessList(scratch.File(L"plain")).find(L";;;WD)"));
    std::wstring path;
    {
        RunTempFolder folder;
        path = folder.GetPath();
        EXPECT_TRUE(PathExists(path + kMarker));
        const std::wstring access = AccessList(path);
        EXPECT_NE(std::wstring::npos, access.find(L"(A;OICI;FA;;;SY)")) << access;
        EXPECT_EQ(std::wstring::npos, access.find(L";;;WD)")) << access;
        WriteFileBytes(path + L"\\00000000_TEMP", "temp");
        folder.Remove();
        EXPECT_FALSE(PathExists(path));
        CreateDirectoryW(path.c_str(), nullptr);
    }
    EXPECT_TRUE(PathExists(path));
    RemoveDirectoryW(path.c_str());
}

// A killed run leaves its marked folder and only that is swept; the others
// only look like one in part, or lead elsewhere through a link. Wine reports
// this account's user as the owner of every file, so the owner check cannot
// be shown refusing here: the links and markers carry the table.
TEST(RunTempFolderTest, SweepsOnlyFoldersOfKilledRuns)
{
    TempFolder scratch, elsewhere;
    HostLinks links;
    const ScopedEnvironmentVariable tmp(L"TMP", scratch.Path());
    const ScopedEnvironmentVariable temp(L"TEMP", scratch.Path());
    WriteFileBytes(elsewhere.File(L"canary.txt"), "kept");
    CreateDirectoryW(elsewhere.File(L"0123456789abcdef0123456789abcde0").c_str(), nullptr);
    WriteFileBytes(elsewhere.File(L"0123456789abcdef0123456789abcde0") + kMarker, "");
    enum Marker { kNone, kFile, kFolder, kLinkToFile };
    struct Case {
        std::wstring name;
        Marker marker;
        bool listed;
    } cases[] = {
        {L"0123456789abcdef0123456789abcdef", kFile, true},         // a killed run's
        {L"fedcba9876543210fedcba9876543210", kNone, false},        // a bootstrap copy's
        {L"OstrelSomethingElse", kFile, false},                     // not the engine's name
        {L"00000000000000000000000000000001", kFolder, false},      // the marker a folder
        {L"00000000000000000000000000000002", kLinkToFile, false},  // the marker a link
    };
    for (const Case& c : cases) {
        const std::wstring folder = scratch.File(c.name);
        CreateDirectoryW(folder.c_str(), nullptr);
        WriteFileBytes(folder + L"\\00000000_TEMP", "temp");
        if (c.marker == kFile) {
            WriteFileBytes(folder + kMarker, "");
        } else if (c.marker == kFolder) {
            CreateDirectoryW((folder + kMarker).c_str(), nullptr);
        } else if (c.marker == kLinkToFile) {
            links.Plant(elsewhere.File(L"canary.txt"), folder + kMarker);
        }
    }
    // A folder of the right name that is a link to a marked folder elsewhere,
    // and a link inside the killed run's folder.
    links.Plant(elsewhere.File(L"0123456789abcdef0123456789abcde0"), scratch.File(L"0123456789abcdef0123456789abcde1"));
    links.Plant(elsewhere.Path(), scratch.File(L"0123456789abcdef0123456789abcdef\\link"));
    RunTempFolder live;
    EXPECT_FALSE(Listed(live.GetPath()));
    EXPECT_FALSE(Listed(scratch.File(L"0123456789abcdef0123456789abcde1")));
    for (const Case& c : cases) {
        EXPECT_EQ(c.listed, Listed(scratch.File(c.name))) << c.name;
    }

    RunTempFolder::RemoveFoldersOfEndedRuns();
    EXPECT_FALSE(PathExists(scratch.File(L"0123456789abcdef0123456789abcdef\\00000000_TEMP")));
    EXPECT_EQ("kept", ReadFileBytes(elsewhere.File(L"canary.txt")));
    EXPECT_TRUE(PathExists(elsewhere.File(L"0123456789abcdef0123456789abcde0") + kMarker));
    for (const Case& c : cases) {
        EXPECT_EQ(!c.listed, PathExists(scratch.File(c.name + L"\\00000000_TEMP"))) << c.name;
    }
    EXPECT_TRUE(PathExists(live.GetPath() + kMarker));
    // What could not go waits for the restart: the killed run's folder, never
    // the link inside it.
    EXPECT_EQ(std::vector<std::wstring>{scratch.File(L"0123456789abcdef0123456789abcdef")},
              PendingDeletionsUnder(scratch.Path()));
    ForgetPendingDeletionsUnder(scratch.Path());
}

}  // namespace
