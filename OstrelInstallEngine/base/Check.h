// The engine's one family of checks. A failed check throws a
// SanityCheckException whose English text names the source file, the line and
// the condition: "Assertion failed (%hs:%d): %hs", or, with a system error
// attached, "Assertion failed (%hs:%d): %hs; HRESULT %08x: %s" and the code
// text "%d:%08x". Checks are always active.
#pragma once

#include <windows.h>

namespace OstrelInstallEngine {

// "C:\src\Util.cpp" -> "Util": the name the reports give for a source file.
const char* SourceFileName(const char* path);

[[noreturn]] void ThrowCheckFailure(const char* file, int line, const char* condition, int code);
[[noreturn]] void ThrowCheckFailureWithError(const char* file, int line, const char* condition,
                                             int code, DWORD error);

}  // namespace OstrelInstallEngine

// The source file's bare name: the reports need no more, and an executable
// then carries no path of the machine that built it (wherever the build ran,
// and whatever form of the path the compiler was given).
#define OSTREL_SOURCE_FILE __FILE_NAME__

// Throws code when the condition does not hold.
#define OSTREL_CHECK(condition, code)                                                     \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            ::OstrelInstallEngine::ThrowCheckFailure(OSTREL_SOURCE_FILE, __LINE__,        \
                                                     #condition, (code));                 \
        }                                                                                 \
    } while (0)

// The same, attaching the thread's last error, read before anything else runs.
#define OSTREL_CHECK_LAST_ERROR(condition, code)                                          \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            const DWORD ostrelLastError_ = ::GetLastError();                              \
            ::OstrelInstallEngine::ThrowCheckFailureWithError(                            \
                OSTREL_SOURCE_FILE, __LINE__, #condition, (code), ostrelLastError_);      \
        }                                                                                 \
    } while (0)

// The same, where the report names the condition in another form than the
// code that tests it (for example a handle owner's Get()).
#define OSTREL_CHECK_LAST_ERROR_AS(condition, conditionText, code)                        \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            const DWORD ostrelLastError_ = ::GetLastError();                              \
            ::OstrelInstallEngine::ThrowCheckFailureWithError(                            \
                OSTREL_SOURCE_FILE, __LINE__, conditionText, (code), ostrelLastError_);   \
        }                                                                                 \
    } while (0)

// The same, attaching a given system error or status.
#define OSTREL_CHECK_ERROR(condition, code, error)                                        \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            ::OstrelInstallEngine::ThrowCheckFailureWithError(                            \
                OSTREL_SOURCE_FILE, __LINE__, #condition, (code),                         \
                static_cast<DWORD>(error));                                               \
        }                                                                                 \
    } while (0)

// Checks that an HRESULT variable succeeded: condition text "SUCCEEDED(<name>)".
#define OSTREL_CHECK_HRESULT(result, code) OSTREL_CHECK_ERROR(SUCCEEDED(result), (code), (result))

// A place that must never be reached (condition text "false").
#define OSTREL_FAIL(code) \
    ::OstrelInstallEngine::ThrowCheckFailure(OSTREL_SOURCE_FILE, __LINE__, "false", (code))
#define OSTREL_FAIL_LAST_ERROR(code)                                                      \
    do {                                                                                  \
        const DWORD ostrelLastError_ = ::GetLastError();                                  \
        ::OstrelInstallEngine::ThrowCheckFailureWithError(OSTREL_SOURCE_FILE, __LINE__,   \
                                                          "false", (code),                \
                                                          ostrelLastError_);              \
    } while (0)
#define OSTREL_FAIL_ERROR(code, error)                                                    \
    ::OstrelInstallEngine::ThrowCheckFailureWithError(OSTREL_SOURCE_FILE, __LINE__, "false", \
                                                      (code), static_cast<DWORD>(error))
