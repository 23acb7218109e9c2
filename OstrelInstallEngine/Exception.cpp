#include "Exception.h"

#include "RethrowWrapperException.h"

namespace OstrelInstallEngine {

void Exception::Rethrow() const
{
    throw RethrowWrapperException(Clone());
}

}  // namespace OstrelInstallEngine
