// COM initialised on the current thread for the object's lifetime.
#pragma once

#include <objbase.h>

namespace OstrelInstallEngine {

class ComInitializer {
public:
    ComInitializer() : m_result(CoInitialize(nullptr)) {}
    ~ComInitializer()
    {
        if (SUCCEEDED(m_result)) {
            CoUninitialize();
        }
    }
    ComInitializer(const ComInitializer&) = delete;
    ComInitializer& operator=(const ComInitializer&) = delete;

    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

}  // namespace OstrelInstallEngine
