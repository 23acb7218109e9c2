#include "RemovalTables.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "PackagerError.h"
#include "base/Platform.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"

namespace OstrelPackagerTool {

using namespace OstrelInstallEngine;

namespace {

struct Payload {
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
    ULONGLONG bytes = 0;
};

void Collect(const std::wstring& root, const std::wstring& relative, Payload* payload)
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((root + relative + L"\\*").c_str(), &found));
    if (!find.IsValid()) {
        throw PackagerError(pecBadPackage, root + relative,
                            L"cannot list the folder: " + GetWin32ErrorTextEnglish(GetLastError()));
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = relative + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            payload->folders.push_back(path);
            Collect(root, path, payload);
        } else {
            payload->files.push_back(path);
            payload->bytes +=
                (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (FindNextFileW(find.Get(), &found));
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
}

size_t Depth(const std::wstring& path)
{
    return std::count(path.begin(), path.end(), L'\\');
}

std::string LuaWideLiteral(const std::wstring& text)
{
    std::string literal = "L\"";
    for (unsigned char c : ToUtf8(text)) {
        if (c == '\\' || c == '"') {
            literal += '\\';
            literal += static_cast<char>(c);
        } else if (c < 32 || c >= 127) {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\%03u", c);
            literal += escape;
        } else {
            literal += static_cast<char>(c);
        }
    }
    return literal + "\"";
}

std::string Table(const char* name, const std::vector<std::wstring>& paths)
{
    std::string text = std::string(name) + " = {\n";
    for (const std::wstring& path : paths) {
        text += "    { path = " + LuaWideLiteral(path) + ", weight = 1 },\n";
    }
    return text + "}\n";
}

// Kilobytes, rounded up, as the uninstall entry's "EstimatedSize" holds them.
std::string EstimatedSizeLine(ULONGLONG bytes)
{
    return "EstimatedSizeKB = " + std::to_string((bytes + 1023) / 1024) +
           " -- the files' total size, for the uninstall entry's EstimatedSize\n";
}

}  // namespace

std::string RemovalTablesText(const std::wstring& installedFolder)
{
    std::wstring root = CanonicalizePath(installedFolder);
    while (!root.empty() && root.back() == L'\\') {
        root.pop_back();
    }
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw PackagerError(pecBadPackage, root, L"not a folder");
    }
    Payload payload;
    Collect(root, L"", &payload);
    std::sort(payload.files.begin(), payload.files.end(), LessIgnoringCase);
    std::sort(payload.folders.begin(), payload.folders.end(),
              [](const std::wstring& a, const std::wstring& b) {
                  return Depth(a) != Depth(b) ? Depth(a) > Depth(b) : LessIgnoringCase(a, b);
              });
    return "-- Files and folders the installer wrote, relative to the installation folder.\n"
           "-- Each weighs one progress unit.\n" +
           Table("RemovedFiles", payload.files) + "\n" +
           Table("RemovedDirectories", payload.folders) + EstimatedSizeLine(payload.bytes);
}

}  // namespace OstrelPackagerTool
