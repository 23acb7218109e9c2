#include "TestSupport.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <stdexcept>

#include "TestConfig.h"
#include "base/LocalMemory.h"
#include "base/RegistryKey.h"
#include "base/UniqueHandle.h"

namespace OstrelTest {

using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::UniqueFindHandle;
using OstrelInstallEngine::RegistryKey;
using OstrelInstallEngine::UniqueHandle;

std::wstring HostPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) {
        path += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return path;
}

std::wstring FixturePath(const std::string& relativePath)
{
    return HostPath(std::string(OSTREL_TEST_FIXTURE_DIR) + "/" + relativePath);
}

std::wstring SourcePath(const std::string& relativePath)
{
    return HostPath(std::string(OSTREL_TEST_SOURCE_DIR) + "/" + relativePath);
}

std::string ReadFileBytes(const std::wstring& path)
{
    // Another process may still hold the file open for writing: Wine's
    // background processes inherit the handles of the program that started
    // them.
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) {
        throw std::runtime_error("cannot open a test file");
    }
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file.IsValid() ||
        !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        throw std::runtime_error("cannot write a test file");
    }
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> SplitList(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::wstring& name,
                                                     const std::wstring& value)
    : m_name(name), m_wasSet(false)
{
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size > 0) {
        m_oldValue.resize(size);
        const DWORD length = GetEnvironmentVariableW(name.c_str(), &m_oldValue[0], size);
        m_oldValue.resize(length);
        m_wasSet = true;
    }
    SetEnvironmentVariableW(name.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    SetEnvironmentVariableW(m_name.c_str(), m_wasSet ? m_oldValue.c_str() : nullptr);
}

void RemoveTreeForTest(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    for (bool more = find.IsValid(); more; more = FindNextFileW(find.Get(), &data) != FALSE) {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            RemoveTreeForTest(path + L"\\" + name);
        }
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

namespace {

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// Pairs of a source and a target (empty: delete), then one empty string that
// closes the list.
std::vector<std::wstring> ReadPendingOperations()
{
    std::vector<std::wstring> entries;
    RegistryKey key;
    DWORD size = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), kPendingValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return entries;
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key.Get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size);
    const size_t count = size / sizeof(wchar_t);
    for (size_t position = 0; position < count;) {
        const size_t sourceEnd = data.find(L'\0', position);
        if (sourceEnd == position) {
            break;
        }
        const size_t targetEnd = data.find(L'\0', sourceEnd + 1);
        entries.push_back(data.substr(position, sourceEnd - position));
        entries.push_back(data.substr(sourceEnd + 1, targetEnd - sourceEnd - 1));
        position = targetEnd + 1;
    }
    return entries;
}

std::wstring WithoutPrefix(const std::wstring& pendingPath)
{
    return pendingPath.substr(pendingPath.compare(0, 4, L"\\??\\") == 0 ? 4 : 0);
}

using UnixFileNameFunction = char*(CDECL*)(const wchar_t*);

// Wine's own conversion of a Windows path into the host's.
std::string UnixPath(const std::wstring& windowsPath)
{
    const auto convert = reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = convert != nullptr ? convert(windowsPath.c_str()) : nullptr;
    if (converted == nullptr) {
        throw std::runtime_error("no Unix path for a test path");
    }
    const std::string path = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return path;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Wine starts a host program for CreateProcessW but hands back no handle to
// wait on, so the command ends by making a file that is waited for instead.
void RunHostShell(const std::string& command)
{
    wchar_t tempPath[MAX_PATH];
    GetTempPathW(MAX_PATH, tempPath);
    wchar_t done[MAX_PATH];
    GetTempFileNameW(tempPath, L"sh", 0, done);
    DeleteFileW(done);
    const std::string script = command + " && : > " + ShellQuoted(UnixPath(done));
    // Wine splits the command line by Windows rules; the script has no
    // double quotes or backslashes of its own.
    std::wstring commandLine = L"/bin/sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        throw std::runtime_error("cannot start the host's shell");
    }
    const UniqueHandle owner(process.hProcess), thread(process.hThread);
    for (int wait = 0; !PathExists(done); ++wait) {
        if (wait == 2000) {
            throw std::runtime_error("the host's shell did not finish: " + command);
        }
        Sleep(5);
    }
    DeleteFileW(done);
}

}  // namespace

HostLinks::~HostLinks()
{
    std::string command = "rm -f";
    for (const std::string& link : m_links) {
        command += " " + ShellQuoted(link);
    }
    try {
        RunHostShell(command);
    } catch (const std::exception&) {
        // The test has failed already if its links cannot go.
    }
}

void HostLinks::Plant(const std::wstring& target, const std::wstring& link)
{
    const std::string unixLink = UnixPath(link);
    RunHostShell("ln -s " + ShellQuoted(UnixPath(target)) + " " + ShellQuoted(unixLink));
    m_links.push_back(unixLink);
}

std::vector<std::wstring> PendingDeletionsUnder(const std::wstring& folder)
{
    const std::vector<std::wstring> entries = ReadPendingOperations();
    std::vector<std::wstring> paths;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i + 1].empty() && StartsWithNoCase(WithoutPrefix(entries[i]), folder)) {
            paths.push_back(WithoutPrefix(entries[i]));
        }
    }
    return paths;
}

void ForgetPendingDeletionsUnder(const std::wstring& folder)
{
    const std::vector<std::wstring> entries = ReadPendingOperations();
    std::wstring kept;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (!StartsWithNoCase(WithoutPrefix(entries[i]), folder)) {
            kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
        }
    }
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return;
    }
    if (kept.empty()) {
        RegDeleteValueW(key.Get(), kPendingValue);
    } else {
        kept += L'\0';
        RegSetValueExW(key.Get(), kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
}

std::wstring AccessList(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"unreadable";
    }
    const OstrelInstallEngine::LocalMemory descriptorOwner(descriptor);
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"unreadable";
    }
    const OstrelInstallEngine::LocalMemory textOwner(text);
    return text;
}

DWORD RunAndWait(std::wstring commandLine, STARTUPINFOW startup, bool inheritHandles)
{
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, inheritHandles, 0, nullptr,
                       nullptr, &startup, &process)) {
        const UniqueHandle owner(process.hProcess), thread(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    return exitCode;
}

TempFolder::TempFolder()
{
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0) {
        throw std::runtime_error("GetTempPathW failed");
    }
    std::wstring base = std::wstring(temp) + L"OstrelTests";
    CreateDirectoryW(base.c_str(), nullptr);
    static unsigned counter = 0;
    for (;;) {
        m_path = base + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(counter++) + L"_" + std::to_wstring(GetTickCount());
        if (CreateDirectoryW(m_path.c_str(), nullptr)) {
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create a test folder");
        }
    }
}

TempFolder::~TempFolder()
{
    RemoveTreeForTest(m_path);
}

TestRegistryKey::TestRegistryKey(const std::wstring& name)
    : m_subkey(L"Software\\OstrelTests\\" + name)
{
    SHDeleteKeyW(HKEY_CURRENT_USER, m_subkey.c_str());
    OstrelInstallEngine::RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create a test registry key");
    }
}

TestRegistryKey::~TestRegistryKey()
{
    SHDeleteKeyW(HKEY_CURRENT_USER, m_subkey.c_str());
}

}  // namespace OstrelTest
