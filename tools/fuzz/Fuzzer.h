// A seeded mutation loop over one parser at a time. Every case is made from a
// real input by a few random edits and run in this process; the parser may
// accept it or fail with one of the failures it documents, anything else
// (another exception type, a crash, a case that does not end) is a finding,
// written to a file with what reproduces it, and ends the run.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace OstrelFuzz {

using Bytes = std::vector<uint8_t>;

struct SeedInput {
    std::string name;
    Bytes bytes;
};

// The case's own random source, for choices the parser call makes (buffer
// sizes, which entry to open), so that a case is reproduced by its number.
using CaseRandom = std::mt19937_64;

struct Target {
    std::string name;
    std::vector<SeedInput> seeds;
    // Byte strings that mean something to this parser, inserted as they are.
    std::vector<std::string> dictionary;
    // Runs the parser on one case; returns normally or throws.
    std::function<void(const Bytes& input, CaseRandom& random)> parse;
    // True for a failure other than the engine's own that the parser documents.
    std::function<bool(const std::exception& error)> isDocumentedFailure;
};

struct Options {
    uint64_t seed = 1;
    uint64_t casesPerTarget = 2000;
    double secondsPerTarget = 60;
    unsigned caseTimeoutSeconds = 20;
    std::string findingsDir = ".";
    std::string onlyTarget;
};

struct TargetResult {
    uint64_t cases = 0;
    uint64_t accepted = 0;
    uint64_t engineFailures = 0;
    uint64_t documentedFailures = 0;
    std::map<std::string, uint64_t> engineCodes;
    double seconds = 0;
    uint64_t slowestCaseMs = 0;
};

class Fuzzer {
public:
    explicit Fuzzer(Options options);
    // Runs the cases of one target; a finding ends the process.
    TargetResult Run(const Target& target);

private:
    Bytes MakeCase(const Target& target, uint64_t caseNumber, CaseRandom& random) const;
    void Mutate(const Target& target, Bytes& bytes, CaseRandom& random) const;
    [[noreturn]] void ReportFinding(const std::string& kind, const std::string& what) const;

    Options m_options;
};

// The targets of this program, over the seed files of the fixture folder.
Target MakeFormatFillerTarget(const std::string& fixtureDir);
Target MakeStringTableTarget(const std::string& fixtureDir);
Target MakeTextReaderTarget(const std::string& fixtureDir);
Target MakeZipTarget(const std::string& fixtureDir);
Target MakeDeltaTarget(const std::string& fixtureDir);

// Seed helpers shared by the targets.
Bytes ReadFileBytes(const std::string& path);
std::vector<SeedInput> ReadSeeds(const std::string& dir, const std::vector<std::string>& names);
Bytes BuiltInMessageTable();

}  // namespace OstrelFuzz
