#include "platform/WindowsFirewall.h"

#include <string>

#include "base/BStr.h"
#include "base/Check.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

namespace {

// {304CE942-6E39-40D8-943A-B913C40C9CD4}
constexpr CLSID kClsidNetFwMgr = {
    0x304ce942, 0x6e39, 0x40d8, {0x94, 0x3a, 0xb9, 0x13, 0xc4, 0x0c, 0x9c, 0xd4}};
// {EC9846B3-2762-4A6B-A214-6ACB603462D2}
constexpr CLSID kClsidNetFwAuthorizedApplication = {
    0xec9846b3, 0x2762, 0x4a6b, {0xa2, 0x14, 0x6a, 0xcb, 0x60, 0x34, 0x62, 0xd2}};

ComPtr<INetFwAuthorizedApplications> AuthorizedApplications(INetFwProfile* fwProfile, int code)
{
    ComPtr<INetFwAuthorizedApplications> applications;
    HRESULT hr = fwProfile->get_AuthorizedApplications(applications.Receive());
    OSTREL_CHECK_HRESULT(hr, code);
    return applications;
}

}  // namespace

HRESULT InitializeFirewallProfile(INetFwProfile** fwProfile)
{
    OSTREL_CHECK(fwProfile != NULL, 10111);
    *fwProfile = nullptr;
    ThreadApartment::Enter();
    ComPtr<INetFwMgr> manager;
    HRESULT hr = CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(INetFwMgr), manager.ReceiveVoid());
    if (FAILED(hr)) {
        ThrowWin32Failure(FailureSite::kFirewallManager, static_cast<DWORD>(hr));
    }
    ComPtr<INetFwPolicy> policy;
    hr = manager->get_LocalPolicy(policy.Receive());
    OSTREL_CHECK_HRESULT(hr, 10106);
    hr = policy->get_CurrentProfile(fwProfile);
    OSTREL_CHECK_HRESULT(hr, 10107);
    return S_OK;
}

HRESULT IsAppAuthorized(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName,
                        BOOL* fwAppEnabled)
{
    OSTREL_CHECK(fwProfile != NULL, 10108);
    OSTREL_CHECK(fwProcessImageFileName != NULL, 10109);
    OSTREL_CHECK(fwAppEnabled != NULL, 10110);
    *fwAppEnabled = FALSE;
    ComPtr<INetFwAuthorizedApplications> applications =
        AuthorizedApplications(fwProfile, 10112);
    BStr imagePathOwner{std::wstring(fwProcessImageFileName)};
    BSTR fwBstrProcessImageFileName = imagePathOwner.Get();
    OSTREL_CHECK(fwBstrProcessImageFileName != NULL, 10113);
    ComPtr<INetFwAuthorizedApplication> application;
    // A program that is not listed cannot be looked up: that is the answer.
    if (FAILED(applications->Item(fwBstrProcessImageFileName, application.Receive()))) {
        return S_OK;
    }
    VARIANT_BOOL enabled = VARIANT_FALSE;
    HRESULT hr = application->get_Enabled(&enabled);
    OSTREL_CHECK_HRESULT(hr, 10114);
    *fwAppEnabled = enabled != VARIANT_FALSE;
    return S_OK;
}

HRESULT AuthorizeApp(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName,
                     const wchar_t* fwName)
{
    OSTREL_CHECK(fwProfile != NULL, 10115);
    OSTREL_CHECK(fwProcessImageFileName != NULL, 10116);
    OSTREL_CHECK(fwName != NULL, 10117);
    BOOL fwAppEnabled = FALSE;
    HRESULT hr = IsAppAuthorized(fwProfile, fwProcessImageFileName, &fwAppEnabled);
    OSTREL_CHECK_HRESULT(hr, 10118);
    if (fwAppEnabled) {
        return S_OK;
    }
    ComPtr<INetFwAuthorizedApplications> applications =
        AuthorizedApplications(fwProfile, 10119);
    ComPtr<INetFwAuthorizedApplication> application;
    hr = CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                          __uuidof(INetFwAuthorizedApplication), application.ReceiveVoid());
    OSTREL_CHECK_HRESULT(hr, 10120);
    BStr imagePathOwner{std::wstring(fwProcessImageFileName)};
    BSTR fwBstrProcessImageFileName = imagePathOwner.Get();
    OSTREL_CHECK(fwBstrProcessImageFileName != NULL, 10121);
    hr = application->put_ProcessImageFileName(fwBstrProcessImageFileName);
    OSTREL_CHECK_HRESULT(hr, 10122);
    BStr nameOwner{std::wstring(fwName)};
    BSTR fwBstrName = nameOwner.Get();
    OSTREL_CHECK(SysStringLen(fwBstrName) != 0, 10123);
    hr = application->put_Name(fwBstrName);
    OSTREL_CHECK_HRESULT(hr, 10124);
    hr = applications->Add(application.Get());
    OSTREL_CHECK_HRESULT(hr, 10125);
    return S_OK;
}

HRESULT UnauthorizeApp(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName)
{
    OSTREL_CHECK(fwProfile != NULL, 10127);
    OSTREL_CHECK(fwProcessImageFileName != NULL, 10126);
    BOOL fwAppEnabled = FALSE;
    HRESULT hr = IsAppAuthorized(fwProfile, fwProcessImageFileName, &fwAppEnabled);
    OSTREL_CHECK_HRESULT(hr, 10128);
    if (!fwAppEnabled) {
        return S_OK;
    }
    ComPtr<INetFwAuthorizedApplications> applications =
        AuthorizedApplications(fwProfile, 10129);
    BStr imagePathOwner{std::wstring(fwProcessImageFileName)};
    BSTR fwBstrProcessImageFileName = imagePathOwner.Get();
    OSTREL_CHECK(fwBstrProcessImageFileName != NULL, 10130);
    hr = applications->Remove(fwBstrProcessImageFileName);
    OSTREL_CHECK_HRESULT(hr, 10131);
    return S_OK;
}

void AddAppToFirewall(const wchar_t* imagePath, const wchar_t* name)
{
    ComPtr<INetFwProfile> profile;
    HRESULT hr = InitializeFirewallProfile(profile.Receive());
    OSTREL_CHECK_HRESULT(hr, 10132);
    hr = AuthorizeApp(profile.Get(), imagePath, name);
    OSTREL_CHECK_HRESULT(hr, 10133);
}

void RemoveAppFromFirewall(const wchar_t* imagePath)
{
    ComPtr<INetFwProfile> profile;
    HRESULT hr = InitializeFirewallProfile(profile.Receive());
    OSTREL_CHECK_HRESULT(hr, 10134);
    hr = UnauthorizeApp(profile.Get(), imagePath);
    OSTREL_CHECK_HRESULT(hr, 10135);
}

}  // namespace OstrelInstallEngine
