// The one place where the script's operations touch the file system and the
// registry. Each changing operation makes exactly one change or throws a
// Win32Exception (fixed code, function name, system error, three texts); it
// records nothing, so undo and clean-up are queued by its callers. The object
// also owns a private temporary folder (RunTempFolder) that lives as long as
// it does.
//
// The removals never widen what they are given: a folder or key path with an
// empty component, a bare root, a "." or ".." component, a pattern or an
// embedded NUL is refused with the operation's own code and
// ERROR_BAD_PATHNAME, before anything is touched.
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
#include "transactions/RunTempFolder.h"

namespace OstrelInstallEngine {

class SystemStateManager {
public:
    // Creates "%TEMP%<32 hex digits>"; throws when it cannot (10051, 10045).
    SystemStateManager();
    // Deletes the temporary folder with its contents; what is held goes at the
    // next restart.
    virtual ~SystemStateManager();

    SystemStateManager(const SystemStateManager&) = delete;
    SystemStateManager& operator=(const SystemStateManager&) = delete;

    // Full path of the temporary folder, without a trailing backslash.
    const std::wstring& GetTempFolderPath() const { return m_tempFolder.GetPath(); }
    // Removes the temporary folder before this object goes, for a host that
    // never destroys it; silent, and done once.
    void RemoveTempFolder() { m_tempFolder.Remove(); }

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
    // A path with an embedded NUL is refused.
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
    // recycle bin; a link in it is removed as a link or, where the system
    // cannot, left with its target untouched (10040, naming the first call
    // that failed).
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

    // Refusals of the removals above, for callers that must refuse a path
    // before they change anything else: the removal's code and
    // ERROR_BAD_PATHNAME.
    static void CheckRemovableKeyPath(const std::wstring& keyPath, bool withSubkeys);

private:
    RunTempFolder m_tempFolder;
    DWORD m_tempNameCounter;
};

}  // namespace OstrelInstallEngine
