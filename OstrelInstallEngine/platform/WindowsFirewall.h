// The Windows Firewall's list of authorised applications of the current
// profile. Every function returns S_OK or throws: a failed platform call is
// the failed-call check "SUCCEEDED(hr)" with its site code. Interfaces and
// strings are released on every path; the calling thread has initialised COM.
#pragma once

#include <windows.h>
#include <netfw.h>

namespace OstrelInstallEngine {

// The current profile, owned by the caller (hold it in a ComPtr). No
// firewall manager is a Win32Exception (10105).
HRESULT InitializeFirewallProfile(INetFwProfile** fwProfile);

// TRUE when the program is listed and enabled; a program that is not listed
// is no failure.
HRESULT IsAppAuthorized(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName,
                        BOOL* fwAppEnabled);
// Adds the program unless it is listed and enabled; a listed but disabled
// entry is replaced. An empty name is refused before anything is added.
HRESULT AuthorizeApp(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName,
                     const wchar_t* fwName);
// Removes only an entry that is listed and enabled.
HRESULT UnauthorizeApp(INetFwProfile* fwProfile, const wchar_t* fwProcessImageFileName);

// One whole change each: profile, change, profile released.
void AddAppToFirewall(const wchar_t* imagePath, const wchar_t* name);
void RemoveAppFromFirewall(const wchar_t* imagePath);

}  // namespace OstrelInstallEngine
