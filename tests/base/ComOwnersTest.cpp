// The COM owners: ComPtr releases its reference on every path, BStr owns a
// copy of its text, ComInitializer pairs its initialisation with its end.
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/BStr.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"

namespace {

using OstrelInstallEngine::BStr;
using OstrelInstallEngine::ComInitializer;
using OstrelInstallEngine::ComPtr;

// An object that counts its references.
class CountedObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

    ULONG References() const { return m_references; }

private:
    ULONG m_references = 0;
};

// Each owner holds one reference; copies add one, moves do not, and every
// owner gives its reference back when it goes.
TEST(ComPtrTest, ReferenceCounting)
{
    CountedObject object;
    {
        ComPtr<IUnknown> first;
        ASSERT_EQ(S_OK, object.QueryInterface(IID_IUnknown, first.ReceiveVoid()));
        EXPECT_EQ(1u, object.References());
        {
            ComPtr<IUnknown> copy(first);
            EXPECT_EQ(2u, object.References());
            ComPtr<IUnknown> moved(std::move(copy));
            EXPECT_EQ(2u, object.References());
            EXPECT_FALSE(copy);
        }
        EXPECT_EQ(1u, object.References());
        ComPtr<IUnknown> assigned;
        assigned = first;
        EXPECT_EQ(2u, object.References());
        assigned.Reset();
        EXPECT_EQ(1u, object.References());
        ASSERT_EQ(S_OK, object.QueryInterface(IID_IUnknown, first.ReceiveVoid()));
        EXPECT_EQ(1u, object.References());
    }
    EXPECT_EQ(0u, object.References());
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
    GUID guid;
    EXPECT_EQ(S_OK, CoCreateGuid(&guid));
}

}  // namespace
