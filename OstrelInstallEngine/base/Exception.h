// The root of the engine's exceptions. Every engine failure is an object
// derived from Exception; engine code catches `const Exception&`.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace OstrelInstallEngine {

class Exception : public std::exception {
public:
    ~Exception() override = default;

    virtual std::wstring GetLocalizedMessage() const = 0;
    virtual std::wstring GetLocalizedSummary() const = 0;
    // "10232", or "10381:00000005" when a system error is attached.
    virtual std::wstring GetErrorCode() const = 0;
    virtual std::wstring GetEnglishMessage() const = 0;
    // What the user sees: the localized message followed by the error code.
    virtual std::wstring GetDisplayMessage() const = 0;
    virtual std::wstring GetDisplaySummary() const = 0;
    // The codes of the whole chain of causes; equal neighbours collapse.
    virtual std::wstring GetErrorCodes() const = 0;
    // English text of the whole chain, one "  -> from" line per cause.
    virtual std::wstring GetReport() const = 0;
    virtual std::wstring GetEnglishDescription() const = 0;
    // The wrapped failure, still owned by this exception; may be null.
    virtual const Exception* GetCause() const = 0;
    // A deep copy of the same dynamic type; the caller owns it.
    virtual std::unique_ptr<Exception> Clone() const = 0;
    // Throws a RethrowWrapperException that owns a Clone() of this one.
    [[noreturn]] virtual void Rethrow() const;
};

// Thrown by value when the script honours a cancel request; deliberately
// outside the Exception family so that only code that expects it catches it.
class CancelInstallException {};

// Runs the action; the first failure of a series is kept for later, so that
// the actions after it still run.
template <typename Action>
void KeepFirstFailure(std::exception_ptr* failure, Action action)
{
    try {
        action();
    } catch (...) {
        if (!*failure) {
            *failure = std::current_exception();
        }
    }
}

}  // namespace OstrelInstallEngine
