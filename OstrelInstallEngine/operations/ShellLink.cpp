#include "operations/ShellLink.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
// After the COM headers, whose interface macros it uses without including them.
#include <intshcut.h>

#include <memory>

#include "base/Check.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Win32Exception.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/SystemStateManager.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

namespace {

// The shell's classes and interfaces by value, so that no GUID library of the
// toolchain decides which of them exist.
const CLSID kShellLinkClass = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kShellLinkInterface = {
    0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID kInternetShortcutClass = {
    0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kUrlInterface = {
    0xCABB0DA0, 0xDA57, 0x11CF, {0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x62}};
const IID kPersistFileInterface = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void BackUpExistingLink(Transaction& transaction, const std::wstring& linkPath)
{
    if (transaction.GetSystemStateManager().IsFile(linkPath)) {
        transaction.BackupFileTransacted(linkPath);
    }
}

// The new file is queued for removal before it is written, so that a save
// that fails halfway leaves nothing behind after the rollback.
void SaveLink(Transaction& transaction, IPersistFile* file, const std::wstring& linkPath,
              const Win32FailureSite& site)
{
    transaction.AddRollbackTask(std::make_unique<RemoveFileTask>(linkPath));
    HRESULT result = file->Save(linkPath.c_str(), TRUE);
    if (FAILED(result)) {
        ThrowWin32Failure(site, static_cast<DWORD>(result), linkPath);
    }
}

}  // namespace

void ShellLink::CreateShortcut(Transaction& transaction, const Fields& fields)
{
    ThreadApartment::Enter();
    BackUpExistingLink(transaction, fields.linkPath);
    ComPtr<IShellLinkW> link;
    HRESULT result = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER,
                                      kShellLinkInterface, link.ReceiveVoid());
    OSTREL_CHECK_HRESULT(result, 10200);
    result = link->SetPath(fields.target.c_str());
    OSTREL_CHECK_HRESULT(result, 10201);
    result = link->SetArguments(fields.arguments.c_str());
    OSTREL_CHECK_HRESULT(result, 10202);
    result = link->SetDescription(fields.description.c_str());
    OSTREL_CHECK_HRESULT(result, 10203);
    result = link->SetWorkingDirectory(fields.workingFolder.c_str());
    OSTREL_CHECK_HRESULT(result, 10204);
    ComPtr<IPersistFile> file;
    result = link->QueryInterface(kPersistFileInterface, file.ReceiveVoid());
    OSTREL_CHECK_HRESULT(result, 10205);
    result = link->SetIconLocation(fields.iconPath.c_str(), fields.iconIndex);
    OSTREL_CHECK_HRESULT(result, 10227);
    SaveLink(transaction, file.Get(), fields.linkPath, FailureSite::kShortcutSave);
}

void ShellLink::CreateUrlShortcut(Transaction& transaction, const std::wstring& linkPath,
                                  const std::wstring& url)
{
    ThreadApartment::Enter();
    BackUpExistingLink(transaction, linkPath);
    ComPtr<IUniformResourceLocatorW> shortcut;
    HRESULT result = CoCreateInstance(kInternetShortcutClass, nullptr, CLSCTX_INPROC_SERVER,
                                      kUrlInterface, shortcut.ReceiveVoid());
    OSTREL_CHECK_HRESULT(result, 10206);
    result = shortcut->SetURL(url.c_str(), 0);
    OSTREL_CHECK_HRESULT(result, 10208);
    ComPtr<IPersistFile> file;
    result = shortcut->QueryInterface(kPersistFileInterface, file.ReceiveVoid());
    OSTREL_CHECK_HRESULT(result, 10209);
    SaveLink(transaction, file.Get(), linkPath, FailureSite::kUrlShortcutSave);
}

}  // namespace OstrelInstallEngine
