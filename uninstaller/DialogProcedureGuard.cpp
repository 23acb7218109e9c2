#include "DialogProcedureGuard.h"

std::exception_ptr DialogProcedureGuard::s_pending;

bool DialogProcedureGuard::HasPending()
{
    return static_cast<bool>(s_pending);
}

void DialogProcedureGuard::RethrowPending()
{
    if (s_pending) {
        std::exception_ptr failure = s_pending;
        s_pending = nullptr;
        std::rethrow_exception(failure);
    }
}

void DialogProcedureGuard::Keep(std::exception_ptr failure)
{
    // The first failure explains the rest.
    if (!s_pending) {
        s_pending = failure;
    }
}
