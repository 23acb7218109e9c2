#include "transactions/SystemStateManager.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "base/Check.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

namespace {

// What a failed call reports: the summary id's successor is the message id,
// and the English format takes the same paths as the localized texts.
struct Win32FailureSite {
    int code;
    const wchar_t* functionName;
    int summaryId;
    const wchar_t* englishFormat;
};

const Win32FailureSite kCreateTempFolderFailure = {10045, L"CreateDirectoryW", 1000010020,
                                                   L"Error creating temp dir %s"};
const Win32FailureSite kCreateFileFailure = {10034, L"CreateFileW", 1000010014,
                                             L"Error creating file \"%s\""};
const Win32FailureSite kDeleteFileFailure = {10036, L"DeleteFileW", 1000010016,
                                             L"Error deleting file \"%s\""};
const Win32FailureSite kMoveFileFailure = {10037, L"MoveFileW", 1000010018,
                                           L"Error moving file \"%s\" to \"%s\""};
const Win32FailureSite kCopyFileFailure = {10268, L"CopyFileW", 1000010053,
                                           L"Error copying file \"%s\" to \"%s\""};
const Win32FailureSite kBackupFileFailure = {10050, L"MoveFileW", 1000010018,
                                             L"Error backing up file \"%s\" to \"%s\""};
const Win32FailureSite kCreateDirectoryFailure = {10038, L"CreateDirectoryW", 1000010020,
                                                  L"Error creating dir \"%s\""};
const Win32FailureSite kRemoveDirectoryFailure = {10039, L"RemoveDirectoryW", 1000010022,
                                                  L"Error removing dir \"%s\""};
const Win32FailureSite kNukeDirectoryFailure = {10040, L"SHFileOperationW", 1000010024,
                                                L"Error nuking dir \"%s\""};
const Win32FailureSite kOpenRegKeyFailure = {10042, L"RegOpenKeyExW", 1000010031,
                                             L"Error opening reg key \"%s\""};
const Win32FailureSite kCreateRegKeyFailure = {10041, L"RegCreateKeyExW", 1000010026,
                                               L"Error creating reg key \"%s\""};
const Win32FailureSite kOverwriteRegKeyFailure = {10054, L"RegCreateKeyExW", 1000010026,
                                                  L"Trying to overwrite reg key \"%s\""};
const Win32FailureSite kRemoveRegKeyFailure = {10225, L"RegDeleteKeyW", 1000010028,
                                               L"Error removing reg key %s"};
const Win32FailureSite kNukeRegKeyFailure = {10044, L"SHDeleteKeyW", 1000010028,
                                             L"Error removing reg key %s"};

const DWORD kAllFileOperationPromptsOff =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;

template <typename... Paths>
[[noreturn]] void ThrowWin32Failure(const Win32FailureSite& site, DWORD error,
                                    const Paths&... paths)
{
    throw Win32Exception(Localizer::Text(site.summaryId + 1, paths...),
                         Localizer::Text(site.summaryId, paths...),
                         FormatWide(site.englishFormat, paths.c_str()...), site.code,
                         site.functionName, error);
}

// The event of a live run's marked temporary folder; see the header.
const wchar_t kLiveRunEventPrefix[] = L"Global\\OstrelInstallEngineRun_";

// The 32 lower-case hexadecimal digits that CreateTempFolder names it by.
bool IsGuidFolderName(const std::wstring& name)
{
    return name.size() == 32 &&
           name.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
}

}  // namespace

SystemStateManager::SystemStateManager()
    : m_tempFolderPath(CreateTempFolder()), m_tempNameCounter(0)
{
    MarkTempFolderAsLive();
}

SystemStateManager::~SystemStateManager()
{
    // Files in the folder may still be in use; leaving it behind is harmless.
    // Nothing may leave a destructor, not even a failure to build the report
    // of that failure.
    try {
        NukeDirectory(m_tempFolderPath);
    } catch (...) {
    }
}

std::wstring SystemStateManager::CreateTempFolder()
{
    wchar_t tempPath[MAX_PATH];
    DWORD pathLength = GetTempPathW(MAX_PATH, tempPath);
    OSTREL_CHECK_LAST_ERROR(pathLength != 0, 10051);
    // A larger result is the size the path needs; the buffer is then unfilled.
    OSTREL_CHECK_ERROR(pathLength < MAX_PATH, 10051, ERROR_FILENAME_EXCED_RANGE);
    std::wstring folder = std::wstring(tempPath) + MakeGuidString();
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        ThrowWin32Failure(kCreateTempFolderFailure, GetLastError(), folder);
    }
    return folder;
}

void SystemStateManager::MarkTempFolderAsLive()
{
    const std::wstring folderName = PathFindFileNameW(m_tempFolderPath.c_str());
    m_liveRunEvent.Set(CreateEventW(nullptr, TRUE, FALSE, (kLiveRunEventPrefix + folderName).c_str()));
    if (!m_liveRunEvent.IsValid() || GetLastError() == ERROR_ALREADY_EXISTS) {
        return;
    }
    UniqueFileHandle marker(CreateFileW((m_tempFolderPath + L"\\" + kRunMarkerName).c_str(),
                                        GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
}

std::vector<std::wstring> SystemStateManager::FindTempFoldersOfEndedRuns()
{
    std::vector<std::wstring> folders;
    wchar_t tempPath[MAX_PATH];
    const DWORD pathLength = GetTempPathW(MAX_PATH, tempPath);
    if (pathLength == 0 || pathLength >= MAX_PATH) {
        return folders;
    }
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((std::wstring(tempPath) + L"*").c_str(), &entry));
    if (!find.IsValid()) {
        return folders;
    }
    do {
        const std::wstring name = entry.cFileName;
        const std::wstring folder = tempPath + name;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || !IsGuidFolderName(name) ||
            GetFileAttributesW((folder + L"\\" + kRunMarkerName).c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        // Only a missing event means an ended run; an open refused for any
        // other reason means the event, and so the run, still exists.
        UniqueHandle liveRun(OpenEventW(SYNCHRONIZE, FALSE, (kLiveRunEventPrefix + name).c_str()));
        if (!liveRun.IsValid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
            folders.push_back(folder);
        }
    } while (FindNextFileW(find.Get(), &entry));
    return folders;
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
    return FormatWide(L"%s\\%08x_TEMP", m_tempFolderPath.c_str(), m_tempNameCounter++);
}

UniqueFileHandle SystemStateManager::CreateFile(const std::wstring& path)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr));
    if (!file.IsValid()) {
        ThrowWin32Failure(kCreateFileFailure, GetLastError(), path);
    }
    return file;
}

// The read-only bit is looked at only when the plain delete is refused: an
// uninstall deletes thousands of files, and the usual one needs no query.
void SystemStateManager::DeleteFile(const std::wstring& path)
{
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
    ThrowWin32Failure(kDeleteFileFailure, error, path);
}

void SystemStateManager::MoveFile(const std::wstring& source, const std::wstring& destination)
{
    if (!MoveFileW(source.c_str(), destination.c_str())) {
        ThrowWin32Failure(kMoveFileFailure, GetLastError(), source, destination);
    }
}

void SystemStateManager::CopyFile(const std::wstring& source, const std::wstring& destination)
{
    if (!CopyFileW(source.c_str(), destination.c_str(), TRUE)) {
        ThrowWin32Failure(kCopyFileFailure, GetLastError(), source, destination);
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
        ThrowWin32Failure(kBackupFileFailure, GetLastError(), fileName, backup);
    }
    return backup;
}

void SystemStateManager::CreateDirectory(const std::wstring& path)
{
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        ThrowWin32Failure(kCreateDirectoryFailure, GetLastError(), path);
    }
}

void SystemStateManager::RemoveDirectory(const std::wstring& path)
{
    if (!RemoveDirectoryW(path.c_str())) {
        ThrowWin32Failure(kRemoveDirectoryFailure, GetLastError(), path);
    }
}

void SystemStateManager::NukeDirectory(const std::wstring& path)
{
    // The shell takes a list of names, each NUL-terminated, ended by an empty one.
    std::wstring sourceList = path;
    sourceList.push_back(L'\0');
    sourceList.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = sourceList.c_str();
    operation.pTo = nullptr;
    operation.fFlags = kAllFileOperationPromptsOff;
    int result = SHFileOperationW(&operation);
    if (result != 0) {
        ThrowWin32Failure(kNukeDirectoryFailure, static_cast<DWORD>(result), path);
    }
}

RegistryKey SystemStateManager::OpenRegKey(const std::wstring& keyPath) const
{
    RegKeyPath parsed = ParseRegKeyPath(keyPath);
    RegistryKey key;
    LSTATUS status =
        RegOpenKeyExW(parsed.root, parsed.subkey.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(kOpenRegKeyFailure, static_cast<DWORD>(status), keyPath);
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
        ThrowWin32Failure(kCreateRegKeyFailure, static_cast<DWORD>(status), keyPath);
    }
    if (disposition == REG_OPENED_EXISTING_KEY) {
        key.Close();
        ThrowWin32Failure(kOverwriteRegKeyFailure, ERROR_ALREADY_EXISTS, keyPath);
    }
    return key;
}

void SystemStateManager::RemoveRegKey(const std::wstring& keyPath)
{
    RegKeyPath parsed = ParseRegKeyPath(keyPath);
    LSTATUS status = RegDeleteKeyW(parsed.root, parsed.subkey.c_str());
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(kRemoveRegKeyFailure, static_cast<DWORD>(status), keyPath);
    }
}

void SystemStateManager::NukeRegKey(const std::wstring& keyPath)
{
    OSTREL_CHECK(keyPath.find('\\') != std::wstring::npos, 10047);
    size_t lastBackslash = keyPath.rfind(L'\\');
    RegistryKey parent = OpenRegKey(keyPath.substr(0, lastBackslash));
    LSTATUS status = SHDeleteKeyW(parent.Get(), keyPath.substr(lastBackslash + 1).c_str());
    parent.Close();
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(kNukeRegKeyFailure, static_cast<DWORD>(status), keyPath);
    }
}

}  // namespace OstrelInstallEngine
