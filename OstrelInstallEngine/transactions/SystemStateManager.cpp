#include "transactions/SystemStateManager.h"

#include <shlwapi.h>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/PathShape.h"
#include "base/TreeRemoval.h"
#include "base/Util.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

namespace {

// A path that names more than it seems to is refused as if the removal had
// failed, before anything is touched.
void CheckRemovableFilePath(const Win32FailureSite& site, const std::wstring& path)
{
    if (!IsExactFilePath(path)) {
        ThrowWin32Failure(site, ERROR_BAD_PATHNAME, path);
    }
}

}  // namespace

SystemStateManager::SystemStateManager() : m_tempNameCounter(0) {}

SystemStateManager::~SystemStateManager() = default;

void SystemStateManager::CheckRemovableKeyPath(const std::wstring& keyPath, bool withSubkeys)
{
    if (!IsExactKeyPath(keyPath)) {
        ThrowWin32Failure(withSubkeys ? FailureSite::kKeyTreeRemove : FailureSite::kKeyRemove,
                          ERROR_BAD_PATHNAME, keyPath);
    }
}

bool SystemStateManager::IsDirectory(const std::wstring& path) const
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SystemStateManager::IsFile(const std::wstring& path) const
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SystemStateManager::Exists(const std::wstring& path) const
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SystemStateManager::IsRegKey(const std::wstring& keyPath) const
{
    try {
        OpenRegKey(keyPath);
        return true;
    } catch (const Win32Exception&) {
        return false;
    }
}

bool SystemStateManager::IsRegValue(const std::wstring& keyPath,
                                    const std::wstring& valueName) const
{
    RegistryKey key;
    try {
        key = OpenRegKey(keyPath);
    } catch (const Win32Exception&) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    return RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) ==
           ERROR_SUCCESS;
}

std::wstring SystemStateManager::MakeTempName()
{
    return FormatWide(L"%s\\%08x_TEMP", GetTempFolderPath().c_str(), m_tempNameCounter++);
}

UniqueFileHandle SystemStateManager::CreateFile(const std::wstring& path)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr));
    if (!file.IsValid()) {
        ThrowWin32Failure(FailureSite::kFileCreate, GetLastError(), path);
    }
    return file;
}

// The read-only bit is looked at only when the plain delete is refused: an
// uninstall deletes thousands of files, and the usual one needs no query.
void SystemStateManager::DeleteFile(const std::wstring& path)
{
    if (path.find(L'\0') != std::wstring::npos) {
        ThrowWin32Failure(FailureSite::kFileDelete, ERROR_BAD_PATHNAME, path);
    }
    if (DeleteFileW(path.c_str())) {
        return;
    }
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (DeleteFileW(path.c_str())) {
            return;
        }
        error = GetLastError();
        SetFileAttributesW(path.c_str(), attributes);
    }
    ThrowWin32Failure(FailureSite::kFileDelete, error, path);
}

void SystemStateManager::MoveFile(const std::wstring& source, const std::wstring& destination)
{
    if (!MoveFileW(source.c_str(), destination.c_str())) {
        ThrowWin32Failure(FailureSite::kFileMove, GetLastError(), source, destination);
    }
}

void SystemStateManager::CopyFile(const std::wstring& source, const std::wstring& destination)
{
    if (!CopyFileW(source.c_str(), destination.c_str(), TRUE)) {
        ThrowWin32Failure(FailureSite::kFileCopy, GetLastError(), source, destination);
    }
}

std::wstring SystemStateManager::BackupFile(const std::wstring& fileName)
{
    OSTREL_CHECK(fileName.length() < MAX_PATH, 10049);
    wchar_t folder[MAX_PATH];
    if (!PathCanonicalizeW(folder, fileName.c_str())) {
        OSTREL_FAIL_LAST_ERROR(10052);
    }
    if (!PathRemoveFileSpecW(folder)) {
        OSTREL_FAIL_LAST_ERROR(10053);
    }
    std::wstring backup;
    for (DWORD number = 0;; ++number) {
        backup = FormatWide(L"%s\\BK_%08x", folder, number);
        if (!IsFile(backup)) {
            break;
        }
    }
    if (!MoveFileW(fileName.c_str(), backup.c_str())) {
        ThrowWin32Failure(FailureSite::kFileBackup, GetLastError(), fileName, backup);
    }
    return backup;
}

void SystemStateManager::CreateDirectory(const std::wstring& path)
{
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        ThrowWin32Failure(FailureSite::kFolderCreate, GetLastError(), path);
    }
}

void SystemStateManager::RemoveDirectory(const std::wstring& path)
{
    CheckRemovableFilePath(FailureSite::kFolderRemove, path);
    if (!RemoveDirectoryW(path.c_str())) {
        ThrowWin32Failure(FailureSite::kFolderRemove, GetLastError(), path);
    }
}

void SystemStateManager::NukeDirectory(const std::wstring& path)
{
    CheckRemovableFilePath(FailureSite::kFolderTreeRemove, path);
    const RemovalFailure failure = RemoveTree(path, Leftovers::kKeep);
    if (failure.Happened()) {
        throw Win32FailureOf(FailureSite::kFolderTreeRemove, failure.functionName, failure.error, path);
    }
}

RegistryKey SystemStateManager::OpenRegKey(const std::wstring& keyPath) const
{
    RegKeyPath parsed = ParseRegKeyPath(keyPath);
    RegistryKey key;
    LSTATUS status =
        RegOpenKeyExW(parsed.root, parsed.subkey.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kKeyOpen, static_cast<DWORD>(status), keyPath);
    }
    return key;
}

RegistryKey SystemStateManager::CreateRegKey(const std::wstring& keyPath)
{
    RegKeyPath parsed = ParseRegKeyPath(keyPath);
    RegistryKey key;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExW(parsed.root, parsed.subkey.c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                     key.Receive(), &disposition);
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kKeyCreate, static_cast<DWORD>(status), keyPath);
    }
    if (disposition == REG_OPENED_EXISTING_KEY) {
        key.Close();
        ThrowWin32Failure(FailureSite::kKeyOverwrite, ERROR_ALREADY_EXISTS, keyPath);
    }
    return key;
}

void SystemStateManager::RemoveRegKey(const std::wstring& keyPath)
{
    CheckRemovableKeyPath(keyPath, false);
    RegKeyPath parsed = ParseRegKeyPath(keyPath);
    LSTATUS status = RegDeleteKeyW(parsed.root, parsed.subkey.c_str());
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kKeyRemove, static_cast<DWORD>(status), keyPath);
    }
}

void SystemStateManager::NukeRegKey(const std::wstring& keyPath)
{
    OSTREL_CHECK(keyPath.find('\\') != std::wstring::npos, 10047);
    CheckRemovableKeyPath(keyPath, true);
    size_t lastBackslash = keyPath.rfind(L'\\');
    RegistryKey parent = OpenRegKey(keyPath.substr(0, lastBackslash));
    LSTATUS status = SHDeleteKeyW(parent.Get(), keyPath.substr(lastBackslash + 1).c_str());
    parent.Close();
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kKeyTreeRemove, static_cast<DWORD>(status), keyPath);
    }
}

}  // namespace OstrelInstallEngine
