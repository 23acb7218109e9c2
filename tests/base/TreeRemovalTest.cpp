// The tree removal against links that the host's shell planted in the tree:
// whatever a link points to outside the tree survives, and the rest goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/TreeRemoval.h"
#include "base/UniqueHandle.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::HostLinks;
using OstrelTest::ForgetPendingDeletionsUnder;
using OstrelTest::PathExists;
using OstrelTest::PendingDeletionsUnder;
using OstrelTest::ReadFileBytes;
using OstrelTest::TempFolder;
using OstrelTest::WriteFileBytes;

class TreeRemovalTest : public testing::Test {
protected:
    // tree\ holds files (one read-only), a nested folder and, when asked,
    // links to a folder and a file outside it, and to an empty outside folder.
    void MakeTree(bool withLinks)
    {
        for (const wchar_t* folder : {L"tree", L"tree\\sub", L"tree\\sub\\deeper", L"outside", L"empty"}) {
            CreateDirectoryW(m_scratch.File(folder).c_str(), nullptr);
        }
        for (const wchar_t* file : {L"tree\\a.txt", L"tree\\sub\\b.txt", L"tree\\sub\\deeper\\c.txt",
                                    L"tree\\read-only.txt", L"outside\\canary.txt"}) {
            WriteFileBytes(m_scratch.File(file), "kept");
        }
        SetFileAttributesW(m_scratch.File(L"tree\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        if (withLinks) {
            m_links.Plant(m_scratch.File(L"outside"), m_scratch.File(L"tree\\sub\\folder-link"));
            m_links.Plant(m_scratch.File(L"outside\\canary.txt"), m_scratch.File(L"tree\\file-link"));
            m_links.Plant(m_scratch.File(L"empty"), m_scratch.File(L"tree\\empty-link"));
            m_links.Plant(m_scratch.File(L"outside"), m_scratch.File(L"root-link"));
        }
    }
    void ExpectOutsideUntouched()
    {
        EXPECT_EQ("kept", ReadFileBytes(m_scratch.File(L"outside\\canary.txt")));
        EXPECT_TRUE(PathExists(m_scratch.File(L"empty")));
    }

    TempFolder m_scratch;
    HostLinks m_links;
};

// A tree without links goes whole, read-only files included; a single file
// goes too, and a missing path or a pattern fails without touching anything.
TEST_F(TreeRemovalTest, RemovesPlainTreesAndFiles)
{
    MakeTree(false);
    EXPECT_FALSE(RemoveTree(m_scratch.File(L"outside\\canary.txt"), Leftovers::kKeep).Happened());
    EXPECT_FALSE(RemoveTree(m_scratch.File(L"tree"), Leftovers::kKeep).Happened());
    EXPECT_FALSE(PathExists(m_scratch.File(L"tree")) || PathExists(m_scratch.File(L"outside\\canary.txt")));

    const RemovalFailure missing = RemoveTree(m_scratch.File(L"tree"), Leftovers::kKeep);
    EXPECT_EQ(std::wstring(L"FindFirstFileW"), missing.functionName);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), RemoveTree(m_scratch.File(L"*"), Leftovers::kKeep).error);
    EXPECT_TRUE(PathExists(m_scratch.File(L"empty")));
}

// Links inside the tree are never followed, and a tree that is itself a link
// is not entered: the targets survive, the rest of the tree goes, and the
// failure names the link that stopped the walk.
TEST_F(TreeRemovalTest, NeverFollowsLinks)
{
    MakeTree(true);
    const RemovalFailure viaRoot = RemoveTree(m_scratch.File(L"root-link"), Leftovers::kKeep);
    EXPECT_EQ(kErrorStoppedOnSymlink, viaRoot.error);
    ExpectOutsideUntouched();

    const RemovalFailure failure = RemoveTree(m_scratch.File(L"tree"), Leftovers::kKeep);
    EXPECT_EQ(std::wstring(L"CreateFileW"), failure.functionName);
    EXPECT_EQ(kErrorStoppedOnSymlink, failure.error);
    ExpectOutsideUntouched();
    for (const wchar_t* gone : {L"tree\\a.txt", L"tree\\read-only.txt", L"tree\\sub\\b.txt", L"tree\\sub\\deeper"}) {
        EXPECT_FALSE(PathExists(m_scratch.File(gone))) << gone;
    }
}

// What is held goes at the next restart, after its contents; a link never
// does.
TEST_F(TreeRemovalTest, SchedulesOnlyWhatItFoundInTheTree)
{
    MakeTree(true);
    const UniqueFileHandle held(CreateFileW(m_scratch.File(L"tree\\a.txt").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    RemoveTree(m_scratch.File(L"tree"), Leftovers::kDeleteAtRestart);
    const std::vector<std::wstring> scheduled = PendingDeletionsUnder(m_scratch.Path());
    ForgetPendingDeletionsUnder(m_scratch.Path());
    // The folder that still holds a link cannot go either: it is named, before
    // the folder above it; the link never is.
    EXPECT_EQ((std::vector<std::wstring>{m_scratch.File(L"tree\\a.txt"), m_scratch.File(L"tree\\sub"),
                                         m_scratch.File(L"tree")}),
              scheduled);
    ExpectOutsideUntouched();
}

}  // namespace
