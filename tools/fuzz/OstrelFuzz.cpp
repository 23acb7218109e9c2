// OstrelFuzz.exe: feeds mutated inputs to the engine's parsers (message
// formatting, string tables, text lines, zip archives, deltas) and reports
// per parser how many cases ran and how they ended. Exit code 0 when nothing
// was found, 1 for an unexpected exception, 3 for a hang, 4 for a crash,
// 2 for a bad command line or missing seeds.
//   OstrelFuzz --fixtures <dir> [--seed N] [--cases N] [--seconds S]
//              [--case-timeout S] [--target name] [--findings <dir>]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Fuzzer.h"
#include "base/Exception.h"
#include "base/Localizer.h"
#include "base/ResourceExtractor.h"

using namespace OstrelFuzz;

namespace {

const int kBadCommandLine = 2;

// A Unix path of the build machine as Wine sees it (drive Z: maps to /).
std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    return path;
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& fixtureDir)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--seed") {
            options.seed = std::strtoull(value, nullptr, 10);
        } else if (name == "--cases") {
            options.casesPerTarget = std::strtoull(value, nullptr, 10);
        } else if (name == "--seconds") {
            options.secondsPerTarget = std::strtod(value, nullptr);
        } else if (name == "--case-timeout") {
            options.caseTimeoutSeconds = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (name == "--target") {
            options.onlyTarget = value;
        } else if (name == "--findings") {
            options.findingsDir = WindowsPath(value);
        } else if (name == "--fixtures") {
            fixtureDir = WindowsPath(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !fixtureDir.empty() && options.caseTimeoutSeconds > 0;
}

void PrintResult(const std::string& name, const TargetResult& result)
{
    std::printf("%-14s %8llu cases %7.1f s: %llu accepted, %llu engine failures, "
                "%llu documented other failures, slowest case %llu ms\n",
                name.c_str(), static_cast<unsigned long long>(result.cases), result.seconds,
                static_cast<unsigned long long>(result.accepted),
                static_cast<unsigned long long>(result.engineFailures),
                static_cast<unsigned long long>(result.documentedFailures),
                static_cast<unsigned long long>(result.slowestCaseMs));
    std::string codes;
    for (const auto& [code, count] : result.engineCodes) {
        codes += " " + code + "x" + std::to_string(count);
    }
    if (!codes.empty()) {
        std::printf("%-14s error codes:%s\n", "", codes.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string fixtureDir;
    if (!ParseOptions(argc, argv, options, fixtureDir)) {
        std::fputs("usage: OstrelFuzz --fixtures <dir> [--seed N] [--cases N] [--seconds S] "
                   "[--case-timeout S] [--target name] [--findings <dir>]\n",
                   stderr);
        return kBadCommandLine;
    }
    try {
        OstrelInstallEngine::ResourceExtractor::Init();
        OstrelInstallEngine::Localizer::Init();
    } catch (const OstrelInstallEngine::Exception&) {
        std::fputs("OstrelFuzz: the built-in message table does not load\n", stderr);
        return kBadCommandLine;
    }
    using MakeTarget = Target (*)(const std::string&);
    const MakeTarget makers[] = {MakeFormatFillerTarget, MakeStringTableTarget,
                                 MakeTextReaderTarget, MakeZipTarget, MakeDeltaTarget};
    Fuzzer fuzzer(options);
    uint64_t total = 0;
    double seconds = 0;
    for (const MakeTarget make : makers) {
        const Target target = make(fixtureDir);
        if (!options.onlyTarget.empty() && options.onlyTarget != target.name) {
            continue;
        }
        const TargetResult result = fuzzer.Run(target);
        PrintResult(target.name, result);
        total += result.cases;
        seconds += result.seconds;
    }
    std::printf("total          %8llu cases %7.1f s, seed %llu, no findings\n",
                static_cast<unsigned long long>(total), seconds,
                static_cast<unsigned long long>(options.seed));
    return 0;
}
