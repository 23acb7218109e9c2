// The error of the engine's Lua binding: a narrow message. Lua errors that
// leave the script are raised as this type; the engine turns it into a
// LuaException at its boundaries, adding the calling site's code.
#pragma once

#include <stdexcept>
#include <string>

namespace OstrelInstallEngine {

class LuaBindingError : public std::runtime_error {
public:
    explicit LuaBindingError(const std::string& message) : std::runtime_error(message) {}

    const char* GetErrorMessage() const { return what(); }
};

}  // namespace OstrelInstallEngine
