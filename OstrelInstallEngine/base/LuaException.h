// A Lua error (a syntax or run-time error of the script, a bad argument to an
// API function) as an engine exception.
#pragma once

#include "base/BaseException.h"
#include "base/LuaBindingError.h"

namespace OstrelInstallEngine {

class LuaException : public BaseException {
public:
    // English message "Lua exception: <the binding's message>", code text "%d".
    LuaException(const LuaBindingError& error, int code);

    std::unique_ptr<Exception> Clone() const override;
};

}  // namespace OstrelInstallEngine
