// The zip reader and the delta stream.
#include <memory>

#include "Fuzzer.h"
#include "base/MemoryStream.h"
#include "streams/XDeltaPatchingStream.h"
#include "streams/ZipFile.h"
#include "streams/ZipFilePackage.h"

using namespace OstrelInstallEngine;

namespace OstrelFuzz {

namespace {

using namespace std::string_literals;

// A damaged header may claim any size; past this much output a case has
// shown what it can.
const uint32_t kOutputCap = 4u << 20;
const uint32_t kReadChunk = 65536;
const size_t kMaxEntries = 16;

const std::vector<std::string> kZipFiles = {
    "zip/infozip.zip",         "zip/cmake.zip",           "zip/python-stored.zip",
    "zip/python-deflated.zip", "zip/empty-after-stub.zip", "zip/crc-stored.zip",
    "zip/bad-deflate.zip",     "zip/bad-local-header.zip", "zip/truncated.zip",
    "zip/long-names.zip",      "zip/flat.zip",            "zip/climbing.zip",
    "script-package.zip"};

const std::vector<std::string> kZipTokens = {"PK\x03\x04", "PK\x01\x02", "PK\x05\x06",
                                             "PK\x07\x08", "\x08\0"s, "\0\0"s, "/", "\\"};

// Each delta with the source it was made for; a case's first byte picks the
// source, so a mutation of it pairs a delta with another source.
struct DeltaSeed {
    const char* source;
    const char* patch;
};
const DeltaSeed kDeltaSeeds[] = {
    {"delta/small-source.txt", "delta/small-default.vcdiff"},
    {"delta/big-source.bin", "delta/big-djw.vcdiff"},
    {"delta/big-source.bin", "delta/big-none.vcdiff"},
    {"delta/big-source.bin", "delta/big-nosource.vcdiff"},
    {"delta/big-source.bin", "delta/empty-target.vcdiff"},
    {"delta/big-source.bin", "delta/big-default.vcdiff"},
};

const std::vector<std::string> kDeltaTokens = {"\xD6\xC3\xC4\0"s, "\0"s, "\x01", "\x02",
                                               "\x03", "\x04", "\x80", "\xFF\xFF\xFF\x7F"};

std::vector<Bytes> g_deltaSources;

std::unique_ptr<MemoryStream> StreamOver(const Bytes& input, size_t from = 0)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(input.data() + from, static_cast<uint32_t>(input.size() - from));
    return stream;
}

// Reads a stream to its end or to the cap, in reads of a size the case
// chooses (single bytes with a lower cap); true when it ended.
bool Drain(Stream& stream, CaseRandom& random)
{
    static const uint32_t kChunks[] = {1, 509, 4096, kReadChunk, kReadChunk};
    static unsigned char buffer[kReadChunk];
    const uint32_t chunk = kChunks[random() % std::size(kChunks)];
    const uint32_t cap = chunk == 1 ? kReadChunk : kOutputCap;
    uint32_t total = 0;
    while (!stream.AtEof() && total < cap) {
        const uint32_t read = stream.Read(buffer, chunk);
        if (read == 0) {
            return false;
        }
        total += read;
    }
    return stream.AtEof();
}

// Lists the archive and reads every entry, by the listed names through the
// archive itself or by a name through the package, as the installer does.
void ReadZip(const Bytes& input, CaseRandom& random)
{
    if (random() % 4 == 0) {
        ZipFilePackage package;
        package.Open(L"fuzz.zip", StreamOver(input));
        static const char* const kNames[] = {"readme.txt", "REPEAT.TXT", "scripts\\main.lua",
                                             "Uninstall.lua", "data.bin", "missing"};
        std::unique_ptr<Stream> entry = package.OpenFile(kNames[random() % std::size(kNames)]);
        Drain(*entry, random);
        return;
    }
    ZipFile zip;
    zip.Open(L"fuzz.zip", StreamOver(input));
    const std::vector<std::wstring> names = zip.GetFileNames();
    for (size_t i = 0; i < names.size() && i < kMaxEntries; ++i) {
        std::unique_ptr<Stream> entry = zip.OpenFile(names[i]);
        if (random() % 8 == 0) {
            entry->SetPosition(0);
        }
        // A complete read is checked against the entry's CRC on Close.
        if (Drain(*entry, random)) {
            entry->Close();
        }
    }
    zip.Close();
}

// A source other than the one the delta was made for: a few bytes changed,
// or cut short, so that the delta asks for blocks that are not there.
Bytes AlteredSource(const Bytes& original, CaseRandom& random)
{
    Bytes source = original;
    if (source.empty() || random() % 2 == 0) {
        source.resize(source.empty() ? 0 : random() % source.size());
        return source;
    }
    for (int i = 0; i < 4; ++i) {
        source[random() % source.size()] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    return source;
}

void ApplyDelta(const Bytes& input, CaseRandom& random)
{
    if (input.empty()) {
        return;
    }
    const Bytes& original = g_deltaSources[input[0] % g_deltaSources.size()];
    const Bytes source = random() % 8 == 0 ? AlteredSource(original, random) : original;
    auto sourceStream = StreamOver(source);
    auto patchStream = StreamOver(input, 1);
    auto patched = std::make_unique<XDeltaPatchingStream>();
    patched->Open(sourceStream.get(), L"fuzz.bin", patchStream.get());
    Drain(*patched, random);
    patched->Close();
}

}  // namespace

Target MakeZipTarget(const std::string& fixtureDir)
{
    return {"zip-reader", ReadSeeds(fixtureDir, kZipFiles), kZipTokens, ReadZip, nullptr};
}

Target MakeDeltaTarget(const std::string& fixtureDir)
{
    std::vector<SeedInput> seeds;
    for (const DeltaSeed& seed : kDeltaSeeds) {
        g_deltaSources.push_back(ReadFileBytes(fixtureDir + "/" + seed.source));
        Bytes patch = ReadFileBytes(fixtureDir + "/" + seed.patch);
        patch.insert(patch.begin(), static_cast<uint8_t>(g_deltaSources.size() - 1));
        seeds.push_back({seed.patch, std::move(patch)});
    }
    return {"delta-stream", std::move(seeds), kDeltaTokens, ApplyDelta, nullptr};
}

}  // namespace OstrelFuzz
