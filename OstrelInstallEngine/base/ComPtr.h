// Owner of one reference to a COM interface; released on every path.
#pragma once

#include <objbase.h>

#include <utility>

namespace OstrelInstallEngine {

template <typename Interface>
class ComPtr {
public:
    ComPtr() : m_pointer(nullptr) {}
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr& other) : m_pointer(other.m_pointer)
    {
        if (m_pointer != nullptr) {
            m_pointer->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : m_pointer(other.m_pointer) { other.m_pointer = nullptr; }
    ComPtr& operator=(ComPtr other)
    {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }

    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // For out-parameters (CoCreateInstance, QueryInterface): releases what is held.
    Interface** Receive()
    {
        Reset();
        return &m_pointer;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset()
    {
        if (m_pointer != nullptr) {
            Interface* pointer = m_pointer;
            m_pointer = nullptr;
            pointer->Release();
        }
    }

private:
    Interface* m_pointer;
};

}  // namespace OstrelInstallEngine
