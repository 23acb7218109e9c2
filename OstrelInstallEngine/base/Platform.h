// The engine's helpers over the platform that every layer may need: where
// the system keeps things for this process and its user, how it names a file
// it has opened, and text in UTF-8. Each exists once, here.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelInstallEngine {

// The user's temporary folder as GetTempPathW gives it, ending with a
// backslash. False, with the error, when the system gives none or one of
// MAX_PATH characters or more (the buffer is then left unfilled).
bool TryGetTempPath(std::wstring* path, DWORD* error);

// The running executable's full path, however long; 10392 when the system
// cannot give it.
std::wstring GetExecutableFilePath();

// The name under which the system knows an open file or folder, in "\\?\"
// form and with every link on the way resolved; empty when it cannot tell.
std::wstring GetFinalPath(HANDLE handle);

// The attributes of an open file or folder; INVALID_FILE_ATTRIBUTES when
// the system cannot give them.
DWORD GetAttributes(HANDLE handle);

// The final path of a folder, opened through whatever links lead to it. False,
// with the system's error, when it cannot be opened; the path is empty when
// the system cannot name it.
bool GetFinalFolderPath(const std::wstring& folder, std::wstring* finalPath);

// A file or folder the same under any of its names (a short name, another
// letter case, a hard link).
struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const FileIdentity& other) const;
};

// False when the path cannot be opened or its identity read.
bool GetFileIdentity(const std::wstring& path, FileIdentity* identity);

// Whether the object open as handle is the entry name of the folder whose
// final path is folderPath, reached through no link: a link opened without
// following it names itself, one that the system followed anyway names its
// target. Letter case does not count, as in the file system's own names.
bool IsEntryOf(HANDLE handle, const std::wstring& folderPath, const std::wstring& name);

// folder, a backslash unless it ends with one, and name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// UTF-8 and UTF-16 as the system converts them: an invalid sequence becomes
// U+FFFD, and a lone surrogate the three bytes of U+FFFD.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace OstrelInstallEngine
