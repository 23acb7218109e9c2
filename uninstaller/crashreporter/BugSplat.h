// The crash reporter that travels beside the uninstaller. Creating one
// MiniDmpSender for the life of the process is all a program does with it:
// an unhandled exception then leaves a minidump in the temporary folder and
// ends the process instead of waiting in a debugger.
#pragma once

#ifdef OSTREL_BUILDING_BUGSPLAT
#define BUGSPLAT_API __declspec(dllexport)
#else
#define BUGSPLAT_API __declspec(dllimport)
#endif

class BUGSPLAT_API MiniDmpSender {
public:
    // database, application, version and application identifier name the
    // report; the identifier may be null. flags are kept for the sender.
    MiniDmpSender(const char* database, const char* application, const char* version,
                  const char* appIdentifier, unsigned int flags);
    ~MiniDmpSender();
    MiniDmpSender(const MiniDmpSender&) = delete;
    MiniDmpSender& operator=(const MiniDmpSender&) = delete;
};
