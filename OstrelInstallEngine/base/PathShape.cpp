#include "base/PathShape.h"

#include <vector>

namespace OstrelInstallEngine {

namespace {

bool IsSeparator(wchar_t character)
{
    return character == L'\\' || character == L'/';
}

std::vector<std::wstring> Components(const std::wstring& text, const wchar_t* separators)
{
    std::vector<std::wstring> components;
    size_t start = 0;
    for (size_t end = text.find_first_of(separators); end != std::wstring::npos;
         start = end + 1, end = text.find_first_of(separators, start)) {
        components.push_back(text.substr(start, end - start));
    }
    components.push_back(text.substr(start));
    return components;
}

bool AreExactNames(const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names) {
        if (name.empty() || name == L"." || name == L"..") {
            return false;
        }
    }
    return true;
}

bool StartsWith(const std::wstring& text, size_t at, const wchar_t* prefix)
{
    return text.compare(at, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// How many leading components of the text after the root prefix belong to
// the root: a share's server and name; none otherwise.
size_t SkipRootPrefix(const std::wstring& path, size_t* at)
{
    if (StartsWith(path, 0, L"\\\\?\\") || StartsWith(path, 0, L"\\\\.\\")) {
        *at = 4;
        if (StartsWith(path, 4, L"UNC\\")) {
            *at = 8;
            return 2;
        }
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        *at = 2;
        return 2;
    }
    if (path.size() >= *at + 2 && path[*at + 1] == L':') {
        *at += 2;
    }
    if (*at < path.size() && IsSeparator(path[*at])) {
        ++*at;
    }
    return 0;
}

}  // namespace

bool IsExactFilePath(const std::wstring& path)
{
    size_t at = 0;
    const size_t shareComponents = SkipRootPrefix(path, &at);
    const std::wstring belowPrefix = path.substr(at);
    if (path.find(L'\0') != std::wstring::npos || belowPrefix.empty() ||
        belowPrefix.find_first_of(L"*?") != std::wstring::npos) {
        return false;
    }
    const std::vector<std::wstring> names = Components(belowPrefix, L"\\/");
    return names.size() > shareComponents && AreExactNames(names);
}

bool IsExactKeyPath(const std::wstring& keyPath)
{
    const std::vector<std::wstring> levels = Components(keyPath, L"\\");
    return keyPath.find(L'\0') == std::wstring::npos && levels.size() >= 2 &&
           AreExactNames(levels);
}

}  // namespace OstrelInstallEngine
