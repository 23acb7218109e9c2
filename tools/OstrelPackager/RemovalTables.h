// The removal tables of an uninstall script, generated from the folder the
// product's installer wrote.
#pragma once

#include <string>

namespace OstrelPackagerTool {

// Lua text in the form of the shipped script: RemovedFiles, then
// RemovedDirectories deepest first, paths relative to the folder with a
// leading backslash, weight 1 each; last the line "EstimatedSizeKB = <n>",
// the files' total size in kilobytes (rounded up), which the install script
// writes as the uninstall entry's "EstimatedSize". Plain 7-bit text; other
// characters are written as decimal escapes of their UTF-8 bytes, which
// L"..." decodes.
// A folder that cannot be listed is a PackagerError (pecBadPackage).
std::string RemovalTablesText(const std::wstring& installedFolder);

}  // namespace OstrelPackagerTool
