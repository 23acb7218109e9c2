// Helpers shared by the test programs: paths into the build tree, scratch
// folders and registry keys of a test's own that vanish with the test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace OstrelTest {

// A Unix path of the build machine as Wine sees it (drive Z: maps to /).
std::wstring HostPath(const std::string& unixPath);
std::wstring FixturePath(const std::string& relativePath);
std::wstring SourcePath(const std::string& relativePath);

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool PathExists(const std::wstring& path);

// Splits "a|b|c" into its parts.
std::vector<std::string> SplitList(const std::string& text, char separator);

// A fresh folder under %TEMP%\OstrelTests, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// HKEY_CURRENT_USER\Software\OstrelTests\<name>, created fresh and removed
// with its subkeys at the end.
class TestRegistryKey {
public:
    explicit TestRegistryKey(const std::wstring& name);
    ~TestRegistryKey();
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    // "HKEY_CURRENT_USER\Software\OstrelTests\<name>", the engine's key-path form.
    std::wstring KeyPath() const { return L"HKEY_CURRENT_USER\\" + m_subkey; }
    const std::wstring& Subkey() const { return m_subkey; }

private:
    std::wstring m_subkey;
};

// Sets an environment variable of this process until the end of the scope,
// then puts back its old value, or its absence: test programs also run as a
// whole, one case after the other in one process.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const std::wstring& name, const std::wstring& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::wstring m_name;
    std::wstring m_oldValue;
    bool m_wasSet;
};

// Removes a test's tree; it holds no links (see HostLinks), so the walk may
// follow none.
void RemoveTreeForTest(const std::wstring& path);

// Symbolic links made by the host's shell inside the prefix, as an attacker
// outside Windows would plant them: Windows code sees a link to a folder as a
// reparse point (0x410) and a link to a file as a plain file, and Wine's own
// delete calls act on the target. The shell removes them again at the end,
// before any Windows code walks the tree to clean it up.
class HostLinks {
public:
    HostLinks() = default;
    ~HostLinks();
    HostLinks(const HostLinks&) = delete;
    HostLinks& operator=(const HostLinks&) = delete;

    void Plant(const std::wstring& target, const std::wstring& link);

private:
    std::vector<std::string> m_links;
};

// A file's or folder's access list as SDDL ("D:..."); "unreadable" when the
// system gives none.
std::wstring AccessList(const std::wstring& path);

// Paths marked for deletion at restart (PendingFileRenameOperations, without
// the "\??\" prefix) that lie under the folder, in registration order.
std::vector<std::wstring> PendingDeletionsUnder(const std::wstring& folder);
// Takes them out again, so that the test prefix does not collect them.
void ForgetPendingDeletionsUnder(const std::wstring& folder);

// Starts a program and waits for its end: its exit code, 0xFFFFFFFF when it
// could not start.
DWORD RunAndWait(std::wstring commandLine, STARTUPINFOW startup, bool inheritHandles);

}  // namespace OstrelTest
