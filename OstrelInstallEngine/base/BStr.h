// Owner of a BSTR allocated with SysAllocString; freed on every path.
#pragma once

#include <oleauto.h>

#include <string>

namespace OstrelInstallEngine {

class BStr {
public:
    BStr() : m_text(nullptr) {}
    // A copy of the text; Get() is null only when the system ran out of memory.
    explicit BStr(const std::wstring& text)
        : m_text(SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size())))
    {
    }
    ~BStr() { SysFreeString(m_text); }
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;

    BSTR Get() const { return m_text; }
    // For out-parameters that hand over a BSTR: frees what is held.
    BSTR* Receive()
    {
        SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }

private:
    BSTR m_text;
};

}  // namespace OstrelInstallEngine
