// The first process of every user start: copies the executable and the crash
// reporter's files into a fresh folder under the temp path, marks them for
// deletion at the next restart and starts the copy with "bootstrapped" or
// "bootstrapped-quiet", so that the game folder, the started executable
// included, can be removed while the uninstall runs.
#pragma once

#include <string>

// 0 once the copy has been started (it is not waited for); 1 after an error
// box.
int Bootstrap(bool quiet);

// Creates the GUID-named temp folder; 0 on success, 1 after an error box.
int InitTempDir();

// 0 when all four crash-reporter files were copied, 1 at the first failure.
int CopyCrashReporterFiles(std::wstring sourceDirectory, std::wstring targetDirectory);

// Marks the copied crash-reporter files, then the temp folder, for deletion at
// the next restart; stops silently at the first failure.
void ScheduleDeleteOnReboot();
