// What a run leaves in the temporary directory is removed: the relaunched copy
// and its folder at the next restart, the engine's private folder now (or at
// the restart where something in it is still held), and the private folders
// of earlier runs that were killed.
#pragma once

#include <string>

// Marks the running executable for deletion at the next restart; when it is
// a bootstrap copy (it runs from inside the temp path), also marks its folder
// once more, after the executable, so that the folder is empty when its turn
// comes. A folder that the bootstrap did not make is never marked. Silent.
void ScheduleRunningCopyRemoval(bool includeExecutable);

// Deletes the application object's engine temp folder with its contents, and
// those that killed runs left behind; what cannot be deleted now is marked for
// deletion at restart. Silent.
void RemoveEngineTempFolder();

// True when the upper-case temp path occurs inside the upper-case folder.
bool IsInsideTempPath(const std::wstring& folder, const std::wstring& tempPath);

// GetModuleFileNameW of the executable; empty on failure.
std::wstring GetExecutablePath();
