// The owners of system resources give them back on every path, as the platform shows: handles,
// registry keys, COM references, BSTRs and COM initialisation.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "TestSupport.h"
#include "base/BStr.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/Exception.h"
#include "base/RegistryKey.h"
#include "base/UniqueHandle.h"

namespace {

using OstrelInstallEngine::BStr;
using OstrelInstallEngine::ComInitializer;
using OstrelInstallEngine::ComPtr;
using OstrelInstallEngine::ThreadApartment;
using OstrelInstallEngine::RegistryKey;
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

bool IsOpenKey(HKEY key)
{
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Destruction, Set and move assignment close the old file; Set keeps the new call's last
// error; Release gives the handle up open; Close closes it now.
TEST(UniqueHandleTest, FileHandleOwnership)
{
    OstrelTest::TempFolder folder;
    const std::wstring first = folder.File(L"first.txt");
    const std::wstring second = folder.File(L"second.txt");
    OstrelTest::WriteFileBytes(first, "1");
    OstrelTest::WriteFileBytes(second, "2");
    {
        UniqueFileHandle handle(OpenExclusive(first));
        ASSERT_TRUE(handle.IsValid());
        EXPECT_FALSE(IsFileFree(first));
        HANDLE secondRaw = OpenExclusive(second);
        SetLastError(ERROR_ALREADY_EXISTS);
        handle.Set(secondRaw);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
        EXPECT_EQ(secondRaw, handle.Get());
        EXPECT_TRUE(IsFileFree(first));
        handle.Set(CreateFileW(folder.File(L"missing.txt").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        EXPECT_FALSE(handle.IsValid());
        EXPECT_TRUE(IsFileFree(second));
        handle.Set(OpenExclusive(first));
    }
    EXPECT_TRUE(IsFileFree(first));

    UniqueFileHandle source(OpenExclusive(first));
    HANDLE raw = source.Get();
    UniqueFileHandle moved(std::move(source));
    EXPECT_EQ(INVALID_HANDLE_VALUE, source.Get());
    UniqueFileHandle target(OpenExclusive(second));
    target = std::move(moved);
    EXPECT_TRUE(IsFileFree(second));
    EXPECT_EQ(raw, target.Get());

    UniqueFileHandle owner(target.Release());
    EXPECT_FALSE(target.IsValid());
    EXPECT_FALSE(IsFileFree(first));
    EXPECT_TRUE(owner.Close());
    EXPECT_TRUE(IsFileFree(first));
}

// A named event lives as long as its owner; a find handle is closed with FindClose.
TEST(UniqueHandleTest, EventAndFindHandles)
{
    const wchar_t name[] = L"OstrelTests.UniqueHandleEvent";
    {
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name));
        ASSERT_TRUE(event.IsValid());
        EXPECT_TRUE(UniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, name)).IsValid());
    }
    EXPECT_FALSE(UniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, name)).IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    OstrelTest::TempFolder folder;
    OstrelTest::WriteFileBytes(folder.File(L"only.txt"), "x");
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW(folder.File(L"*.txt").c_str(), &data));
    ASSERT_TRUE(find.IsValid());
    EXPECT_TRUE(find.Close());
}

// The key owner closes on destruction, on Receive (before handing out the
// out-parameter) and on move assignment; Release gives the key up open.
TEST(RegistryKeyTest, KeyOwnership)
{
    OstrelTest::TestRegistryKey testKey(L"RegistryKey");
    auto open = [&] {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, testKey.Subkey().c_str(), 0, KEY_READ, &key));
        return key;
    };
    HKEY raw = nullptr;
    {
        RegistryKey key(open());
        raw = key.Get();
        EXPECT_TRUE(IsOpenKey(raw));
    }
    EXPECT_FALSE(IsOpenKey(raw));

    RegistryKey key(open());
    HKEY first = key.Get();
    HKEY* out = key.Receive();
    EXPECT_FALSE(IsOpenKey(first));
    EXPECT_EQ(nullptr, *out);
    *out = open();
    EXPECT_TRUE(IsOpenKey(key.Get()));

    RegistryKey moved(std::move(key));
    EXPECT_FALSE(key.IsValid());
    RegistryKey target(open());
    HKEY targetRaw = target.Get();
    target = std::move(moved);
    EXPECT_FALSE(IsOpenKey(targetRaw));
    EXPECT_TRUE(IsOpenKey(target.Get()));

    raw = target.Release();
    EXPECT_FALSE(target.IsValid());
    EXPECT_TRUE(IsOpenKey(raw));
    RegCloseKey(raw);
}

// The references of a live object: one more, then one less.
ULONG References(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// Each owner holds one reference of a system stream object; copies add one, moves do not,
// and every owner gives its reference back when it goes.
TEST(ComPtrTest, ReferenceCounting)
{
    IStream* object = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &object));
    {
        ComPtr<IUnknown> first;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, first.ReceiveVoid()));
        EXPECT_EQ(2u, References(object));
        {
            ComPtr<IUnknown> copy(first);
            EXPECT_EQ(3u, References(object));
            ComPtr<IUnknown> moved(std::move(copy));
            EXPECT_EQ(3u, References(object));
            EXPECT_FALSE(copy);
        }
        EXPECT_EQ(2u, References(object));
        ComPtr<IUnknown> assigned;
        assigned = first;
        EXPECT_EQ(3u, References(object));
        assigned.Reset();
        EXPECT_EQ(2u, References(object));
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, first.ReceiveVoid()));
        EXPECT_EQ(2u, References(object));
    }
    EXPECT_EQ(0u, object->Release());
}

// A BSTR copy of the text, embedded NULs and length included; COM starts on
// the thread with the first initializer, a nested one sees it started.
TEST(ComOwnersTest, BStrAndComInitializer)
{
    const std::wstring text(L"a\0b\u00e9", 4);
    BStr value(text);
    EXPECT_EQ(text, std::wstring(value.Get(), SysStringLen(value.Get())));
    EXPECT_EQ(nullptr, BStr().Get());
    *value.Receive() = SysAllocString(L"given");
    EXPECT_EQ(std::wstring(L"given"), value.Get());

    ComInitializer outer;
    EXPECT_EQ(S_OK, outer.Result());
    {
        ComInitializer inner;
        EXPECT_EQ(S_FALSE, inner.Result());
    }
}

// A thread enters its apartment once, at its first need, and leaves it at
// its end; a thread already in the multithreaded apartment gets 10093 with
// the system's code.
TEST(ComOwnersTest, ThreadApartmentEntersOnceAndLeaves)
{
    std::thread([] {
        ThreadApartment::Enter();
        ThreadApartment::Enter();
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();
        ThreadApartment::Leave();
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        CoUninitialize();
    }).join();
    std::thread([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        try {
            ThreadApartment::Enter();
            ADD_FAILURE() << "entered a single-threaded apartment on a multithreaded thread";
        } catch (const OstrelInstallEngine::Exception& error) {
            EXPECT_EQ(L"10093:80010106", error.GetErrorCode());  // RPC_E_CHANGED_MODE
        }
        ThreadApartment::Leave();
        CoUninitialize();
    }).join();
}

}  // namespace
