#include "operations/FileScriptApi.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Check.h"
#include "base/Exceptions.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"
#include "operations/FileWriter.h"
#include "operations/NestedProgressLevel.h"
#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "streams/FilePackage.h"
#include "streams/FileStream.h"
#include "streams/MD5Stream.h"
#include "streams/Md5.h"
#include "streams/XDeltaPatchingStream.h"
#include "streams/ZipFile.h"
#include "transactions/MoveFileTask.h"
#include "transactions/RemoveDirectoryTask.h"
#include "transactions/DeferredRemovals.h"
#include "transactions/RemoveFileTask.h"
#include "transactions/SystemStateManager.h"

namespace OstrelInstallEngine {

namespace {

const uint32_t kHashBlockSize = 40960;

SystemStateManager& StateManager(ScriptCall& call)
{
    return call.GetTransaction().GetSystemStateManager();
}

bool Exists(ScriptCall& call, const std::wstring& path)
{
    return StateManager(call).Exists(path);
}

std::unique_ptr<Stream> OpenPackageFile(ScriptCall& call, const std::string& name)
{
    FilePackage* package = call.Package().GetFilePackage();
    OSTREL_CHECK(package != nullptr, 10391);
    return package->OpenFile(name);
}

void QueueRollback(ScriptCall& call, std::unique_ptr<RollbackCommitTask> task)
{
    call.GetTransaction().AddRollbackTask(std::move(task));
}

void QueueCommit(ScriptCall& call, std::unique_ptr<RollbackCommitTask> task)
{
    call.GetTransaction().AddCommitTask(std::move(task));
}

// The file is complete only once the system accepts the close; code names
// the operation that wrote it.
void CloseWrittenFile(UniqueFileHandle& file, int code)
{
    if (!file.Close()) {
        OSTREL_FAIL_LAST_ERROR(code);
    }
}

// A new file for an operation that queues its removal at rollback.
UniqueFileHandle CreateFileTransacted(ScriptCall& call, const std::wstring& path)
{
    UniqueFileHandle file = StateManager(call).CreateFile(path);
    QueueRollback(call, std::make_unique<RemoveFileTask>(path));
    return file;
}

// Removal functions of the uninstall family: a missing item is no problem,
// and a failed removal is recorded while the script goes on.
template <typename Removal>
void RemoveTolerantly(ScriptCall& call, const std::wstring& path, Removal removal)
{
    if (!Exists(call, path)) {
        return;
    }
    try {
        removal(StateManager(call), path);
    } catch (const Exception& failure) {
        call.GetTransaction().AddError(failure.Clone());
    }
}

// The same for a single file or empty folder, asked the other way round: an
// uninstall removes thousands of them, nearly all present, so the usual one
// needs no query. A removal that failed on an item that is not there changed
// nothing, which is the same as not trying; one that failed because another
// process still holds what it names waits for that process's end.
template <typename Removal, typename Deferral>
void RemoveTolerantlyFirst(ScriptCall& call, const std::wstring& path, Removal removal,
                           Deferral defer)
{
    try {
        removal(StateManager(call), path);
    } catch (const Exception& failure) {
        if (!defer(call.GetTransaction().GetDeferredRemovals(), path) && Exists(call, path)) {
            call.GetTransaction().AddError(failure.Clone());
        }
    }
}

// Query-style removals: success or false, nothing recorded.
template <typename Removal>
bool TryRemove(ScriptCall& call, const std::wstring& path, Removal removal)
{
    try {
        removal(StateManager(call), path);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

std::string HexDigest(const unsigned char* digest, const char* byteFormat)
{
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), byteFormat, digest[i]);
        text += pair;
    }
    return text;
}

void CheckMd5(const std::wstring& destination, const std::string& expectedText,
              const Md5Digest& expected, const unsigned char* actual)
{
    if (std::equal(expected.bytes, expected.bytes + 16, actual)) {
        return;
    }
    const std::wstring actualText = Widen(HexDigest(actual, "%02X"));
    throw GenericException(
        Localizer::Text(kMsgMd5Failure, destination),
        Localizer::Text(kMsgMd5FailureSummary, destination),
        FormatWide(L"MD5 check failed while writing  \"%s\"; expected %hs, got %s",
                   destination.c_str(), expectedText.c_str(), actualText.c_str()),
        10358);
}

// install.CreateFile reads its own arguments: the digest is optional.
void InstallCreateFile(ScriptCall& call)
{
    const std::string name = call.NarrowArgument(1);
    const std::wstring destination = call.WideArgument(2);
    const bool checkMd5 = call.ArgumentCount() > 2;
    const std::string expectedText = checkMd5 ? call.NarrowArgument(3) : std::string();
    // A malformed digest is refused before anything on disk changes.
    const Md5Digest expected = checkMd5 ? Md5FromHex(expectedText) : Md5Digest{};

    if (StateManager(call).IsFile(destination)) {
        call.GetTransaction().BackupFileTransacted(destination);
    }
    MD5Stream content;
    content.Open(OpenPackageFile(call, name));
    UniqueFileHandle file = CreateFileTransacted(call, destination);
    FileWriter::WriteStreamToFile(call.Package(), content, content, file.Get(), destination);
    if (checkMd5) {
        CheckMd5(destination, expectedText, expected, content.GetMD5());
    }
    CloseWrittenFile(file, 10196);
}

void InstallCreateFileFromDelta(ScriptCall& call)
{
    const std::string deltaName = call.NarrowArgument(1);
    const std::wstring sourcePath = call.WideArgument(2);
    const std::wstring targetPath = call.WideArgument(3);

    std::unique_ptr<Stream> delta = OpenPackageFile(call, deltaName);
    FileStream source;
    source.Open(sourcePath);
    XDeltaPatchingStream patched;
    patched.Open(&source, sourcePath, delta.get());
    UniqueFileHandle file = CreateFileTransacted(call, targetPath);
    FileWriter::WriteStreamToFile(call.Package(), patched, source, file.Get(), targetPath);
    CloseWrittenFile(file, 10270);
}

// The patched file under the name that its original's backup has just freed;
// a failure reads as the state manager's own failure to create a file.
UniqueFileHandle CreatePatchedFile(const std::wstring& path)
{
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsValid()) {
        ThrowWin32Failure(FailureSite::kFileCreate, GetLastError(), path);
    }
    return file;
}

void InstallPatchFile(ScriptCall& call)
{
    const std::string deltaName = call.NarrowArgument(1);
    const std::wstring path = call.WideArgument(2);

    std::unique_ptr<Stream> delta = OpenPackageFile(call, deltaName);
    const std::wstring backup = call.GetTransaction().BackupFileTransacted(path);
    FileStream original;
    original.Open(backup);
    XDeltaPatchingStream patched;
    patched.Open(&original, path, delta.get());
    UniqueFileHandle file = CreatePatchedFile(path);
    QueueRollback(call, std::make_unique<RemoveFileTask>(path));
    FileWriter::WriteStreamToFile(call.Package(), patched, original, file.Get(), path);
    CloseWrittenFile(file, 10197);
}

void InstallMoveFile(ScriptCall& call)
{
    const std::wstring source = call.WideArgument(1);
    const std::wstring destination = call.WideArgument(2);
    StateManager(call).MoveFile(source, destination);
    QueueRollback(call, std::make_unique<MoveFileTask>(destination, source));
}

void InstallRemoveFile(ScriptCall& call)
{
    const std::wstring path = call.WideArgument(1);
    if (StateManager(call).IsFile(path)) {
        call.GetTransaction().BackupFileTransacted(path);
    }
}

void CreateDirectoryTransacted(ScriptCall& call, const std::wstring& path)
{
    if (StateManager(call).IsDirectory(path)) {
        return;
    }
    StateManager(call).CreateDirectory(path);
    QueueRollback(call, std::make_unique<RemoveDirectoryTask>(path));
}

void InstallCreateDirectory(ScriptCall& call)
{
    CreateDirectoryTransacted(call, call.WideArgument(1));
}

// The backslash that ends the root ("C:\", or "\\server\share\"), which is
// never created; npos when the path has no root.
size_t RootEnd(const std::wstring& path)
{
    const wchar_t* afterRoot = PathSkipRootW(path.c_str());
    if (afterRoot == nullptr || afterRoot == path.c_str()) {
        return path.find(L'\\');
    }
    return static_cast<size_t>(afterRoot - path.c_str()) - 1;
}

void InstallCreateDirectoryTree(ScriptCall& call)
{
    std::wstring path = CanonicalizePath(call.WideArgument(1));
    if (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    // Parents first, so that their rollback tasks run after their children's.
    size_t end = RootEnd(path);
    while (end != std::wstring::npos) {
        end = path.find(L'\\', end + 1);
        CreateDirectoryTransacted(call, path.substr(0, end));
    }
}

// The folder goes at commit if the run left it empty; a folder that still
// holds something stays, and nothing changes before the run has succeeded.
void InstallTryRemoveDirectory(ScriptCall& call)
{
    QueueCommit(call, std::make_unique<RemoveDirectoryTask>(call.WideArgument(1)));
}

void UninstallRemoveFile(ScriptCall& call)
{
    RemoveTolerantlyFirst(
        call, call.WideArgument(1),
        [](SystemStateManager& manager, const std::wstring& path) { manager.DeleteFile(path); },
        [](DeferredRemovals& deferred, const std::wstring& path) { return deferred.DeferFile(path); });
}

void UninstallRemoveDirectory(ScriptCall& call)
{
    RemoveTolerantlyFirst(
        call, call.WideArgument(1),
        [](SystemStateManager& manager, const std::wstring& path) { manager.RemoveDirectory(path); },
        [](DeferredRemovals& deferred, const std::wstring& path) { return deferred.DeferFolder(path); });
}

void UninstallClearAndRemoveDirectory(ScriptCall& call)
{
    RemoveTolerantly(call, call.WideArgument(1),
                     [](SystemStateManager& manager, const std::wstring& path) {
                         manager.NukeDirectory(path);
                     });
}

// A root that is a prefix of the text but ends inside a folder name ("C:\P"
// of "C:\Program Files") would let the walk remove folders outside the root.
bool EndsAtFolderBoundary(const std::wstring& pathStr, const std::wstring& rootStr)
{
    return rootStr.empty() || pathStr.size() == rootStr.size() || rootStr.back() == L'\\' ||
           pathStr[rootStr.size()] == L'\\';
}

// Removes the folder, then each parent that has become empty, up to but not
// including the root. Only the folder asked for reports its failure.
void UninstallRemoveDirectoryTree(ScriptCall& call)
{
    const std::wstring pathStr = CanonicalizePath(call.WideArgument(1));
    const std::wstring rootStr = CanonicalizePath(call.WideArgument(2));
    OSTREL_CHECK(pathStr.substr(0, rootStr.length()) == rootStr, 10265);
    OSTREL_CHECK(EndsAtFolderBoundary(pathStr, rootStr), 10265);

    size_t n = pathStr.length();
    while (n != 0 && n != std::wstring::npos && n > rootStr.length()) {
        const size_t k = pathStr.rfind(L'\\', n - 1);
        if (k == std::wstring::npos && !PathIsRelativeW(pathStr.c_str())) {
            return;
        }
        const std::wstring prefix = pathStr.substr(0, n);
        try {
            if (Exists(call, prefix)) {
                StateManager(call).RemoveDirectory(prefix);
            }
        } catch (const Exception& failure) {
            if (n == pathStr.length()) {
                call.GetTransaction().AddError(failure.Clone());
            }
            return;
        }
        n = k;
    }
}

void UtilIsFile(ScriptCall& call)
{
    call.ReturnBool(StateManager(call).IsFile(call.WideArgument(1)));
}

void UtilIsDirectory(ScriptCall& call)
{
    call.ReturnBool(StateManager(call).IsDirectory(call.WideArgument(1)));
}

// The file lives in the private temporary folder for the rest of the run and
// goes at its end, whether the run succeeds or not.
void UtilUnpackTempFile(ScriptCall& call)
{
    const std::string name = call.NarrowArgument(1);
    const std::wstring path = StateManager(call).MakeTempName();
    UniqueFileHandle file = CreateFileTransacted(call, path);
    std::unique_ptr<Stream> content = OpenPackageFile(call, name);
    FileWriter::WriteStreamToFile(call.Package(), *content, *content, file.Get(), path);
    QueueCommit(call, std::make_unique<RemoveFileTask>(path));
    CloseWrittenFile(file, 10210);
    call.ReturnWide(path);
}

// Windows opens a device for these names, whatever extension follows and
// whatever blanks end the name before it ("NUL.txt", "com1 .log").
bool IsDeviceName(const std::wstring& entryName)
{
    std::wstring base = entryName.substr(0, entryName.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    for (wchar_t& character : base) {
        character = static_cast<wchar_t>(towupper(character));
    }
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" ||
        base == L"CONIN$" || base == L"CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'1' && base[3] <= L'9';
}

// An entry name is a plain file name inside the unpack folder: a name with a
// path in it ("..\\x") could write outside the folder, and a device name
// would write to the device.
void CheckEntryName(const std::wstring& zipName, const std::wstring& entryName)
{
    if (entryName.find_first_of(L"\\/:") == std::wstring::npos && entryName != L"." &&
        entryName != L".." && !IsDeviceName(entryName)) {
        return;
    }
    throw GenericException(
        Localizer::Text(kMsgArchiveFailure, Localizer::Text(kMsgArchiveFormatError), zipName),
        Localizer::Text(kMsgArchiveFailureSummary, zipName),
        FormatWide(L"Entry \"%s\" of archive \"%s\" is not a plain file name",
                   entryName.c_str(), zipName.c_str()),
        10390);
}

void UnpackZipEntry(ScriptCall& call, ZipFile& zip, const std::wstring& entryName,
                    const std::wstring& path, uint32_t index, uint32_t count)
{
    UniqueFileHandle file = CreateFileTransacted(call, path);
    InstallerPackage& package = call.Package();
    const std::wstring statusText = package.GetProgressStack().GetStatusText();
    package.ProgressStartStep(index, index + 1, count, statusText);
    std::unique_ptr<Stream> entry = zip.OpenFile(entryName);
    WriteStreamToFilePlain(*entry, file.Get(), path);
    // Closing a completely read entry is where a damaged one shows.
    entry->Close();
    entry.reset();
    package.ProgressEndStep();
    QueueCommit(call, std::make_unique<RemoveFileTask>(path));
    CloseWrittenFile(file, 10211);
}

// Entries land side by side in a new temporary folder (no subfolders), which
// goes with its files at the end of the run, whether it succeeds or not.
void UtilUnpackTempDirFromZip(ScriptCall& call)
{
    const std::string name = call.NarrowArgument(1);
    const std::wstring folder = StateManager(call).MakeTempName();
    StateManager(call).CreateDirectory(folder);
    QueueRollback(call, std::make_unique<RemoveDirectoryTask>(folder));

    ZipFile zip;
    zip.Open(Widen(name), OpenPackageFile(call, name));
    const std::vector<std::wstring> entryNames = zip.GetFileNames();
    for (const std::wstring& entryName : entryNames) {
        CheckEntryName(Widen(name), entryName);
    }
    {
        NestedProgressLevel level(call.Package());
        const uint32_t count = static_cast<uint32_t>(entryNames.size());
        for (uint32_t index = 0; index < count; ++index) {
            UnpackZipEntry(call, zip, entryNames[index], folder + L"\\" + entryNames[index],
                           index, count);
        }
        QueueCommit(call, std::make_unique<RemoveDirectoryTask>(folder));
    }
    call.ReturnWide(folder);
}

void UtilCopyFile(ScriptCall& call)
{
    const std::wstring source = call.WideArgument(1);
    const std::wstring destination = call.WideArgument(2);
    StateManager(call).CopyFile(source, destination);
}

void UtilMoveFile(ScriptCall& call)
{
    const std::wstring source = call.WideArgument(1);
    const std::wstring destination = call.WideArgument(2);
    StateManager(call).MoveFile(source, destination);
}

void UtilTryRemoveFile(ScriptCall& call)
{
    call.ReturnBool(TryRemove(call, call.WideArgument(1),
                              [](SystemStateManager& manager, const std::wstring& path) {
                                  manager.DeleteFile(path);
                              }));
}

void UtilTryRemoveDirectory(ScriptCall& call)
{
    call.ReturnBool(TryRemove(call, call.WideArgument(1),
                              [](SystemStateManager& manager, const std::wstring& path) {
                                  manager.RemoveDirectory(path);
                              }));
}

void UtilGetMd5(ScriptCall& call)
{
    FileStream file;
    file.Open(call.WideArgument(1));
    Md5 md5;
    std::unique_ptr<char[]> buffer(new char[kHashBlockSize]);
    while (!file.AtEof()) {
        md5.Update(buffer.get(), file.Read(buffer.get(), kHashBlockSize));
    }
    call.ReturnNarrow(HexDigest(md5.Final().bytes, "%02x"));
}

}  // namespace

void FileScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("install", "CreateFile", &InstallCreateFile);
    binding.RegisterFunction("install", "CreateFileFromDelta", &InstallCreateFileFromDelta);
    binding.RegisterFunction("install", "PatchFile", &InstallPatchFile);
    binding.RegisterFunction("install", "MoveFile", &InstallMoveFile);
    binding.RegisterFunction("install", "RemoveFile", &InstallRemoveFile);
    binding.RegisterFunction("install", "CreateDirectory", &InstallCreateDirectory);
    binding.RegisterFunction("install", "CreateDirectoryTree", &InstallCreateDirectoryTree);
    binding.RegisterFunction("install", "TryRemoveDirectory", &InstallTryRemoveDirectory);
    binding.RegisterFunction("uninstall", "RemoveFile", &UninstallRemoveFile);
    binding.RegisterFunction("uninstall", "RemoveDirectory", &UninstallRemoveDirectory);
    binding.RegisterFunction("uninstall", "RemoveDirectoryTree", &UninstallRemoveDirectoryTree);
    binding.RegisterFunction("uninstall", "ClearAndRemoveDirectory",
                             &UninstallClearAndRemoveDirectory);
    binding.RegisterFunction("util", "IsFile", &UtilIsFile);
    binding.RegisterFunction("util", "IsDirectory", &UtilIsDirectory);
    binding.RegisterFunction("util", "UnpackTempFile", &UtilUnpackTempFile);
    binding.RegisterFunction("util", "UnpackTempDirFromZip", &UtilUnpackTempDirFromZip);
    binding.RegisterFunction("util", "CopyFile", &UtilCopyFile);
    binding.RegisterFunction("util", "MoveFile", &UtilMoveFile);
    binding.RegisterFunction("util", "TryRemoveFile", &UtilTryRemoveFile);
    binding.RegisterFunction("util", "TryRemoveDirectory", &UtilTryRemoveDirectory);
    binding.RegisterFunction("util", "GetMd5", &UtilGetMd5);
}

}  // namespace OstrelInstallEngine
