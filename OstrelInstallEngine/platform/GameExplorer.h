// Registration of a game with the platform's Game Explorer. Each call creates
// the COM object and releases it before returning; the calling thread has
// initialised COM.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelInstallEngine {

// True when the game is registered for all users under the caller's instance
// GUID; false, with nothing reported, when the system has no Game Explorer.
// Parental controls that deny access fail with 10026, a failed check 10027,
// a failed registration 10028.
bool AddGame(GUID instanceId, const std::wstring& gdfBinPath,
             const std::wstring& gameInstallPath);

// Nothing happens without a Game Explorer. A game that is not registered is
// nothing to remove; any other failure of the platform throws 10029.
void RemoveGame(const GUID& instanceId);

}  // namespace OstrelInstallEngine
