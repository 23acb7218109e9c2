// The Game Explorer's COM interface as the platform SDK publishes it; the
// mingw-w64 headers do not declare it.
#pragma once

#include <objbase.h>
#include <oleauto.h>

namespace OstrelInstallEngine {

enum GameInstallScope {
    GIS_NOT_INSTALLED = 1,
    GIS_CURRENT_USER = 2,
    GIS_ALL_USERS = 3,
};

// {9A5EA990-3034-4D6F-9128-01F3C61022BC}
constexpr CLSID kClsidGameExplorer = {
    0x9a5ea990, 0x3034, 0x4d6f, {0x91, 0x28, 0x01, 0xf3, 0xc6, 0x10, 0x22, 0xbc}};
// {E7B2FB72-D728-49B3-A5F2-18EBF5F1349E}
constexpr IID kIidGameExplorer = {
    0xe7b2fb72, 0xd728, 0x49b3, {0xa5, 0xf2, 0x18, 0xeb, 0xf5, 0xf1, 0x34, 0x9e}};

// Methods in the order of the published vtable.
struct IGameExplorer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddGame(BSTR gdfBinaryPath, BSTR gameInstallDirectory,
                                              GameInstallScope installScope,
                                              GUID* instanceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveGame(GUID instanceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateGame(GUID instanceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE VerifyAccess(BSTR gdfBinaryPath, BOOL* hasAccess) = 0;
};

}  // namespace OstrelInstallEngine
