#include "operations/RegistryOperations.h"

#include <shlwapi.h>

#include <memory>
#include <vector>

#include "base/Check.h"
#include "base/Exception.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"
#include "transactions/ClearAndRemoveRegKeyTask.h"
#include "transactions/CopyRegKeyTask.h"
#include "transactions/RemoveRegValueTask.h"
#include "transactions/SetRegValueTask.h"
#include "transactions/SystemStateManager.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

namespace {

// A root that is a prefix of the text but ends inside a key name ("...\\Brondel"
// of "...\\BrondelX") would let the walk remove keys outside the root.
bool EndsAtKeyBoundary(const std::wstring& keyStr, const std::wstring& rootKeyStr)
{
    return rootKeyStr.empty() || keyStr.size() == rootKeyStr.size() ||
           rootKeyStr.back() == L'\\' || keyStr[rootKeyStr.size()] == L'\\';
}

}  // namespace

RegistryOperations::RegistryOperations(Transaction& transaction)
    : m_transaction(transaction), m_systemStateManager(transaction.GetSystemStateManager())
{
}

bool RegistryOperations::IsRegKey(const std::wstring& keyPath) const
{
    return m_systemStateManager.IsRegKey(keyPath);
}

bool RegistryOperations::IsRegValue(const std::wstring& keyPath,
                                    const std::wstring& valueName) const
{
    return m_systemStateManager.IsRegValue(keyPath, valueName);
}

std::optional<std::wstring> RegistryOperations::GetRegValue(const std::wstring& keyPath,
                                                            const std::wstring& valueName) const
{
    RegistryKey key = m_systemStateManager.OpenRegKey(keyPath);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (size == 0) {
        return std::wstring();
    }
    // One character more than the size holds, so that the text always ends.
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(text.data());
}

void RegistryOperations::CreateRegKey(const std::wstring& keyPath)
{
    if (IsRegKey(keyPath)) {
        return;
    }
    m_systemStateManager.CreateRegKey(keyPath);
    m_transaction.AddRollbackTask(std::make_unique<ClearAndRemoveRegKeyTask>(keyPath));
}

void RegistryOperations::CreateRegKeyTree(const std::wstring& keyPath)
{
    for (size_t level = keyPath.find(L'\\'); level != std::wstring::npos;) {
        const size_t next = keyPath.find(L'\\', level + 1);
        CreateRegKey(keyPath.substr(0, next));
        level = next;
    }
}

void RegistryOperations::SetRegValue(const std::wstring& keyPath, const std::wstring& valueName,
                                     const std::wstring& value)
{
    WriteRegValue(keyPath, valueName, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistryOperations::SetRegDwordValue(const std::wstring& keyPath,
                                          const std::wstring& valueName, DWORD value)
{
    WriteRegValue(keyPath, valueName, REG_DWORD, &value, sizeof(value));
}

void RegistryOperations::WriteRegValue(const std::wstring& keyPath, const std::wstring& valueName,
                                       DWORD type, const void* data, DWORD size)
{
    RegistryKey key = m_systemStateManager.OpenRegKey(keyPath);
    if (IsRegValue(keyPath, valueName)) {
        RemoveRegValue(keyPath, valueName);
    }
    LSTATUS status = RegSetValueExW(key.Get(), valueName.c_str(), 0, type,
                                    static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kValueWrite, static_cast<DWORD>(status), valueName, keyPath);
    }
    m_transaction.AddRollbackTask(std::make_unique<RemoveRegValueTask>(keyPath, valueName));
}

void RegistryOperations::RemoveRegValue(const std::wstring& keyPath, const std::wstring& valueName)
{
    OSTREL_CHECK(keyPath.find('\\') != std::wstring::npos, 10183);
    RegistryKey key = m_systemStateManager.OpenRegKey(keyPath);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS result = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kValueRead, static_cast<DWORD>(result), valueName, keyPath);
    }
    // A value of no bytes still gets a buffer: its backup is as real as any.
    std::unique_ptr<BYTE[]> buf(new (std::nothrow) BYTE[size + 1]);
    OSTREL_CHECK(buf != 0, 10184);
    result = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, buf.get(), &size);
    OSTREL_CHECK_ERROR(result == S_OK, 10178, result);
    // The undo record exists before the value is gone, so that no failure
    // in between can lose the old data.
    auto restore = std::make_unique<SetRegValueTask>(keyPath, valueName, type, buf.get(), size);
    result = RegDeleteValueW(key.Get(), valueName.c_str());
    if (result != ERROR_SUCCESS) {
        ThrowWin32Failure(FailureSite::kValueDelete, static_cast<DWORD>(result), valueName, keyPath);
    }
    m_transaction.AddRollbackTask(std::move(restore));
    result = key.Close();
    OSTREL_CHECK_ERROR(result == S_OK, 10181, result);
}

void RegistryOperations::RemoveRegKey(const std::wstring& keyPath)
{
    if (IsRegKey(keyPath)) {
        RemoveRegKeyTransacted(keyPath, KeyRemoval::kWithoutSubkeys);
    }
}

void RegistryOperations::ClearAndRemoveRegKey(const std::wstring& keyPath)
{
    if (IsRegKey(keyPath)) {
        RemoveRegKeyTransacted(keyPath, KeyRemoval::kWithSubkeys);
    }
}

void RegistryOperations::RemoveRegKeyTransacted(const std::wstring& keyPath, KeyRemoval removal)
{
    // A root key has no parent to keep a backup in.
    OSTREL_CHECK(keyPath.find('\\') != std::wstring::npos, 10047);
    // A path that would widen is refused before a backup is made of its
    // parent.
    SystemStateManager::CheckRemovableKeyPath(keyPath, removal == KeyRemoval::kWithSubkeys);
    const std::wstring backupPath =
        keyPath.substr(0, keyPath.rfind(L'\\')) + L"\\" + MakeGuidString();
    CopyKeyToBackup(keyPath, backupPath, removal);
    // The copy back is queued before the removal: one that fails half-way
    // through the subkeys is restored at rollback too.
    m_transaction.AddRollbackTask(std::make_unique<CopyRegKeyTask>(backupPath, keyPath));
    if (removal == KeyRemoval::kWithoutSubkeys) {
        m_systemStateManager.RemoveRegKey(keyPath);
    } else {
        m_systemStateManager.NukeRegKey(keyPath);
    }
    m_transaction.AddCommitTask(std::make_unique<ClearAndRemoveRegKeyTask>(backupPath));
}

void RegistryOperations::CopyKeyToBackup(const std::wstring& keyPath,
                                         const std::wstring& backupPath, KeyRemoval removal)
{
    const size_t lastBackslash = keyPath.rfind(L'\\');
    RegistryKey parent = m_systemStateManager.OpenRegKey(keyPath.substr(0, lastBackslash));
    RegistryKey backup = m_systemStateManager.CreateRegKey(backupPath);
    m_transaction.AddRollbackTask(std::make_unique<ClearAndRemoveRegKeyTask>(backupPath));
    // The whole key is copied, subkeys included, whichever removal follows:
    // the rollback then has everything it may need to recreate, and a key
    // that cannot be removed costs only the copy.
    LSTATUS status =
        SHCopyKeyW(parent.Get(), keyPath.substr(lastBackslash + 1).c_str(), backup.Get(), 0);
    parent.Close();
    backup.Close();
    if (status != ERROR_SUCCESS) {
        ThrowWin32Failure(removal == KeyRemoval::kWithoutSubkeys ? FailureSite::kKeyBackup
                                                                 : FailureSite::kKeyTreeBackup,
                          static_cast<DWORD>(status), keyPath, backupPath);
    }
}

template <typename Removal>
void RegistryOperations::RecordingFailures(Removal removal)
{
    try {
        removal();
    } catch (const Exception& failure) {
        m_transaction.AddError(failure.Clone());
    }
}

void RegistryOperations::UninstallRemoveRegKey(const std::wstring& keyPath)
{
    RecordingFailures([&] {
        if (IsRegKey(keyPath)) {
            m_systemStateManager.RemoveRegKey(keyPath);
        }
    });
}

void RegistryOperations::UninstallClearAndRemoveRegKey(const std::wstring& keyPath)
{
    RecordingFailures([&] {
        if (IsRegKey(keyPath)) {
            m_systemStateManager.NukeRegKey(keyPath);
        }
    });
}

void RegistryOperations::UninstallRemoveRegValue(const std::wstring& keyPath,
                                                 const std::wstring& valueName)
{
    if (!IsRegKey(keyPath)) {
        return;
    }
    RegistryKey key = m_systemStateManager.OpenRegKey(keyPath);
    LSTATUS status = RegDeleteValueW(key.Get(), valueName.c_str());
    if (status != ERROR_SUCCESS) {
        m_transaction.AddError(Win32Failure(FailureSite::kValueDeleteTolerated,
                                            static_cast<DWORD>(status), valueName, keyPath)
                                   .Clone());
    }
}

void RegistryOperations::UninstallRemoveRegKeyTree(const std::wstring& keyPath,
                                                   const std::wstring& rootKeyPath)
{
    // Named as the failure report names them.
    const std::wstring& keyStr = keyPath;
    const std::wstring& rootKeyStr = rootKeyPath;
    OSTREL_CHECK(keyStr.substr(0, rootKeyStr.length()) == rootKeyStr, 10266);
    OSTREL_CHECK(EndsAtKeyBoundary(keyStr, rootKeyStr), 10266);
    size_t n = keyPath.length();
    while (n != 0 && n != std::wstring::npos && n > rootKeyPath.length()) {
        const size_t k = keyPath.rfind(L'\\', n - 1);
        if (k == std::wstring::npos) {
            break;
        }
        const std::wstring prefix = keyPath.substr(0, n);
        try {
            if (IsRegKey(prefix)) {
                m_systemStateManager.RemoveRegKey(prefix);
            }
        } catch (const Exception& failure) {
            // A parent that still holds other keys simply ends the walk.
            if (n == keyPath.length()) {
                m_transaction.AddError(failure.Clone());
            }
            break;
        }
        n = k;
    }
}

}  // namespace OstrelInstallEngine
