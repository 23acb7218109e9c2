#include "base/SanityCheckException.h"

#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

std::wstring ErrorCodeOf(const Exception* cause)
{
    return cause != nullptr ? cause->GetErrorCode() : std::wstring();
}

std::wstring UnexpectedMessage(const Exception* cause)
{
    return FormatWide(L"Unexpected exception %s",
                      cause != nullptr ? cause->GetEnglishMessage().c_str() : L"");
}

}  // namespace

SanityCheckException::SanityCheckException(std::wstring englishMessage, int code)
    : SanityCheckException(std::move(englishMessage), FormatWide(L"%d", code))
{
}

SanityCheckException::SanityCheckException(std::wstring englishMessage,
                                           std::wstring errorCodeText)
    : BaseException(Localizer::Text(kMsgInternalFailure),
                    Localizer::Text(kMsgInternalFailureSummary), std::move(errorCodeText),
                    std::move(englishMessage), nullptr)
{
}

SanityCheckException::SanityCheckException(std::unique_ptr<Exception> cause)
    : BaseException(Localizer::Text(kMsgInternalFailure),
                    Localizer::Text(kMsgInternalFailureSummary), ErrorCodeOf(cause.get()),
                    UnexpectedMessage(cause.get()), std::move(cause))
{
}

std::unique_ptr<Exception> SanityCheckException::Clone() const
{
    return std::make_unique<SanityCheckException>(*this);
}

}  // namespace OstrelInstallEngine
