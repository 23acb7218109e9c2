// The registry operations behind the script API, for every family that needs
// them: the transactional install functions back up what they destroy and
// queue their undo and clean-up tasks on the transaction; the tolerant uninstall
// functions skip what is absent and record failures as problems; the queries
// change nothing. A key that cannot be opened with full access counts as
// absent everywhere.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace OstrelInstallEngine {

class SystemStateManager;
class Transaction;

class RegistryOperations {
public:
    explicit RegistryOperations(Transaction& transaction);

    bool IsRegKey(const std::wstring& keyPath) const;
    bool IsRegValue(const std::wstring& keyPath, const std::wstring& valueName) const;
    // A REG_SZ value up to its first NUL; nothing for a missing value or one of
    // another type. A key that cannot be opened fails (10042).
    std::optional<std::wstring> GetRegValue(const std::wstring& keyPath,
                                            const std::wstring& valueName) const;

    // An existing key is left alone and nothing is queued.
    void CreateRegKey(const std::wstring& keyPath);
    // Every missing level below the root, parents first, each undone on its own.
    void CreateRegKeyTree(const std::wstring& keyPath);
    // A REG_SZ value; an old value of any type is restored at rollback. The key
    // must exist (10042).
    void SetRegValue(const std::wstring& keyPath, const std::wstring& valueName,
                     const std::wstring& value);
    // The same as SetRegValue for a REG_DWORD value, which is what Windows
    // reads for numbers and flags (an uninstall entry's "EstimatedSize").
    void SetRegDwordValue(const std::wstring& keyPath, const std::wstring& valueName, DWORD value);
    // The value must exist (10179); it is written back at rollback.
    void RemoveRegValue(const std::wstring& keyPath, const std::wstring& valueName);
    // A key without subkeys (10225), kept in a sibling backup key until commit.
    void RemoveRegKey(const std::wstring& keyPath);
    // The key with its subkeys and values, kept as RemoveRegKey keeps it.
    void ClearAndRemoveRegKey(const std::wstring& keyPath);

    // Tolerant removals: a failed removal is recorded as a problem.
    void UninstallRemoveRegKey(const std::wstring& keyPath);
    void UninstallClearAndRemoveRegKey(const std::wstring& keyPath);
    // A key that cannot be opened is skipped; a value that cannot be deleted,
    // a missing one included, is recorded (10224).
    void UninstallRemoveRegValue(const std::wstring& keyPath, const std::wstring& valueName);
    // The key, then each parent that has become empty, up to but not including
    // rootKeyPath, which must be a plain text prefix of keyPath (10266).
    void UninstallRemoveRegKeyTree(const std::wstring& keyPath, const std::wstring& rootKeyPath);

private:
    enum class KeyRemoval { kWithoutSubkeys, kWithSubkeys };

    void WriteRegValue(const std::wstring& keyPath, const std::wstring& valueName, DWORD type,
                       const void* data, DWORD size);

    void RemoveRegKeyTransacted(const std::wstring& keyPath, KeyRemoval removal);
    void CopyKeyToBackup(const std::wstring& keyPath, const std::wstring& backupPath,
                         KeyRemoval removal);
    template <typename Removal>
    void RecordingFailures(Removal removal);

    Transaction& m_transaction;
    SystemStateManager& m_systemStateManager;
};

}  // namespace OstrelInstallEngine
