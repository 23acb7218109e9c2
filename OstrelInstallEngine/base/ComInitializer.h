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

// COM entered on demand: the first operation of a thread that needs COM
// initialises a single-threaded apartment (what the shell's and the games'
// objects expect), which stays for the rest of the thread and is left at its
// end. A thread that needs no COM never pays for it: under Wine a process's
// first single-threaded apartment loads the window system (70 to 110 ms).
class ThreadApartment {
public:
    // Once per thread; throws (10093) when that first CoInitialize failed.
    static void Enter();
    // At the end of a thread that may have entered.
    static void Leave();
};

}  // namespace OstrelInstallEngine
