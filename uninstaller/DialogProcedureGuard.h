// Dialog procedures are called by the system, whose frames cannot carry a C++
// exception back to our message loop. The guard keeps the first failure of a
// procedure, and the code that runs the loop or opened the modal dialog
// rethrows it on its own stack.
#pragma once

#include <windows.h>

#include <exception>

class DialogProcedureGuard {
public:
    // The body's result, or TRUE (message handled) after keeping its failure.
    template <typename Body>
    static INT_PTR Run(Body body)
    {
        try {
            return body();
        } catch (...) {
            Keep(std::current_exception());
            return TRUE;
        }
    }

    static bool HasPending();
    // Throws the kept failure, if any, and forgets it.
    static void RethrowPending();

private:
    static void Keep(std::exception_ptr failure);

    static std::exception_ptr s_pending;
};
