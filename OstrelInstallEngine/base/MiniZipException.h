// A failure reported by the zip library: the function's name and its
// (negative) result travel with the engine's own texts.
#pragma once

#include "base/BaseException.h"

namespace OstrelInstallEngine {

class MiniZipException : public BaseException {
public:
    // Error code text "%d:%d" (code, result); English message
    // "<englishMessage> (<functionName> returned <result>)".
    MiniZipException(std::wstring localizedMessage, std::wstring localizedSummary,
                     const std::wstring& englishMessage, int code,
                     const std::wstring& functionName, int result,
                     std::unique_ptr<Exception> cause = nullptr);

    std::wstring GetDisplayMessage() const override;
    std::unique_ptr<Exception> Clone() const override;

private:
    std::wstring m_errorLine;
};

}  // namespace OstrelInstallEngine
