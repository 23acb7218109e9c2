// A malformed pattern or a bad capture reference met by WidePatternMatcher.
// The message is the text Lua's string library gives for the same fault;
// the Lua binding raises it as a Lua error and it never leaves the binding.
#pragma once

#include <stdexcept>
#include <string>

namespace OstrelInstallEngine {

class WidePatternException : public std::runtime_error {
public:
    explicit WidePatternException(const std::string& message);
};

}  // namespace OstrelInstallEngine
