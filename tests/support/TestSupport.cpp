#include "TestSupport.h"

#include <shlwapi.h>

#include <stdexcept>

#include "TestConfig.h"
#include "base/RegistryKey.h"
#include "base/UniqueHandle.h"

namespace OstrelTest {

using OstrelInstallEngine::UniqueFileHandle;
using OstrelInstallEngine::UniqueFindHandle;
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
