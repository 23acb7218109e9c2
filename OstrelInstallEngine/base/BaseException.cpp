#include "base/BaseException.h"

#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

std::unique_ptr<Exception> CloneOrNull(const Exception* exception)
{
    return exception != nullptr ? exception->Clone() : nullptr;
}

}  // namespace

BaseException::BaseException(std::wstring localizedMessage, std::wstring localizedSummary,
                             std::wstring errorCode, std::wstring englishMessage,
                             std::unique_ptr<Exception>&& cause)
    : m_localizedMessage(std::move(localizedMessage)),
      m_localizedSummary(std::move(localizedSummary)),
      m_errorCode(std::move(errorCode)),
      m_englishMessage(std::move(englishMessage)),
      m_cause(std::move(cause))
{
}

BaseException::BaseException(const BaseException& other)
    : Exception(other),
      m_localizedMessage(other.m_localizedMessage),
      m_localizedSummary(other.m_localizedSummary),
      m_errorCode(other.m_errorCode),
      m_englishMessage(other.m_englishMessage),
      m_cause(CloneOrNull(other.m_cause.get()))
{
}

const char* BaseException::what() const noexcept
{
    if (m_narrowText.empty()) {
        try {
            for (wchar_t c : GetEnglishDescription()) {
                if (c < 128) {
                    m_narrowText += static_cast<char>(c);
                }
            }
        } catch (const std::exception&) {
            return "OstrelInstallEngine::BaseException";
        }
    }
    return m_narrowText.c_str();
}

std::wstring BaseException::DisplayMessageWithLine(const std::wstring& errorLine) const
{
    return Localizer::Text(kMsgMessageWithCode, m_localizedMessage, errorLine);
}

std::wstring BaseException::GetDisplayMessage() const
{
    return DisplayMessageWithLine(Localizer::Text(kMsgErrorCode, m_errorCode));
}

std::wstring BaseException::GetDisplaySummary() const
{
    return Localizer::Text(kMsgSummaryWithCode, m_localizedSummary, m_errorCode);
}

std::wstring BaseException::GetErrorCodes() const
{
    if (!m_cause) {
        return m_errorCode;
    }
    if (m_cause->GetErrorCode() == m_errorCode) {
        return m_cause->GetErrorCodes();
    }
    return FormatWide(L"%s / %s", m_errorCode.c_str(), m_cause->GetErrorCodes().c_str());
}

std::wstring BaseException::GetReport() const
{
    if (!m_cause) {
        return FormatWide(L"%s (%s)\n", m_englishMessage.c_str(), GetErrorCodes().c_str());
    }
    return FormatWide(L"%s (%s)\n  -> from %s", m_englishMessage.c_str(),
                      GetErrorCodes().c_str(), m_cause->GetReport().c_str());
}

std::wstring BaseException::GetEnglishDescription() const
{
    return FormatWide(L"%s (%s)", m_englishMessage.c_str(), GetErrorCodes().c_str());
}

}  // namespace OstrelInstallEngine
