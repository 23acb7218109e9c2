// The handle owners close what they own, on destruction, on Set and on move
// assignment, as the platform shows: a file opened without sharing can be
// opened again only once its owner has closed it, and a named event vanishes
// with its last handle.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "TestSupport.h"
#include "base/UniqueHandle.h"

namespace {

using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::UniqueFindHandle;
using OstrelInstallEngine::UniqueHandle;

HANDLE OpenExclusive(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// True when nobody holds the file open: an exclusive open succeeds.
bool IsFileFree(const std::wstring& path)
{
    HANDLE probe = OpenExclusive(path);
    if (probe == INVALID_HANDLE_VALUE) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        return false;
    }
    CloseHandle(probe);
    return true;
}

class UniqueFileHandleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_first = m_folder.File(L"first.txt");
        m_second = m_folder.File(L"second.txt");
        OstrelTest::WriteFileBytes(m_first, "1");
        OstrelTest::WriteFileBytes(m_second, "2");
    }

    OstrelTest::TempFolder m_folder;
    std::wstring m_first;
    std::wstring m_second;
};

// Destruction closes the file.
TEST_F(UniqueFileHandleTest, ClosesOnDestruction)
{
    {
        UniqueFileHandle handle(OpenExclusive(m_first));
        ASSERT_TRUE(handle.IsValid());
        EXPECT_FALSE(IsFileFree(m_first));
    }
    EXPECT_TRUE(IsFileFree(m_first));
}

// Set closes the old handle and leaves the last error of the new one's call.
TEST_F(UniqueFileHandleTest, SetClosesOldAndKeepsLastError)
{
    UniqueFileHandle handle(OpenExclusive(m_first));
    ASSERT_TRUE(handle.IsValid());
    HANDLE second = OpenExclusive(m_second);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);
    SetLastError(ERROR_ALREADY_EXISTS);
    handle.Set(second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(second, handle.Get());
    EXPECT_TRUE(IsFileFree(m_first));
    EXPECT_FALSE(IsFileFree(m_second));

    // A failed open handed to Set: the owner is empty and the error is the open's.
    handle.Set(CreateFileW(m_folder.File(L"missing.txt").c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(handle.IsValid());
    EXPECT_TRUE(IsFileFree(m_second));
}

// Moving transfers ownership; move assignment closes the target's old file.
TEST_F(UniqueFileHandleTest, MoveSemantics)
{
    UniqueFileHandle first(OpenExclusive(m_first));
    HANDLE raw = first.Get();
    UniqueFileHandle moved(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, first.Get());
    EXPECT_EQ(raw, moved.Get());

    UniqueFileHandle target(OpenExclusive(m_second));
    target = std::move(moved);
    EXPECT_TRUE(IsFileFree(m_second));
    EXPECT_FALSE(IsFileFree(m_first));
    EXPECT_EQ(raw, target.Get());
    EXPECT_FALSE(moved.IsValid());

    target = UniqueFileHandle();
    EXPECT_TRUE(IsFileFree(m_first));
}

// Release gives the handle up without closing it; Close closes it now.
TEST_F(UniqueFileHandleTest, ReleaseAndClose)
{
    HANDLE raw = INVALID_HANDLE_VALUE;
    {
        UniqueFileHandle handle(OpenExclusive(m_first));
        raw = handle.Release();
        EXPECT_FALSE(handle.IsValid());
    }
    EXPECT_FALSE(IsFileFree(m_first));
    UniqueFileHandle owner(raw);
    EXPECT_TRUE(owner.Close());
    EXPECT_FALSE(owner.IsValid());
    EXPECT_TRUE(IsFileFree(m_first));
    EXPECT_TRUE(owner.Close());
}

// The invalid values of the kinds differ: NULL for events, INVALID_HANDLE_VALUE for files.
TEST(UniqueHandleTest, InvalidValues)
{
    EXPECT_EQ(nullptr, UniqueHandle().Get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, UniqueFileHandle().Get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, UniqueFindHandle().Get());
    EXPECT_FALSE(UniqueHandle().IsValid());
    EXPECT_FALSE(UniqueFileHandle(INVALID_HANDLE_VALUE).IsValid());
}

// A named event lives as long as its owner.
TEST(UniqueHandleTest, EventClosesOnDestruction)
{
    const wchar_t name[] = L"OstrelTests.UniqueHandleEvent";
    {
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name));
        ASSERT_TRUE(event.IsValid());
        UniqueHandle opened(OpenEventW(SYNCHRONIZE, FALSE, name));
        EXPECT_TRUE(opened.IsValid());
    }
    UniqueHandle reopened(OpenEventW(SYNCHRONIZE, FALSE, name));
    EXPECT_FALSE(reopened.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// A find handle walks a folder and is closed with FindClose.
TEST(UniqueHandleTest, FindHandle)
{
    OstrelTest::TempFolder folder;
    OstrelTest::WriteFileBytes(folder.File(L"only.txt"), "x");
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW(folder.File(L"*.txt").c_str(), &data));
    ASSERT_TRUE(find.IsValid());
    EXPECT_EQ(std::wstring(L"only.txt"), data.cFileName);
    EXPECT_FALSE(FindNextFileW(find.Get(), &data));
    EXPECT_TRUE(find.Close());
}

}  // namespace
