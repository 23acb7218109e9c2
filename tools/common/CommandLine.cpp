#include "common/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "base/LocalMemory.h"

std::vector<std::wstring> CommandLineArguments()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const OstrelInstallEngine::LocalMemory owner(arguments);
    if (arguments == nullptr) {
        return {};
    }
    return std::vector<std::wstring>(arguments, arguments + count);
}
