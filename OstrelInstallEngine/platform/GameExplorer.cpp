#include "platform/GameExplorer.h"

#include "base/BStr.h"
#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/ComInitializer.h"
#include "base/ComPtr.h"
#include "base/GenericException.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"
#include "platform/GameExplorerInterface.h"

namespace OstrelInstallEngine {

namespace {

// What RemoveGame answers for an instance GUID it does not know.
const HRESULT kGameNotRegistered = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// Null when the system has no Game Explorer.
ComPtr<IGameExplorer> CreateGameExplorer()
{
    ThreadApartment::Enter();
    ComPtr<IGameExplorer> explorer;
    const HRESULT result = CoCreateInstance(kClsidGameExplorer, nullptr, CLSCTX_INPROC_SERVER,
                                            kIidGameExplorer, explorer.ReceiveVoid());
    if (FAILED(result)) {
        explorer.Reset();
    }
    return explorer;
}

}  // namespace

bool AddGame(GUID instanceId, const std::wstring& gdfBinPath,
             const std::wstring& gameInstallPath)
{
    BStr gdfBinPathOwner(gdfBinPath);
    BSTR bstrGDFBinPath = gdfBinPathOwner.Get();
    OSTREL_CHECK(bstrGDFBinPath != NULL, 10024);
    BStr gameInstallPathOwner(gameInstallPath);
    BSTR bstrGameInstallPath = gameInstallPathOwner.Get();
    OSTREL_CHECK(bstrGameInstallPath != NULL, 10025);

    ComPtr<IGameExplorer> explorer = CreateGameExplorer();
    if (!explorer) {
        return false;
    }
    BOOL hasAccess = FALSE;
    HRESULT result = explorer->VerifyAccess(bstrGDFBinPath, &hasAccess);
    if (FAILED(result)) {
        ThrowWin32Failure(FailureSite::kGameAccessCheck, static_cast<DWORD>(result));
    }
    if (!hasAccess) {
        throw GenericException(
            Localizer::Text(kMsgParentalControlFailure),
            Localizer::Text(kMsgParentalControlFailureSummary),
            FormatWide(L"Parental control access denied on \"%s\"", gdfBinPath.c_str()), 10026);
    }
    // The platform may write an id back; the game keeps the caller's.
    GUID platformInstanceId = instanceId;
    result = explorer->AddGame(bstrGDFBinPath, bstrGameInstallPath, GIS_ALL_USERS,
                               &platformInstanceId);
    if (FAILED(result)) {
        ThrowWin32Failure(FailureSite::kGameAdd, static_cast<DWORD>(result));
    }
    return true;
}

void RemoveGame(const GUID& instanceId)
{
    ComPtr<IGameExplorer> explorer = CreateGameExplorer();
    if (!explorer) {
        return;
    }
    const HRESULT result = explorer->RemoveGame(instanceId);
    // A game removed before, or never registered, must not make an
    // uninstallation impossible to run again.
    if (FAILED(result) && result != kGameNotRegistered) {
        ThrowWin32Failure(FailureSite::kGameRemove, static_cast<DWORD>(result));
    }
}

}  // namespace OstrelInstallEngine
