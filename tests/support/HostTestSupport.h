// Helpers of the tests that run scripts: scripts and their payload files held
// in memory as a package, a reporter that records every call, and running a
// package's phases.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "streams/FilePackage.h"
#include "script/InstallerPackage.h"
#include "script/ProgressReporter.h"

namespace OstrelTest {

// Files held in memory; a missing name fails like a missing zip entry would.
class MemoryFilePackage final : public OstrelInstallEngine::FilePackage {
public:
    void Add(const std::string& name, std::string content) { m_files[name] = std::move(content); }
    std::unique_ptr<OstrelInstallEngine::Stream> OpenFile(std::string name) override;
    void Close() override {}

private:
    std::map<std::string, std::string> m_files;
};

struct ProgressReport {
    double progress;
    std::wstring text;
};

class RecordingReporter : public OstrelInstallEngine::ProgressReporter {
public:
    void ReportProgress(double progress, const std::wstring& text) override
    {
        reports.push_back(ProgressReport{progress, text});
    }
    std::vector<ProgressReport> reports;
};

// One package opened on one script ("uninstall.lua") and the payload files it
// installs from, with a recording reporter.
class ScriptPackage {
public:
    explicit ScriptPackage(const std::string& script,
                           const std::map<std::string, std::string>& payload = {});

    OstrelInstallEngine::InstallerPackage& Package() { return m_package; }
    RecordingReporter& Reporter() { return m_reporter; }
    // props[name] as text, "<missing>" when it is not a wide string.
    std::wstring Prop(const std::string& name);

private:
    MemoryFilePackage m_files;
    RecordingReporter m_reporter;
    OstrelInstallEngine::InstallerPackage m_package;
};

// Runs a program under Wine with its standard output and error in a file;
// returns the exit code and the output, its CR LF line ends turned into LF.
int RunProgram(const std::wstring& commandLine, std::string* output);
std::wstring ScriptHostPath();

}  // namespace OstrelTest
