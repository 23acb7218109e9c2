// Helpers of the operation tests: an Execute body run in a package of its own
// (COM initialised, as on the installer's worker), and snapshots of a folder
// tree to compare before and after a run.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "RegistryTestSupport.h"
#include "TestSupport.h"
#include "base/ComInitializer.h"
#include "base/UniqueHandle.h"

namespace OstrelTest {

class ScriptRun {
public:
    ScriptRun(const std::string& executeBody, const std::map<std::string, std::wstring>& props = {},
              const std::map<std::string, std::string>& payload = {})
        : m_script("function Execute()\n" + executeBody + "\nend\n", payload)
    {
        for (const auto& prop : props) {
            Package().SetStringProp(prop.first, prop.second);
        }
    }
    OstrelInstallEngine::InstallerPackage& Package() { return m_script.Package(); }
    RecordingReporter& Reporter() { return m_script.Reporter(); }
    std::wstring Prop(const std::string& name) { return m_script.Prop(name); }
    // A clone of what Execute threw; null when it succeeded.
    std::unique_ptr<OstrelInstallEngine::Exception> Failure()
    {
        return CatchEngineFailure([this] { Package().Execute(); });
    }
    // The display summaries of the problems the tolerant functions recorded.
    std::vector<std::wstring> Problems()
    {
        std::vector<std::wstring> summaries;
        for (const OstrelInstallEngine::Exception* problem : Package().GetErrors()) {
            summaries.push_back(problem->GetDisplaySummary());
        }
        return summaries;
    }
    // Empty of temp files: the marker of the live run stays until the end.
    bool TempFolderIsEmpty()
    {
        auto tree = TakeFileTree(Package().GetTransaction().GetSystemStateManager().GetTempFolderPath());
        tree.erase(OstrelInstallEngine::RunTempFolder::kRunMarkerName);
        return tree.empty();
    }

    // Attributes and content (empty for a folder) of every entry below root.
    struct Entry {
        DWORD attributes;
        std::string content;
        bool operator==(const Entry& o) const { return attributes == o.attributes && content == o.content; }
    };
    static std::map<std::wstring, Entry> TakeFileTree(const std::wstring& root,
                                                      const std::wstring& relative = L"")
    {
        std::map<std::wstring, Entry> tree;
        WIN32_FIND_DATAW data;
        const OstrelInstallEngine::UniqueFindHandle find(
            FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data));
        for (BOOL more = find.IsValid(); more; more = FindNextFileW(find.Get(), &data)) {
            const std::wstring name = relative + data.cFileName;
            const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (data.cFileName[0] != L'.' || (data.cFileName[1] != 0 && data.cFileName[1] != L'.')) {
                tree[name] = {data.dwFileAttributes, folder ? "" : ReadFileBytes(root + L"\\" + name)};
                const auto inner = folder ? TakeFileTree(root, name + L"\\") : decltype(tree)();
                tree.insert(inner.begin(), inner.end());
            }
        }
        return tree;
    }

private:
    OstrelInstallEngine::ComInitializer m_com;
    ScriptPackage m_script;
};

using FileTree = std::map<std::wstring, ScriptRun::Entry>;

inline void PrintTo(const ScriptRun::Entry& e, std::ostream* out)
{
    *out << "attributes " << e.attributes << ", " << e.content.size() << " bytes";
}

// A fixture file's bytes.
inline std::string Fixture(const std::string& path)
{
    return ReadFileBytes(FixturePath(path));
}

// A Lua wide literal of a text: backslashes and quotes escaped.
inline std::string LuaWide(const std::wstring& text)
{
    std::string literal = "L\"";
    for (wchar_t c : text) {
        literal += (c == L'\\' || c == L'"') ? std::string("\\") + static_cast<char>(c)
                                             : std::string(1, static_cast<char>(c));
    }
    return literal + "\"";
}

// The text with every "from" replaced.
inline std::wstring Replaced(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace OstrelTest
