#include "base/GenericException.h"

#include "base/Util.h"

namespace OstrelInstallEngine {

GenericException::GenericException(std::wstring localizedMessage, std::wstring localizedSummary,
                                   std::wstring englishMessage, int code,
                                   std::unique_ptr<Exception> cause)
    : BaseException(std::move(localizedMessage), std::move(localizedSummary),
                    FormatWide(L"%d", code), std::move(englishMessage), std::move(cause))
{
}

std::unique_ptr<Exception> GenericException::Clone() const
{
    return std::make_unique<GenericException>(*this);
}

}  // namespace OstrelInstallEngine
