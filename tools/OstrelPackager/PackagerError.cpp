#include "PackagerError.h"

#include "base/Util.h"

namespace OstrelPackagerTool {

std::wstring Diagnostic(const std::wstring& file, int line, const std::wstring& text)
{
    using OstrelInstallEngine::FormatWide;
    return line > 0 ? FormatWide(L"%s:%d: error: %s", file.c_str(), line, text.c_str())
                    : FormatWide(L"%s: error: %s", file.c_str(), text.c_str());
}

}  // namespace OstrelPackagerTool
