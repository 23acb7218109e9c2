// The private folders that this program makes under the user's temp path, and
// the one owner that removes each:
// - a bootstrap folder holds the relaunched copy and the crash reporter's
//   files; the process that made it schedules everything in it, and then the
//   folder, for deletion at the next restart (the copy runs from it);
// - an engine folder holds one script run's temporary files; its RunTempFolder
//   removes it when the run ends, and what is still held then goes at the
//   next restart. It carries a marker file, and its run holds a named event,
//   so that a later run can tell the folder of a killed run and remove it
//   (RemoveFoldersOfEndedRuns).
// Both kinds are named by a new GUID and made with an access list of their
// own (the user, SYSTEM and Administrators), so that no other account can
// swap a file in them. Every removal walks the tree itself and never follows
// a link out of it.
#pragma once

#include <string>
#include <vector>

#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

class RunTempFolder {
public:
    // A new engine folder "<temp path><32 hex digits>", marked as live.
    // Throws 10051 when the temp path cannot be read (or is MAX_PATH long or
    // more) and 10045 when the folder cannot be made.
    RunTempFolder();
    // Remove(); nothing leaves the destructor.
    ~RunTempFolder();
    RunTempFolder(const RunTempFolder&) = delete;
    RunTempFolder& operator=(const RunTempFolder&) = delete;

    // Without a trailing backslash.
    const std::wstring& GetPath() const { return m_path; }

    // Removes the folder with its contents; whatever is held goes at the next
    // restart. Later calls do nothing. Silent.
    void Remove();

    // The marker file of an engine folder.
    static constexpr const wchar_t* kRunMarkerName = L"OstrelInstallEngine.run";

    // The engine folders that runs of this account left behind when they were
    // killed: named by a GUID, not a link, owned by this account, the marker a
    // regular file, the run's event gone. Anything else is left alone. Silent.
    static std::vector<std::wstring> FindFoldersOfEndedRuns();
    // Removes them, or at the next restart what is held in them. Silent.
    static void RemoveFoldersOfEndedRuns();

    // Makes a folder with the access list of private folders; false, with
    // the last error set, when it cannot.
    static bool CreatePrivateFolder(const std::wstring& path);
    // Marks the files (names relative to the folder, each beginning with a
    // backslash), then the folder, for deletion at the next restart; stops
    // at the first failure. Only what the caller put there is named.
    static void ScheduleRemovalAtRestart(const std::wstring& folder,
                                         const std::vector<std::wstring>& fileNames);

private:
    static std::wstring CreateEngineFolder();
    // The marker goes last, and only when the event is this run's own: a
    // folder is never marked that could pass for an ended run's while this
    // one lives.
    void MarkAsLive();

    std::wstring m_path;
    UniqueHandle m_liveRunEvent;
    bool m_removed = false;
};

}  // namespace OstrelInstallEngine
