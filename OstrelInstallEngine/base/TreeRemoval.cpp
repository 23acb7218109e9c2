#include "base/TreeRemoval.h"

#include <vector>

#include "base/Platform.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

namespace {

// Opens the entry itself, not what it may point to. Without delete sharing a
// folder cannot be renamed or replaced while the walk is inside it.
const DWORD kOpenEntryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
const DWORD kEntrySharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
const DWORD kFileAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
const DWORD kFolderAccess = kFileAccess | FILE_LIST_DIRECTORY;
const DWORD kListingBufferSize = 64 * 1024;

struct ListedEntry {
    std::wstring name;
    DWORD attributes;
};

bool IsLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SetAttributes(HANDLE handle, DWORD attributes)
{
    // Zero times leave the times as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool MarkForDeletion(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != FALSE;
}

// The whole listing is read before anything in it is removed: removing
// entries between two reads of a listing may make the next read skip some.
bool ListFolder(HANDLE folder, std::vector<ListedEntry>* entries)
{
    std::vector<unsigned char> buffer(kListingBufferSize);
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, infoClass, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
        infoClass = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(&buffer[offset]);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries->push_back({name, entry->FileAttributes});
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            offset += entry->NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

class TreeRemover {
public:
    explicit TreeRemover(Leftovers leftovers) : m_leftovers(leftovers) {}

    // parentPath is the system's own name of the folder that holds the entry.
    void RemoveEntry(const std::wstring& parentPath, const ListedEntry& listed)
    {
        const std::wstring path = JoinPath(parentPath, listed.name);
        const bool listedAsFolder = IsFolder(listed.attributes) && !IsLink(listed.attributes);
        UniqueFileHandle entry(CreateFileW(path.c_str(),
                                           listedAsFolder ? kFolderAccess : kFileAccess,
                                           kEntrySharing, nullptr, OPEN_EXISTING,
                                           kOpenEntryFlags, nullptr));
        if (!entry.IsValid()) {
            LeaveBehind(path, listed.attributes, L"CreateFileW", GetLastError());
            return;
        }
        // Another name means the open went through a link: removing through
        // this handle would remove the link's target.
        if (!IsEntryOf(entry.Get(), parentPath, listed.name)) {
            Fail(L"CreateFileW", kErrorStoppedOnSymlink);
            return;
        }
        const DWORD attributes =
            GetAttributes(entry.Get()) | (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (IsFolder(attributes) && !IsLink(attributes)) {
            RemoveContents(entry.Get(), path);
        }
        RemoveOpenedEntry(entry, path, attributes);
    }

    const RemovalFailure& FirstFailure() const { return m_firstFailure; }

private:
    void RemoveContents(HANDLE folder, const std::wstring& path)
    {
        std::vector<ListedEntry> entries;
        if (!ListFolder(folder, &entries)) {
            Fail(L"GetFileInformationByHandleEx", GetLastError());
        }
        for (const ListedEntry& entry : entries) {
            RemoveEntry(path, entry);
        }
    }

    // A read-only bit is cleared only when it is what refuses the delete, and
    // put back when the delete still fails.
    void RemoveOpenedEntry(UniqueFileHandle& entry, const std::wstring& path, DWORD attributes)
    {
        bool marked = MarkForDeletion(entry.Get());
        DWORD error = marked ? ERROR_SUCCESS : GetLastError();
        if (!marked && error == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            SetAttributes(entry.Get(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
            marked = MarkForDeletion(entry.Get());
            error = marked ? ERROR_SUCCESS : GetLastError();
            if (!marked) {
                SetAttributes(entry.Get(), attributes);
            }
        }
        // The entry goes when its last handle closes.
        if (!entry.Close() && marked) {
            marked = false;
            error = GetLastError();
        }
        if (!marked) {
            LeaveBehind(path, attributes, L"SetFileInformationByHandle", error);
        }
    }

    // A link is never scheduled: at the restart its name could lead anywhere.
    void LeaveBehind(const std::wstring& path, DWORD attributes, const wchar_t* functionName,
                     DWORD error)
    {
        Fail(functionName, error);
        if (m_leftovers == Leftovers::kDeleteAtRestart && !IsLink(attributes)) {
            MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }

    void Fail(const wchar_t* functionName, DWORD error)
    {
        if (!m_firstFailure.Happened()) {
            m_firstFailure.functionName = functionName;
            m_firstFailure.error = error;
        }
    }

    Leftovers m_leftovers;
    RemovalFailure m_firstFailure;
};

std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0 || length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

std::wstring ParentOf(const std::wstring& fullPath)
{
    std::wstring parent = fullPath.substr(0, fullPath.rfind(L'\\'));
    // A drive's root keeps its backslash: "C:" alone is a current folder.
    if (parent.empty() || parent.back() == L':') {
        parent += L'\\';
    }
    return parent;
}

// The folder that holds the path, under the system's own name for it: links
// above the tree are the system's business, links inside it are not.
bool OpenParent(const std::wstring& fullPath, std::wstring* parentPath, RemovalFailure* failure)
{
    if (!GetFinalFolderPath(ParentOf(fullPath), parentPath)) {
        *failure = {L"CreateFileW", GetLastError()};
        return false;
    }
    return true;
}

}  // namespace

RemovalFailure RemoveTree(const std::wstring& path, Leftovers leftovers)
{
    const std::wstring fullPath = FullPath(path);
    // A pattern would let the search pick some other entry to start from.
    if (fullPath.find_first_of(L"*?", fullPath.rfind(L'\\')) != std::wstring::npos) {
        return {L"FindFirstFileW", ERROR_INVALID_NAME};
    }
    WIN32_FIND_DATAW found;
    const UniqueFindHandle find(FindFirstFileW(fullPath.c_str(), &found));
    if (!find.IsValid()) {
        return {L"FindFirstFileW", GetLastError()};
    }
    std::wstring parentPath;
    RemovalFailure failure;
    if (!OpenParent(fullPath, &parentPath, &failure)) {
        return failure;
    }
    TreeRemover remover(leftovers);
    // The walk starts from the name the entry has on disk, not a short form.
    remover.RemoveEntry(parentPath, {found.cFileName, found.dwFileAttributes});
    return remover.FirstFailure();
}

}  // namespace OstrelInstallEngine
