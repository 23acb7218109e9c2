// Writes a stream into a file that an operation has just created, reporting
// progress inside the script's current step.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelInstallEngine {

class InstallerPackage;
class Stream;

class FileWriter {
public:
    // Copies the rest of source into the open file in 40960-byte blocks and
    // reports after each block how far the progress stream is. The two
    // differ for a patch, whose output has no size: then progress is
    // measured on the file being patched. The handle stays with the caller;
    // fileName is for messages (10383 for a failed write, 10382 for a short one).
    static void WriteStreamToFile(InstallerPackage& package, Stream& source, Stream& progress,
                                  HANDLE file, const std::wstring& fileName);
};

}  // namespace OstrelInstallEngine
