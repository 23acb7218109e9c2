// An expected, user-facing failure: the script's own errors, the install lock
// held by another process, and the like.
#pragma once

#include "base/BaseException.h"

namespace OstrelInstallEngine {

class GenericException : public BaseException {
public:
    // Error code text "%d" of the code.
    GenericException(std::wstring localizedMessage, std::wstring localizedSummary,
                     std::wstring englishMessage, int code,
                     std::unique_ptr<Exception> cause = nullptr);

    std::unique_ptr<Exception> Clone() const override;
};

}  // namespace OstrelInstallEngine
