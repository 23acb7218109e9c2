// A failed internal check, or an unexpected failure wrapped on its way out.
// The user sees "Internal check failed" and the code; the English text says
// which check.
#pragma once

#include "base/BaseException.h"

namespace OstrelInstallEngine {

class SanityCheckException : public BaseException {
public:
    // Error code text "%d" of the code.
    SanityCheckException(std::wstring englishMessage, int code);
    // For a check that carries a system error: the caller formats the code
    // text ("%d:%08x", site code and error).
    SanityCheckException(std::wstring englishMessage, std::wstring errorCodeText);
    // Wraps an unexpected exception: "Unexpected exception <its English
    // message>", its code text; the cause is owned from here on.
    explicit SanityCheckException(std::unique_ptr<Exception> cause);

    std::unique_ptr<Exception> Clone() const override;
};

}  // namespace OstrelInstallEngine
