// What a run leaves in the temporary directory, and who removes it: the
// bootstrap schedules its copies and their folder for the next restart; the
// end of a run removes the engine's private folder (what is held, at the next
// restart) and the engine folders of earlier runs that were killed.
#pragma once

#include <string>

// Dialog mode started in place, not from the temp path (where the bootstrap
// that made the copy has scheduled it): marks the running executable for
// deletion at the next restart. Silent.
void ScheduleInPlaceCopyRemoval();

// Removes the application object's engine temp folder and the engine folders
// that killed runs left behind. Silent.
void RemoveRunTempFolders();

// True when the upper-case temp path occurs inside the upper-case folder.
bool IsInsideTempPath(const std::wstring& folder, const std::wstring& tempPath);
