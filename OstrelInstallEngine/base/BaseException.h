// The four texts and the optional cause that every concrete engine exception
// carries, with the report formats built from them.
#pragma once

#include <memory>
#include <string>

#include "base/Exception.h"

namespace OstrelInstallEngine {

class BaseException : public Exception {
public:
    // Copies deep-copy the cause (throwing by value copies the object).
    BaseException(const BaseException& other);
    BaseException& operator=(const BaseException&) = delete;
    ~BaseException() override = default;

    // Narrow form of GetEnglishDescription without characters at or above 128.
    const char* what() const noexcept override;

    std::wstring GetLocalizedMessage() const override { return m_localizedMessage; }
    std::wstring GetLocalizedSummary() const override { return m_localizedSummary; }
    std::wstring GetErrorCode() const override { return m_errorCode; }
    std::wstring GetEnglishMessage() const override { return m_englishMessage; }
    std::wstring GetDisplayMessage() const override;
    std::wstring GetDisplaySummary() const override;
    std::wstring GetErrorCodes() const override;
    std::wstring GetReport() const override;
    std::wstring GetEnglishDescription() const override;
    const Exception* GetCause() const override { return m_cause.get(); }

protected:
    BaseException(std::wstring localizedMessage, std::wstring localizedSummary,
                  std::wstring errorCode, std::wstring englishMessage,
                  std::unique_ptr<Exception>&& cause);

    // "%1ERROR_MESSAGE% (%2ERROR_CODE%)" with the localized message and a line
    // that explains the code; subclasses with a richer line pass their own.
    std::wstring DisplayMessageWithLine(const std::wstring& errorLine) const;

private:
    std::wstring m_localizedMessage;
    std::wstring m_localizedSummary;
    std::wstring m_errorCode;
    std::wstring m_englishMessage;
    std::unique_ptr<Exception> m_cause;
    mutable std::string m_narrowText;
};

}  // namespace OstrelInstallEngine
