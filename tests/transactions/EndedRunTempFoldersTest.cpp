// Which temporary folders a later run may delete: only marked ones whose run
// has ended, never a live run's, a bootstrap copy's or another program's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "transactions/SystemStateManager.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::ScopedEnvironmentVariable;
using OstrelTest::TempFolder;
using OstrelTest::WriteFileBytes;

const std::wstring kMarker = std::wstring(L"\\") + SystemStateManager::kRunMarkerName;

bool Listed(const std::wstring& folder)
{
    const std::vector<std::wstring> ended = SystemStateManager::FindTempFoldersOfEndedRuns();
    return std::find(ended.begin(), ended.end(), folder) != ended.end();
}

// A killed run leaves its marked folder; the table's other folders only look
// like one in part.
TEST(EndedRunTempFolders, OnlyMarkedFoldersOfEndedRuns)
{
    TempFolder scratch;
    const ScopedEnvironmentVariable tmp(L"TMP", scratch.Path());
    const ScopedEnvironmentVariable temp(L"TEMP", scratch.Path());
    struct Case {
        std::wstring name;
        bool marked, listed;
    };
    const Case cases[] = {
        {L"0123456789abcdef0123456789abcdef", true, true},    // a killed run's
        {L"fedcba9876543210fedcba9876543210", false, false},  // a bootstrap copy's
        {L"OstrelSomethingElse", true, false},                // not the engine's name
    };
    for (const Case& folder : cases) {
        CreateDirectoryW(scratch.File(folder.name).c_str(), nullptr);
        WriteFileBytes(scratch.File(folder.name + L"\\00000000_TEMP"), "temp");
        if (folder.marked) {
            WriteFileBytes(scratch.File(folder.name) + kMarker, "");
        }
    }
    SystemStateManager live;
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((live.GetTempFolderPath() + kMarker).c_str()));
    EXPECT_FALSE(Listed(live.GetTempFolderPath()));
    for (const Case& folder : cases) {
        EXPECT_EQ(folder.listed, Listed(scratch.File(folder.name))) << folder.name;
    }
}

}  // namespace
