// The one place where the script's operations touch the file system and the
// registry. Each changing operation makes exactly one change or throws a
// Win32Exception (fixed code, function name, system error, three texts); it
// records nothing, so undo and clean-up are queued by its callers. The object
// also owns a private temporary folder that lives as long as it does.
//
// A run that is killed never deletes its folder. So that a later run can,
// the folder carries a marker file, and the run holds a named event derived
// from the folder's name for as long as it lives: a marked folder whose event
// is gone belongs to a run that has ended.
#pragma once

#include <windows.h>

// The operations below are named after the Win32 calls they wrap. windows.h
// maps those names to the ...W functions through macros, which would rename
// the members; every file that includes this header calls the W functions by
// their explicit names instead.
#undef CreateFile
#undef DeleteFile
#undef MoveFile
#undef CopyFile
#undef CreateDirectory
#undef RemoveDirectory

#include <string>
#include <vector>

#include "base/RegistryKey.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

class SystemStateManager {
public:
    // Creates "%TEMP%<32 hex digits>"; throws when it cannot (10051, 10045).
    SystemStateManager();
    // Deletes the temporary folder with its contents; a failure is dropped.
    virtual ~SystemStateManager();

    SystemStateManager(const SystemStateManager&) = delete;
    SystemStateManager& operator=(const SystemStateManager&) = delete;

    // Full path of the temporary folder, without a trailing backslash.
    const std::wstring& GetTempFolderPath() const { return m_tempFolderPath; }

    // The marker file in a run's temporary folder.
    static constexpr const wchar_t* kRunMarkerName = L"OstrelInstallEngine.run";

    // The marked temporary folders of runs of this user that have ended
    // without deleting them. Folders without the marker (another program's,
    // a bootstrap copy's, an older engine's) are never listed. Silent.
    static std::vector<std::wstring> FindTempFoldersOfEndedRuns();

    // Queries: they change nothing and report no Win32 failure. A key path
    // with an unknown root name still throws (10078).
    bool IsDirectory(const std::wstring& path) const;
    // Any existing non-directory counts as a file.
    bool IsFile(const std::wstring& path) const;
    // A file or a folder, in one query.
    bool Exists(const std::wstring& path) const;
    // False too for a key that exists but cannot be opened with full access.
    bool IsRegKey(const std::wstring& keyPath) const;
    bool IsRegValue(const std::wstring& keyPath, const std::wstring& valueName) const;

    // "<temp folder>\%08x_TEMP" of the next number; nothing is created.
    std::wstring MakeTempName();

    // A new file open for reading and writing, not shared; an existing file
    // is a failure (10034). The caller owns the handle.
    UniqueFileHandle CreateFile(const std::wstring& path);
    // Clears a read-only bit first and puts it back if the delete fails (10036).
    void DeleteFile(const std::wstring& path);
    // Fails if the destination exists (10037).
    void MoveFile(const std::wstring& source, const std::wstring& destination);
    // Fails if the destination exists (10268).
    void CopyFile(const std::wstring& source, const std::wstring& destination);
    // Renames the file to the first free "BK_%08x" of its own folder and
    // returns that path (10049, 10052, 10053, 10050); the file stays on its
    // volume, so moving it back restores it.
    std::wstring BackupFile(const std::wstring& fileName);
    // The parent must exist (10038).
    void CreateDirectory(const std::wstring& path);
    // Only an empty folder (10039).
    void RemoveDirectory(const std::wstring& path);
    // The folder (or a single file) and everything in it, nothing to the
    // recycle bin (10040).
    void NukeDirectory(const std::wstring& path);

    // Opened with full access (10042); the caller owns the key.
    RegistryKey OpenRegKey(const std::wstring& keyPath) const;
    // A new key, open with full access; an existing key is closed again and
    // reported as 10054 with ERROR_ALREADY_EXISTS (other failures 10041).
    RegistryKey CreateRegKey(const std::wstring& keyPath);
    // Only a key without subkeys (10225).
    void RemoveRegKey(const std::wstring& keyPath);
    // The key with all its subkeys and values; a bare root name is refused
    // (10047), the parent must open (10042), the delete itself 10044.
    void NukeRegKey(const std::wstring& keyPath);

private:
    static std::wstring CreateTempFolder();
    // The marker goes last, and only when the event exists: a folder is never
    // marked that could pass for an ended run's while this one lives.
    void MarkTempFolderAsLive();

    std::wstring m_tempFolderPath;
    DWORD m_tempNameCounter;
    UniqueHandle m_liveRunEvent;
};

}  // namespace OstrelInstallEngine
