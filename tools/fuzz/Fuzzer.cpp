#include "Fuzzer.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <thread>

#include "base/Exception.h"
#include "base/ResourceExtractor.h"
#include "base/Stream.h"

namespace OstrelFuzz {

namespace {

const uint32_t kBuiltInTableId = 103;
const size_t kMaxGrowth = 4096;

// What the crash handler and the watchdog need to write a finding: the case
// in flight. The parser runs on the main thread; these are set before it.
struct CurrentCase {
    std::string target;
    std::string seedName;
    uint64_t runSeed = 0;
    uint64_t number = 0;
    const Bytes* bytes = nullptr;
    std::string findingsDir;
};
CurrentCase g_case;
std::atomic<uint64_t> g_caseStartMs{0};

uint64_t NowMs()
{
    return GetTickCount64();
}

std::string NarrowAscii(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t character : text) {
        narrow += character < 128 ? static_cast<char>(character) : '?';
    }
    return narrow;
}

// Writes the case and a line that reproduces it; safe enough to call from the
// crash handler (no exceptions, plain C I/O).
void WriteFinding(const std::string& kind, const std::string& what)
{
    const std::string base = g_case.findingsDir + "/fuzz-finding-" + g_case.target + "-" +
                             std::to_string(g_case.number);
    if (FILE* data = std::fopen((base + ".bin").c_str(), "wb")) {
        if (g_case.bytes != nullptr && !g_case.bytes->empty()) {
            std::fwrite(g_case.bytes->data(), 1, g_case.bytes->size(), data);
        }
        std::fclose(data);
    }
    char line[1024];
    std::snprintf(line, sizeof(line),
                  "FINDING %s: target %s, seed %llu, case %llu (from %s), %s; input in %s.bin\n",
                  kind.c_str(), g_case.target.c_str(),
                  static_cast<unsigned long long>(g_case.runSeed),
                  static_cast<unsigned long long>(g_case.number), g_case.seedName.c_str(),
                  what.c_str(), base.c_str());
    if (FILE* text = std::fopen((base + ".txt").c_str(), "w")) {
        std::fputs(line, text);
        std::fclose(text);
    }
    std::fputs(line, stderr);
    std::fflush(stderr);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    char what[128];
    std::snprintf(what, sizeof(what), "exception 0x%08lX at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    WriteFinding("crash", what);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate()
{
    WriteFinding("terminate", "std::terminate called");
    TerminateProcess(GetCurrentProcess(), 4);
}

void StartWatchdog(unsigned timeoutSeconds)
{
    std::thread([timeoutSeconds] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const uint64_t started = g_caseStartMs.load();
            if (started != 0 && NowMs() - started > timeoutSeconds * 1000ull) {
                WriteFinding("hang", "still running after " + std::to_string(timeoutSeconds) + " s");
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    }).detach();
}

uint64_t Mix(uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

uint64_t NameHash(const std::string& name)
{
    uint64_t hash = 1469598103934665603ull;
    for (const char character : name) {
        hash = (hash ^ static_cast<uint8_t>(character)) * 1099511628211ull;
    }
    return hash;
}

size_t Pick(CaseRandom& random, size_t count)
{
    return count == 0 ? 0 : static_cast<size_t>(random() % count);
}

// Headers sit at the front and indexes (a zip's central directory) at the
// back, where a small edit reaches most code: half the edits land there.
size_t PickPosition(CaseRandom& random, size_t size)
{
    const size_t kHead = 128;
    const size_t kTail = 512;
    switch (Pick(random, 4)) {
    case 0:
        return Pick(random, std::min(size, kHead) + 1);
    case 1:
        return size - Pick(random, std::min(size, kTail) + 1);
    default:
        return Pick(random, size + 1);
    }
}

void PutLittleEndian(Bytes& bytes, size_t at, uint32_t value, size_t width)
{
    for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

Fuzzer::Fuzzer(Options options) : m_options(std::move(options))
{
    g_case.runSeed = m_options.seed;
    g_case.findingsDir = m_options.findingsDir;
    SetUnhandledExceptionFilter(OnCrash);
    std::set_terminate(OnTerminate);
    StartWatchdog(m_options.caseTimeoutSeconds);
}

TargetResult Fuzzer::Run(const Target& target)
{
    TargetResult result;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    g_case.target = target.name;
    for (uint64_t number = 0;
         number < m_options.casesPerTarget && elapsed() < m_options.secondsPerTarget; ++number) {
        CaseRandom random(Mix(m_options.seed ^ Mix(NameHash(target.name) + number)));
        const Bytes input = MakeCase(target, number, random);
        g_case.number = number;
        g_case.bytes = &input;
        g_caseStartMs = NowMs();
        try {
            target.parse(input, random);
            ++result.accepted;
        } catch (const OstrelInstallEngine::Exception& error) {
            ++result.engineFailures;
            ++result.engineCodes[NarrowAscii(error.GetErrorCode())];
        } catch (const std::exception& error) {
            if (!target.isDocumentedFailure || !target.isDocumentedFailure(error)) {
                ReportFinding("unexpected exception", std::string("std::exception: ") + error.what());
            }
            ++result.documentedFailures;
        } catch (...) {
            ReportFinding("unexpected exception", "an exception of an unknown type");
        }
        result.slowestCaseMs = std::max(result.slowestCaseMs, NowMs() - g_caseStartMs);
        g_caseStartMs = 0;
        g_case.bytes = nullptr;
        ++result.cases;
    }
    result.seconds = elapsed();
    return result;
}

Bytes Fuzzer::MakeCase(const Target& target, uint64_t caseNumber, CaseRandom& random) const
{
    const SeedInput& seed = target.seeds[Pick(random, target.seeds.size())];
    g_case.seedName = seed.name;
    Bytes bytes = seed.bytes;
    // Every sixteenth case is a seed as it is, so that the loop proves the
    // seeds themselves parse.
    if (caseNumber % 16 != 0) {
        Mutate(target, bytes, random);
    }
    return bytes;
}

void Fuzzer::Mutate(const Target& target, Bytes& bytes, CaseRandom& random) const
{
    static const uint32_t kInteresting[] = {0,          1,          0x7F,       0x80,
                                            0xFF,       0x100,      0x7FFF,     0x8000,
                                            0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000,
                                            0xFFFFFFFE, 0xFFFFFFFF};
    static const size_t kWidths[] = {1, 2, 4};
    const size_t limit = bytes.size() + kMaxGrowth;
    // Mostly one or two edits, so that a case gets past the first checks of
    // the format; now and then a burst.
    const int edits = 1 + static_cast<int>(Pick(random, 8) == 0 ? Pick(random, 16) : Pick(random, 2));
    for (int edit = 0; edit < edits; ++edit) {
        const size_t at = PickPosition(random, bytes.size());
        const bool inside = at < bytes.size();
        switch (Pick(random, 8)) {
        case 0:
            if (inside) {
                bytes[at] ^= static_cast<uint8_t>(1u << Pick(random, 8));
            }
            break;
        case 1:
            if (inside) {
                bytes[at] = static_cast<uint8_t>(random());
            }
            break;
        case 2:
            PutLittleEndian(bytes, at, kInteresting[Pick(random, std::size(kInteresting))],
                            kWidths[Pick(random, std::size(kWidths))]);
            break;
        case 3:
            // Cut short now and then only: most formats keep their index at the end.
            if (Pick(random, 4) == 0) {
                bytes.resize(at);
            }
            break;
        case 4: {
            const size_t count = std::min<size_t>(1 + Pick(random, 64), limit - std::min(limit, bytes.size()));
            Bytes noise(count);
            for (uint8_t& byte : noise) {
                byte = static_cast<uint8_t>(random());
            }
            bytes.insert(bytes.begin() + at, noise.begin(), noise.end());
            break;
        }
        case 5: {
            if (!inside) {
                break;
            }
            const size_t count = std::min({1 + Pick(random, 512), bytes.size() - at,
                                           limit - std::min(limit, bytes.size())});
            const Bytes chunk(bytes.begin() + at, bytes.begin() + at + count);
            bytes.insert(bytes.begin() + Pick(random, bytes.size() + 1), chunk.begin(), chunk.end());
            break;
        }
        case 6: {
            if (!inside) {
                break;
            }
            const size_t count = std::min(1 + Pick(random, 256), bytes.size() - at);
            bytes.erase(bytes.begin() + at, bytes.begin() + at + count);
            break;
        }
        default: {
            if (target.dictionary.empty()) {
                break;
            }
            const std::string& token = target.dictionary[Pick(random, target.dictionary.size())];
            if (Pick(random, 2) == 0 && at + token.size() <= bytes.size()) {
                std::copy(token.begin(), token.end(), bytes.begin() + at);
            } else {
                bytes.insert(bytes.begin() + at, token.begin(), token.end());
            }
            break;
        }
        }
    }
}

void Fuzzer::ReportFinding(const std::string& kind, const std::string& what) const
{
    WriteFinding(kind, what);
    std::exit(1);
}

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "OstrelFuzz: cannot read the seed %s\n", path.c_str());
        std::exit(2);
    }
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<SeedInput> ReadSeeds(const std::string& dir, const std::vector<std::string>& names)
{
    std::vector<SeedInput> seeds;
    for (const std::string& name : names) {
        seeds.push_back({name, ReadFileBytes(dir + "/" + name)});
    }
    return seeds;
}

Bytes BuiltInMessageTable()
{
    auto stream = OstrelInstallEngine::ResourceExtractor::GetInstance()->GetResource(
        static_cast<WORD>(kBuiltInTableId));
    Bytes bytes(stream->GetSize());
    stream->ReadExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes;
}

}  // namespace OstrelFuzz
