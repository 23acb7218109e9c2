#include "script/WidePatternException.h"

namespace OstrelInstallEngine {

WidePatternException::WidePatternException(const std::string& message)
    : std::runtime_error(message)
{
}

}  // namespace OstrelInstallEngine
