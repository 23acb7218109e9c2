// The one table of the engine's failure reports: every message id of the
// built-in English table by name (each named only here), and every place
// where a Win32 call can fail with the report it gives. A Win32 report is
// built only from a site of this table.
#pragma once

#include <windows.h>

#include <string>

#include "base/Localizer.h"
#include "base/Util.h"
#include "base/Win32Exception.h"

namespace OstrelInstallEngine {

// Engine message ids (resource 103 and the package's table). A failure's
// summary is the short title; its message, the longer text, mostly follows
// it.
enum MessageId : int {
    kMsgErrorCode = 1000010001,
    kMsgInternalFailure = 1000010002,
    kMsgInternalFailureSummary = 1000010003,
    kMsgFileReadFailure = 1000010004,
    kMsgFileReadFailureSummary = 1000010009,
    kMsgFileOpenFailureSummary = 1000010010,
    kMsgFileOpenFailure = 1000010011,
    kMsgParentalControlFailure = 1000010012,
    kMsgParentalControlFailureSummary = 1000010013,
    kMsgFileCreateFailureSummary = 1000010014,
    kMsgFileDeleteFailureSummary = 1000010016,
    kMsgFileMoveFailureSummary = 1000010018,
    kMsgFolderCreateFailureSummary = 1000010020,
    kMsgFolderRemoveFailureSummary = 1000010022,
    kMsgFolderTreeRemoveFailureSummary = 1000010024,
    kMsgKeyCreateFailureSummary = 1000010026,
    kMsgKeyRemoveFailureSummary = 1000010028,
    kMsgWin32ErrorCode = 1000010030,
    kMsgKeyOpenFailureSummary = 1000010031,
    kMsgFileWriteFailureSummary = 1000010033,
    kMsgFirewallFailureSummary = 1000010035,
    kMsgProgramFailureSummary = 1000010037,
    kMsgKeyCopyFailureSummary = 1000010039,
    kMsgValueReadFailureSummary = 1000010041,
    kMsgValueWriteFailureSummary = 1000010043,
    kMsgPatchFailureSummary = 1000010045,
    kMsgPackageFailureSummary = 1000010047,
    kMsgProductFailureSummary = 1000010049,
    kMsgMessageWithCode = 1000010051,
    kMsgSummaryWithCode = 1000010052,
    kMsgFileCopyFailureSummary = 1000010053,
    kMsgArchiveFailure = 1000010055,
    kMsgArchiveUnspecifiedError = 1000010056,
    kMsgArchiveInternalError = 1000010057,
    kMsgArchiveFormatError = 1000010058,
    kMsgArchiveDataError = 1000010059,
    kMsgArchiveFailureSummary = 1000010060,
    kMsgZlibErrorCode = 1000010061,
    kMsgMd5FailureSummary = 1000010062,
    kMsgMd5Failure = 1000010063,
    kMsgInstallLockHeldSummary = 1000010064,
    kMsgInstallLockHeld = 1000010065,
    kMsgRollingBack = 1000010066,
};

// The message that goes with a summary that it follows.
constexpr int MessageAfter(MessageId summary)
{
    return summary + 1;
}

// A place where a Win32 call can fail, as its report names it. The localized
// texts are filled with the failure's names, and so is the English format
// (wide %s).
struct Win32FailureSite {
    int code;
    const wchar_t* functionName;
    int summaryId;
    int messageId;
    const wchar_t* englishFormat;
};

namespace FailureSite {

constexpr Win32FailureSite Site(int code, const wchar_t* functionName, MessageId summary,
                                const wchar_t* englishFormat)
{
    return {code, functionName, summary, MessageAfter(summary), englishFormat};
}

// Files and streams.
constexpr Win32FailureSite kFileOpen = {10008, L"CreateFile", kMsgFileOpenFailureSummary,
                                        kMsgFileOpenFailure, L"Error opening file \"%s\""};
constexpr Win32FailureSite kFileRead = {10006, L"ReadFile", kMsgFileReadFailureSummary,
                                        kMsgFileReadFailure, L"Error reading file \"%s\""};
constexpr Win32FailureSite kFileClose = {10007, L"CloseHandle", kMsgFileReadFailureSummary,
                                         kMsgFileReadFailure, L"Error closing file \"%s\""};
constexpr Win32FailureSite kFileMeasure = {10009, L"SetFilePointer", kMsgFileReadFailureSummary,
                                           kMsgFileReadFailure,
                                           L"Error setting file pointer in file \"%s\""};
constexpr Win32FailureSite kFileSeek = {10221, L"SetFilePointer", kMsgFileReadFailureSummary,
                                        kMsgFileReadFailure,
                                        L"Error setting file pointer in file \"%s\""};
constexpr Win32FailureSite kStreamWrite =
    Site(10077, L"WriteFile", kMsgFileWriteFailureSummary, L"Error writing file \"%s\"");
constexpr Win32FailureSite kPayloadWrite =
    Site(10383, L"WriteFile", kMsgFileWriteFailureSummary, L"Error writing file \"%s\"");

// The state manager's primitives and the private temporary folder.
constexpr Win32FailureSite kTempFolderCreate =
    Site(10045, L"CreateDirectoryW", kMsgFolderCreateFailureSummary, L"Error creating temp dir %s");
constexpr Win32FailureSite kFileCreate =
    Site(10034, L"CreateFileW", kMsgFileCreateFailureSummary, L"Error creating file \"%s\"");
constexpr Win32FailureSite kFileDelete =
    Site(10036, L"DeleteFileW", kMsgFileDeleteFailureSummary, L"Error deleting file \"%s\"");
constexpr Win32FailureSite kFileMove = Site(10037, L"MoveFileW", kMsgFileMoveFailureSummary,
                                            L"Error moving file \"%s\" to \"%s\"");
constexpr Win32FailureSite kFileCopy = Site(10268, L"CopyFileW", kMsgFileCopyFailureSummary,
                                            L"Error copying file \"%s\" to \"%s\"");
constexpr Win32FailureSite kFileBackup = Site(10050, L"MoveFileW", kMsgFileMoveFailureSummary,
                                              L"Error backing up file \"%s\" to \"%s\"");
constexpr Win32FailureSite kFolderCreate =
    Site(10038, L"CreateDirectoryW", kMsgFolderCreateFailureSummary, L"Error creating dir \"%s\"");
constexpr Win32FailureSite kFolderRemove =
    Site(10039, L"RemoveDirectoryW", kMsgFolderRemoveFailureSummary, L"Error removing dir \"%s\"");
// A failure of the walk names the call that failed; a refused path names the
// walk's first call.
constexpr Win32FailureSite kFolderTreeRemove = Site(
    10040, L"FindFirstFileW", kMsgFolderTreeRemoveFailureSummary, L"Error nuking dir \"%s\"");

// Registry keys and values.
constexpr Win32FailureSite kKeyOpen =
    Site(10042, L"RegOpenKeyExW", kMsgKeyOpenFailureSummary, L"Error opening reg key \"%s\"");
constexpr Win32FailureSite kKeyCreate =
    Site(10041, L"RegCreateKeyExW", kMsgKeyCreateFailureSummary, L"Error creating reg key \"%s\"");
constexpr Win32FailureSite kKeyOverwrite = Site(10054, L"RegCreateKeyExW", kMsgKeyCreateFailureSummary,
                                                L"Trying to overwrite reg key \"%s\"");
constexpr Win32FailureSite kKeyRemove =
    Site(10225, L"RegDeleteKeyW", kMsgKeyRemoveFailureSummary, L"Error removing reg key %s");
constexpr Win32FailureSite kKeyTreeRemove =
    Site(10044, L"SHDeleteKeyW", kMsgKeyRemoveFailureSummary, L"Error removing reg key %s");
constexpr Win32FailureSite kKeyBackup = Site(10226, L"SHCopyKeyW", kMsgKeyCopyFailureSummary,
                                             L"Error copying reg key \"%s\" to \"%s\"");
constexpr Win32FailureSite kKeyTreeBackup = Site(10180, L"SHCopyKeyW", kMsgKeyCopyFailureSummary,
                                                 L"Error copying reg key \"%s\" to \"%s\"");
// Value sites take the value's name first, then the key's.
constexpr Win32FailureSite kValueWrite = Site(10198, L"RegSetValueExW", kMsgValueWriteFailureSummary,
                                              L"Error setting value \"%s\" in \"%s\"");
constexpr Win32FailureSite kValueRead = Site(10179, L"RegQueryValueExW", kMsgValueReadFailureSummary,
                                             L"Error reading value \"%s\" from \"%s\"");
constexpr Win32FailureSite kValueDelete = Site(10182, L"RegDeleteValueW", kMsgValueWriteFailureSummary,
                                               L"Error deleting value \"%s\" from \"%s\"");
constexpr Win32FailureSite kValueDeleteTolerated =
    Site(10224, L"RegDeleteValueW", kMsgValueWriteFailureSummary,
         L"Error deleting value \"%s\" from \"%s\"");

// Shortcuts.
constexpr Win32FailureSite kShortcutSave = Site(10199, L"IPersistFile::Save", kMsgFileCreateFailureSummary,
                                                L"Error saving shortcut to \"%s\"");
constexpr Win32FailureSite kUrlShortcutSave = Site(10207, L"IPersistFile::Save",
                                                   kMsgFileCreateFailureSummary,
                                                   L"Error saving shortcut to \"%s\"");

// Programs, sub-installs and installer products.
constexpr Win32FailureSite kProgramStart = Site(10170, L"CreateProcessW", kMsgProgramFailureSummary,
                                                L"Error executing \"%s\"");
constexpr Win32FailureSite kProgramJobCreate = Site(10171, L"CreateJobObjectW",
                                                    kMsgProgramFailureSummary,
                                                    L"Error creating job for \"%s\"");
constexpr Win32FailureSite kProgramJobAssign = Site(10172, L"AssignProcessToJobObject",
                                                    kMsgProgramFailureSummary,
                                                    L"Error assigning \"%s\" to job");
constexpr Win32FailureSite kProgramJobQuery = Site(10173, L"QueryInformationJobObject",
                                                   kMsgProgramFailureSummary,
                                                   L"Error querying job for \"%s\"");
constexpr Win32FailureSite kProgramExitCode = Site(10174, L"GetExitCodeProcess",
                                                   kMsgProgramFailureSummary,
                                                   L"Error getting exit code from \"%s\"");
constexpr Win32FailureSite kSubInstallOutputPipe = Site(10175, L"CreatePipe", kMsgProgramFailureSummary,
                                                        L"Error creating stdout pipe for \"%s\"");
constexpr Win32FailureSite kSubInstallInputPipe = Site(10176, L"CreatePipe", kMsgProgramFailureSummary,
                                                       L"Error creating stdin pipe for \"%s\"");
constexpr Win32FailureSite kSubInstallStart = Site(10177, L"CreateProcessW", kMsgProgramFailureSummary,
                                                   L"Error executing \"%s\"");
constexpr Win32FailureSite kSubInstallRead = Site(10214, L"ReadFile", kMsgProgramFailureSummary,
                                                  L"Error running subinstall \"%s\"");
// The English text also names the command line, which the localized texts
// leave out.
constexpr Win32FailureSite kPackageInstall = Site(10212, L"MsiInstallProductW",
                                                  kMsgPackageFailureSummary,
                                                  L"Error installing MSI \"%s\", params \"%s\"");
constexpr Win32FailureSite kProductRemove = Site(10213, L"MsiConfigureProductW",
                                                 kMsgProductFailureSummary,
                                                 L"Error installing product ID \"%s\"");

// Game Explorer and the firewall report the engine's internal failure texts.
constexpr Win32FailureSite kGameAccessCheck = {10027, L"IGameExplorer::VerifyAccess",
                                               kMsgInternalFailureSummary, kMsgInternalFailure,
                                               L"Parental control check failed"};
constexpr Win32FailureSite kGameAdd = {10028, L"IGameExplorer::AddGame",
                                       kMsgInternalFailureSummary, kMsgInternalFailure,
                                       L"GameExplorer add game failed"};
constexpr Win32FailureSite kGameRemove = {10029, L"IGameExplorer::RemoveGame",
                                          kMsgInternalFailureSummary, kMsgInternalFailure,
                                          L"GameExplorer remove game failed"};
constexpr Win32FailureSite kFirewallManager =
    Site(10105, L"CoCreateInstance", kMsgFirewallFailureSummary,
         L"Unable to initialize INetFwMgr (firewall manager)");

}  // namespace FailureSite

// The site's report of the error: the localized texts filled with the names,
// and the English text with the English names (the same, unless given).
template <typename... Names>
Win32Exception Win32Failure(const Win32FailureSite& site, DWORD error, const Names&... names)
{
    return Win32Exception(Localizer::Text(site.messageId, names...),
                          Localizer::Text(site.summaryId, names...),
                          FormatWide(site.englishFormat, names.c_str()...), site.code,
                          site.functionName, error);
}

// The same, naming the call that failed where the site covers several.
template <typename... Names>
Win32Exception Win32FailureOf(const Win32FailureSite& site, const wchar_t* functionName,
                              DWORD error, const Names&... names)
{
    return Win32Exception(Localizer::Text(site.messageId, names...),
                          Localizer::Text(site.summaryId, names...),
                          FormatWide(site.englishFormat, names.c_str()...), site.code, functionName,
                          error);
}

// The same, for a site whose English text names more than the localized texts
// do: the caller fills the site's English format.
template <typename... Names>
Win32Exception Win32FailureWithEnglish(const Win32FailureSite& site, DWORD error,
                                       const std::wstring& englishText, const Names&... names)
{
    return Win32Exception(Localizer::Text(site.messageId, names...),
                          Localizer::Text(site.summaryId, names...), englishText, site.code,
                          site.functionName, error);
}

template <typename... Names>
[[noreturn]] void ThrowWin32Failure(const Win32FailureSite& site, DWORD error, const Names&... names)
{
    throw Win32Failure(site, error, names...);
}

}  // namespace OstrelInstallEngine
