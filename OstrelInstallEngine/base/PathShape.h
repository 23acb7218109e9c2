// Whether a path names exactly one item below its root, so that removing what
// it names can never widen to a parent, a whole drive or a whole hive.
#pragma once

#include <string>

namespace OstrelInstallEngine {

// A file or folder path with at least one component below its root ("C:\",
// "C:", "\", "\\server\share", with or without "\\?\"), no empty component (a
// doubled or trailing separator), no "." or ".." component, no pattern
// character and no embedded NUL. Relative paths pass on the same terms.
bool IsExactFilePath(const std::wstring& path);

// A registry key path made of a root name and at least one key below it,
// with no empty level and no embedded NUL.
bool IsExactKeyPath(const std::wstring& keyPath);

}  // namespace OstrelInstallEngine
