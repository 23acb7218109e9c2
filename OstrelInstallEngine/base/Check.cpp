#include "base/Check.h"

#include <cstring>
#include <string>

#include "base/SanityCheckException.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

std::string WithoutDirectoryAndExtension(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    std::string result(name);
    size_t dot = result.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        result.erase(dot);
    }
    return result;
}

}  // namespace

const char* SourceFileName(const char* path)
{
    // Reports are rare; a small per-thread cache keeps the pointer valid.
    thread_local std::string name;
    name = WithoutDirectoryAndExtension(path);
    return name.c_str();
}

void ThrowCheckFailure(const char* file, int line, const char* condition, int code)
{
    throw SanityCheckException(
        FormatWide(L"Assertion failed (%hs:%d): %hs", SourceFileName(file), line, condition),
        code);
}

void ThrowCheckFailureWithError(const char* file, int line, const char* condition, int code,
                                DWORD error)
{
    std::wstring english =
        FormatWide(L"Assertion failed (%hs:%d): %hs; HRESULT %08x: %s", SourceFileName(file), line,
                   condition, error, GetWin32ErrorTextEnglish(error).c_str());
    throw SanityCheckException(english, FormatWide(L"%d:%08x", code, error));
}

}  // namespace OstrelInstallEngine
