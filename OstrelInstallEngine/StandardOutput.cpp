#include "StandardOutput.h"

#include <cstdarg>
#include <string>

#include "Util.h"

namespace OstrelInstallEngine {

void PrintFormatted(FILE* stream, const wchar_t* format, ...)
{
    struct ArgumentsEnd {
        va_list& arguments;
        ~ArgumentsEnd() { va_end(arguments); }
    };
    va_list arguments;
    va_start(arguments, format);
    ArgumentsEnd end{arguments};
    const std::wstring text = FormatWideV(format, arguments);
    fputws(text.c_str(), stream);
    fflush(stream);
}

}  // namespace OstrelInstallEngine
