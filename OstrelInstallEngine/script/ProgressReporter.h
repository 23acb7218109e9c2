// Receives the overall progress of a script run, on the script's thread.
#pragma once

#include <string>

namespace OstrelInstallEngine {

class ProgressReporter {
public:
    // progress is the overall fraction in [0, 1]; text the current status text.
    virtual void ReportProgress(double progress, const std::wstring& text) = 0;

protected:
    ~ProgressReporter() = default;
};

}  // namespace OstrelInstallEngine
