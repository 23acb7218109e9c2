#include "base/Exception.h"

#include "base/RethrowWrapperException.h"

namespace OstrelInstallEngine {

void Exception::Rethrow() const
{
    throw RethrowWrapperException(Clone());
}

}  // namespace OstrelInstallEngine
