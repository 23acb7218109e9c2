#include "PackageFolder.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "PackagerError.h"
#include "base/Exception.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/LuaBindingError.h"
#include "base/Platform.h"
#include "base/TextStream.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"
#include "script/ScriptCheck.h"
#include "streams/FileStream.h"

namespace OstrelPackagerTool {

using namespace OstrelInstallEngine;

namespace {

const char kScriptEntry[] = "Uninstall.lua";
const uint32_t kReaderBufferSize = 40960;
// The engine looks entries up by ASCII names shorter than this.
const size_t kMaxEntryNameLength = 255;

bool IsAscii(const std::wstring& name)
{
    return std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= 32 && c < 127; });
}

std::string UpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return text;
}

// The reason a table line was refused, in the words of the table's format.
std::wstring TableLineProblem(const Exception& error)
{
    const std::wstring code = error.GetErrorCode();
    if (code == L"10030") {
        return L"an entry must start with a decimal id followed by a tab";
    }
    if (code == L"10031") {
        return L"a line that starts with white space must hold nothing else";
    }
    if (code == L"10032") {
        return L"no tab between the id and the text";
    }
    if (code == L"10066" || code == L"10067") {
        return L"lines must end with CR LF";
    }
    return error.GetEnglishDescription();
}

// Lua's "Uninstall.lua:12: message" split into the line and the message.
int SplitLuaMessage(const std::string& message, std::string* text)
{
    const std::string prefix = std::string(kScriptEntry) + ":";
    *text = message;
    if (message.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    size_t end = prefix.size();
    while (end < message.size() && isdigit(static_cast<unsigned char>(message[end]))) {
        ++end;
    }
    if (end == prefix.size() || message.compare(end, 2, ": ") != 0) {
        return 0;
    }
    *text = message.substr(end + 2);
    return atoi(message.c_str() + prefix.size());
}

}  // namespace

const PackageFolder::TextRange kTables[] = {
    {"OstrelInstallEngine.ucs", OstrelInstallEngine::kMsgErrorCode,
     OstrelInstallEngine::kMsgRollingBack},
    {"OstrelUninstaller.ucs", 1000002000, 1000002013},
    {"Uninstaller.ucs", 0, -1},
};

std::string ReadWholeFile(const std::wstring& path)
{
    FileStream stream;
    stream.Open(path);
    std::string bytes(stream.GetSize(), '\0');
    if (!bytes.empty()) {
        stream.ReadExact(&bytes[0], static_cast<uint32_t>(bytes.size()));
    }
    return bytes;
}

PackageFolder::PackageFolder(const std::wstring& folder) : m_folder(CanonicalizePath(folder))
{
    while (m_folder.size() > 3 && m_folder.back() == L'\\') {
        m_folder.pop_back();
    }
    const DWORD attributes = GetFileAttributesW(m_folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw PackagerError(pecBadPackage, m_folder, L"not a folder");
    }
    ListFiles(m_folder, "");
    if (const PackageFile* script = FindRequired(kScriptEntry)) {
        CheckScript(*script);
    }
    for (const TextRange& table : kTables) {
        if (const PackageFile* file = FindRequired(table.entryName)) {
            CheckTable(*file, table);
        }
    }
    if (!m_problems.empty()) {
        throw PackagerError(pecBadPackage, m_problems);
    }
}

void PackageFolder::Report(const std::wstring& file, int line, const std::wstring& text)
{
    m_problems.push_back(Diagnostic(file, line, text));
}

void PackageFolder::ListFiles(const std::wstring& folder, const std::string& prefix)
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find.IsValid()) {
        Report(folder, 0, L"cannot list the folder: " + GetWin32ErrorTextEnglish(GetLastError()));
        return;
    }
    std::vector<std::wstring> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(find.Get(), &found));
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        const std::wstring path = folder + L"\\" + name;
        if (!IsAscii(name)) {
            Report(path, 0, L"the name is not plain ASCII, which the uninstaller cannot look up");
            continue;
        }
        const std::string entryName = prefix + std::string(name.begin(), name.end());
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(path, entryName + "/");
        } else {
            AddFile(path, entryName);
        }
    }
}

void PackageFolder::AddFile(const std::wstring& path, const std::string& entryName)
{
    if (entryName.size() > kMaxEntryNameLength) {
        Report(path, 0, L"the name inside the package is longer than 255 characters");
        return;
    }
    for (const PackageFile& file : m_files) {
        if (UpperAscii(file.entryName) == UpperAscii(entryName)) {
            Report(path, 0, L"differs from " + file.path +
                                L" only in letter case; the uninstaller could not tell them apart");
            return;
        }
    }
    m_files.push_back(PackageFile{path, entryName});
}

const PackageFile* PackageFolder::FindRequired(const char* entryName)
{
    for (PackageFile& file : m_files) {
        if (UpperAscii(file.entryName) == UpperAscii(entryName)) {
            file.entryName = entryName;
            return &file;
        }
    }
    Report(m_folder + L"\\" + Widen(entryName), 0, L"missing: every package needs this file");
    return nullptr;
}

void PackageFolder::CheckScript(const PackageFile& script)
{
    try {
        const std::vector<std::string> missing = ScriptCheck::MissingFunctions(
            ReadWholeFile(script.path), std::string("@") + kScriptEntry, {"Prepare", "Execute"});
        for (const std::string& name : missing) {
            Report(script.path, 0, L"the script does not define the function " + Widen(name) +
                                       L", which the uninstaller calls");
        }
    } catch (const LuaBindingError& error) {
        std::string text;
        const int line = SplitLuaMessage(error.GetErrorMessage(), &text);
        Report(script.path, line, FromUtf8(text));
    } catch (const Exception& error) {
        Report(script.path, 0, error.GetEnglishDescription());
    }
}

void PackageFolder::CheckTable(const PackageFile& table, const TextRange& required)
{
    std::unique_ptr<Localizer> texts = Localizer::CreateStandalone();
    int line = 1;
    try {
        if (ReadWholeFile(table.path).compare(0, 2, "\xFF\xFE") != 0) {
            Report(table.path, 1, L"a string table must be UTF-16LE text with a byte-order mark");
            return;
        }
        auto stream = std::make_unique<FileStream>();
        stream->Open(table.path);
        TextStream reader(std::move(stream), kReaderBufferSize);
        for (; !reader.AtEof(); ++line) {
            texts->ParseLine(reader.ReadLine());
        }
    } catch (const Exception& error) {
        Report(table.path, line, TableLineProblem(error));
        return;
    }
    std::wstring missing;
    for (int id = required.firstId; id <= required.lastId; ++id) {
        if (!texts->HasString(id)) {
            missing += (missing.empty() ? L"" : L", ") + FormatWide(L"%d", id);
        }
    }
    if (!missing.empty()) {
        Report(table.path, 0, FormatWide(L"texts missing (the table needs %d to %d): %s",
                                         required.firstId, required.lastId, missing.c_str()));
    }
}

}  // namespace OstrelPackagerTool
