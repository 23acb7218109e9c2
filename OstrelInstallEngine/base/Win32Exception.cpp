#include "base/Win32Exception.h"

#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

std::wstring EnglishWithError(const std::wstring& englishMessage,
                              const std::wstring& functionName, DWORD error)
{
    return FormatWide(L"%s (%s returned %08x: %s)", englishMessage.c_str(), functionName.c_str(),
                      error, GetWin32ErrorTextEnglish(error).c_str());
}

}  // namespace

Win32Exception::Win32Exception(std::wstring localizedMessage, std::wstring localizedSummary,
                               const std::wstring& englishMessage, int code,
                               const std::wstring& functionName, DWORD error,
                               std::unique_ptr<Exception> cause)
    : BaseException(std::move(localizedMessage), std::move(localizedSummary),
                    FormatWide(L"%d:%08x", code, error),
                    EnglishWithError(englishMessage, functionName, error), std::move(cause)),
      m_errorLine(Localizer::Text(kMsgWin32ErrorCode, GetErrorCode(), functionName,
                                  FormatWide(L"%08x", error), GetWin32ErrorTextLocalized(error)))
{
}

std::wstring Win32Exception::GetDisplayMessage() const
{
    return DisplayMessageWithLine(m_errorLine);
}

std::unique_ptr<Exception> Win32Exception::Clone() const
{
    return std::make_unique<Win32Exception>(*this);
}

}  // namespace OstrelInstallEngine
