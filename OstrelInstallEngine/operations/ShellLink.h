// Shortcut files written through the shell's own COM objects, transactionally:
// a link file that already exists is backed up first (restored at rollback,
// deleted at commit), and the new file is removed at rollback. COM is
// initialised on the calling thread for the time of the call if it is not
// already.
#pragma once

#include <string>

namespace OstrelInstallEngine {

class Transaction;

class ShellLink {
public:
    // What a shell link holds; the script passes the full link path.
    struct Fields {
        std::wstring linkPath;
        std::wstring target;
        std::wstring workingFolder;
        std::wstring arguments;
        std::wstring description;
        std::wstring iconPath;
        int iconIndex = 0;
    };

    // A shell link (.lnk). Failed interface calls are checks 10200-10205 and
    // 10227; a failed save is 10199.
    static void CreateShortcut(Transaction& transaction, const Fields& fields);
    // An Internet shortcut to the URL. Failed interface calls are checks
    // 10206, 10208 and 10209; a failed save is 10207.
    static void CreateUrlShortcut(Transaction& transaction, const std::wstring& linkPath,
                                  const std::wstring& url);
};

}  // namespace OstrelInstallEngine
