// Carries a stored exception back into flight: every text comes from the
// wrapped exception, and a Clone() is a clone of the wrapped one, so wrappers
// never nest.
#pragma once

#include <memory>

#include "base/Exception.h"

namespace OstrelInstallEngine {

class RethrowWrapperException : public Exception {
public:
    explicit RethrowWrapperException(std::unique_ptr<Exception> wrapped);
    RethrowWrapperException(const RethrowWrapperException& other);
    RethrowWrapperException& operator=(const RethrowWrapperException&) = delete;

    std::wstring GetLocalizedMessage() const override { return m_wrapped->GetLocalizedMessage(); }
    std::wstring GetLocalizedSummary() const override { return m_wrapped->GetLocalizedSummary(); }
    std::wstring GetErrorCode() const override { return m_wrapped->GetErrorCode(); }
    std::wstring GetEnglishMessage() const override { return m_wrapped->GetEnglishMessage(); }
    std::wstring GetDisplayMessage() const override { return m_wrapped->GetDisplayMessage(); }
    std::wstring GetDisplaySummary() const override { return m_wrapped->GetDisplaySummary(); }
    std::wstring GetErrorCodes() const override { return m_wrapped->GetErrorCodes(); }
    std::wstring GetReport() const override { return m_wrapped->GetReport(); }
    std::wstring GetEnglishDescription() const override
    {
        return m_wrapped->GetEnglishDescription();
    }
    const Exception* GetCause() const override { return m_wrapped->GetCause(); }
    std::unique_ptr<Exception> Clone() const override { return m_wrapped->Clone(); }

    const Exception& GetWrapped() const { return *m_wrapped; }

private:
    std::unique_ptr<Exception> m_wrapped;
};

}  // namespace OstrelInstallEngine
