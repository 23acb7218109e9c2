// Move-only owner of an open registry key. Predefined roots (HKEY_CURRENT_USER
// and the like) are never put into one.
#pragma once

#include <windows.h>

namespace OstrelInstallEngine {

class RegistryKey {
public:
    RegistryKey() : m_key(nullptr) {}
    explicit RegistryKey(HKEY key) : m_key(key) {}
    ~RegistryKey() { Close(); }

    RegistryKey(RegistryKey&& other) noexcept : m_key(other.Release()) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_key = other.Release();
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool IsValid() const { return m_key != nullptr; }
    HKEY Get() const { return m_key; }
    // For out-parameters of RegOpenKeyExW and RegCreateKeyExW; closes any key held.
    HKEY* Receive()
    {
        Close();
        return &m_key;
    }
    HKEY Release()
    {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }
    // The system's answer to the close; ERROR_SUCCESS when nothing was open.
    LONG Close()
    {
        return m_key != nullptr ? RegCloseKey(Release()) : ERROR_SUCCESS;
    }

private:
    HKEY m_key;
};

}  // namespace OstrelInstallEngine
