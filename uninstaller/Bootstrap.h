// The first process of every user start: copies the executable and the crash
// reporter's files into a fresh folder under the temp path, marks them for
// deletion at the next restart and starts the copy with "bootstrapped" or
// "bootstrapped-quiet", so that the game folder, the started executable
// included, can be removed while the uninstall runs.
#pragma once

#include <string>
#include <vector>

// Dialog mode: 0 once the copy has been started (it is not waited for), 1
// after an error box. Quiet: the copy's own exit code once it has handed over
// its outcome (0, 1 or 2, as its last line), 2 after a failure of the
// bootstrap, which then shows no box but writes an ERROR line.
int Bootstrap(bool quiet);

// "\BsSndRpt.exe", "\BugSplat.dll", "\BugSplatRC.dll", "\DBGHELP.dll": the
// crash reporter's files, each to be appended to a folder path.
const std::vector<const wchar_t*>& CrashReporterFileNames();

// Creates the GUID-named temp folder; 0 on success, 1 after an error box
// (a line when quiet).
int InitTempDir();

// 0 when all four crash-reporter files were copied, 1 at the first failure.
int CopyCrashReporterFiles(std::wstring sourceDirectory, std::wstring targetDirectory);

// Marks the copied crash-reporter files, then the temp folder, for deletion at
// the next restart; stops silently at the first failure.
void ScheduleDeleteOnReboot();
