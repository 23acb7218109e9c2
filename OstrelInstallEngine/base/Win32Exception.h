// A failed call of the platform: the function's name, its error and the
// system's text for it travel with the engine's own texts.
#pragma once

#include <windows.h>

#include "base/BaseException.h"

namespace OstrelInstallEngine {

class Win32Exception : public BaseException {
public:
    // Error code text "%d:%08x" (code, error); English message
    // "<englishMessage> (<functionName> returned <error>: <system text>)".
    Win32Exception(std::wstring localizedMessage, std::wstring localizedSummary,
                   const std::wstring& englishMessage, int code, const std::wstring& functionName,
                   DWORD error, std::unique_ptr<Exception> cause = nullptr);

    std::wstring GetDisplayMessage() const override;
    std::unique_ptr<Exception> Clone() const override;

private:
    std::wstring m_errorLine;
};

}  // namespace OstrelInstallEngine
