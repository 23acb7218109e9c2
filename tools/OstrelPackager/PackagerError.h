// What the packager reports when it stops: the lines for the user and the
// process exit code.
#pragma once

#include <string>
#include <vector>

namespace OstrelPackagerTool {

enum PackagerExitCode {
    pecSuccess = 0,
    pecBadCommandLine = 1,
    pecBadPackage = 2,
    pecNotAnUninstaller = 3,
    pecOutputRefused = 4,
    pecWriteFailed = 5,
};

// "file:line: error: text", or "file: error: text" for line 0.
std::wstring Diagnostic(const std::wstring& file, int line, const std::wstring& text);

struct PackagerError {
    PackagerError(int code, std::vector<std::wstring> messageLines)
        : exitCode(code), lines(std::move(messageLines))
    {
    }
    PackagerError(int code, const std::wstring& file, const std::wstring& text)
        : exitCode(code), lines{Diagnostic(file, 0, text)}
    {
    }

    int exitCode;
    std::vector<std::wstring> lines;
};

}  // namespace OstrelPackagerTool
