// Move-only owners of kernel handles. Handles that are invalid as NULL (events,
// threads, mutexes, mappings) and handles that are invalid as
// INVALID_HANDLE_VALUE (files, find handles) are different types, so one
// cannot be tested against the other's invalid value.
#pragma once

#include <windows.h>

#include <utility>

namespace OstrelInstallEngine {

template <typename Traits>
class UniqueHandleT {
public:
    using Handle = typename Traits::Handle;

    UniqueHandleT() : m_handle(Traits::Invalid()) {}
    explicit UniqueHandleT(Handle handle) : m_handle(handle) {}
    ~UniqueHandleT() { Close(); }

    UniqueHandleT(UniqueHandleT&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept
    {
        if (this != &other) {
            Set(other.Release());
        }
        return *this;
    }
    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;

    bool IsValid() const { return m_handle != Traits::Invalid(); }
    Handle Get() const { return m_handle; }
    bool operator==(Handle handle) const { return m_handle == handle; }
    bool operator!=(Handle handle) const { return m_handle != handle; }

    // Takes ownership of a new handle, closing the old one. GetLastError is
    // left as it was, so a caller can still read the error of the call that
    // produced the new handle.
    void Set(Handle handle)
    {
        if (handle == m_handle) {
            return;
        }
        DWORD lastError = GetLastError();
        Close();
        m_handle = handle;
        SetLastError(lastError);
    }

    // Gives up ownership; the caller closes the handle.
    Handle Release()
    {
        Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }

    // Closes the handle now; returns false (with the last error set) when the
    // system refused, and the handle is then given up all the same.
    bool Close()
    {
        if (!IsValid()) {
            return true;
        }
        Handle handle = Release();
        return Traits::Close(handle);
    }

private:
    Handle m_handle;
};

struct NullInvalidHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return FreeLibrary(handle) != FALSE; }
};

struct MappedViewTraits {
    using Handle = const void*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle view) { return UnmapViewOfFile(view) != FALSE; }
};

// Events, threads, processes, mutexes, pipes: invalid as NULL.
using UniqueHandle = UniqueHandleT<NullInvalidHandleTraits>;
// Files from CreateFileW: invalid as INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueHandleT<FileHandleTraits>;
// FindFirstFileW results.
using UniqueFindHandle = UniqueHandleT<FindHandleTraits>;
// LoadLibrary results.
using UniqueModule = UniqueHandleT<ModuleHandleTraits>;
// MapViewOfFile results.
using UniqueMappedView = UniqueHandleT<MappedViewTraits>;

}  // namespace OstrelInstallEngine
