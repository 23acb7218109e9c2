#include "base/MiniZipException.h"

#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

MiniZipException::MiniZipException(std::wstring localizedMessage, std::wstring localizedSummary,
                                   const std::wstring& englishMessage, int code,
                                   const std::wstring& functionName, int result,
                                   std::unique_ptr<Exception> cause)
    : BaseException(std::move(localizedMessage), std::move(localizedSummary),
                    FormatWide(L"%d:%d", code, result),
                    FormatWide(L"%s (%s returned %d)", englishMessage.c_str(),
                               functionName.c_str(), result),
                    std::move(cause)),
      m_errorLine(Localizer::Text(kMsgZlibErrorCode, GetErrorCode(), functionName,
                                  FormatWide(L"%d", result)))
{
}

std::wstring MiniZipException::GetDisplayMessage() const
{
    return DisplayMessageWithLine(m_errorLine);
}

std::unique_ptr<Exception> MiniZipException::Clone() const
{
    return std::make_unique<MiniZipException>(*this);
}

}  // namespace OstrelInstallEngine
