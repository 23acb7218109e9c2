// Throughput of the engine's archive, hashing and patching streams over data
// in memory, each the best of several runs. Prints "name value" lines for
// tools/benchmarks/run-stream-benchmarks.sh:
//   StreamBenchmarks inflate <archive.zip> <entry>
//   StreamBenchmarks md5 <file>
//   StreamBenchmarks delta <source> <patch>
#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/Exception.h"
#include "streams/FileStream.h"
#include "streams/MD5Stream.h"
#include "base/MemoryStream.h"
#include "base/Util.h"
#include "streams/XDeltaPatchingStream.h"
#include "streams/ZipFile.h"

namespace {

using namespace OstrelInstallEngine;

const int kRuns = 5;
const uint32_t kChunkSize = 40960;

std::string ReadWholeFile(const char* path)
{
    FileStream file;
    file.Open(Widen(path));
    std::string bytes(file.GetSize(), '\0');
    if (!bytes.empty()) {
        file.ReadExact(&bytes[0], static_cast<uint32_t>(bytes.size()));
    }
    return bytes;
}

std::unique_ptr<Stream> MemoryOver(const std::string& bytes)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return stream;
}

// Megabytes (10^6 bytes) per second of the fastest run; each run returns the
// number of bytes it produced.
double BestThroughput(const std::function<uint64_t()>& run)
{
    double best = 0;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const uint64_t bytes = run();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(bytes) / 1e6 / seconds.count());
    }
    return best;
}

uint64_t Drain(Stream& stream, std::string& chunk)
{
    uint64_t total = 0;
    for (uint32_t count; (count = stream.Read(&chunk[0], kChunkSize)) != 0;) {
        total += count;
    }
    return total;
}

// The entry's deflate data as stored, read by minizip's own file functions,
// for the plain zlib baseline.
std::string RawEntry(const char* archivePath, const char* entry)
{
    unzFile zip = unzOpen(archivePath);
    if (zip == nullptr || unzLocateFile(zip, entry, 1) != UNZ_OK) {
        throw std::runtime_error("entry not found in the archive");
    }
    unz_file_info info;
    unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    int method = 0;
    int level = 0;
    unzOpenCurrentFile2(zip, &method, &level, 1);
    std::string raw(info.compressed_size, '\0');
    const int count = unzReadCurrentFile(zip, &raw[0], static_cast<unsigned>(raw.size()));
    unzCloseCurrentFile(zip);
    unzClose(zip);
    if (method != Z_DEFLATED || count != static_cast<int>(raw.size())) {
        throw std::runtime_error("the entry is not deflated");
    }
    return raw;
}

int Inflate(const char* archivePath, const char* entry)
{
    const std::string archive = ReadWholeFile(archivePath);
    std::string chunk(kChunkSize, '\0');
    ZipFile zipFile;
    zipFile.Open(L"bench.zip", MemoryOver(archive));
    const double zipStream = BestThroughput([&]() {
        std::unique_ptr<Stream> stream = zipFile.OpenFile(Widen(entry));
        return Drain(*stream, chunk);
    });

    // minizip checks every entry's CRC-32 while it inflates: the second
    // baseline does the same, to show what the check itself costs.
    const std::string raw = RawEntry(archivePath, entry);
    const auto plainInflate = [&](bool withCrc) {
        z_stream inflater = {};
        inflateInit2(&inflater, -MAX_WBITS);
        inflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
        inflater.avail_in = static_cast<uInt>(raw.size());
        uint64_t total = 0;
        uLong crc = crc32(0, nullptr, 0);
        int result = Z_OK;
        while (result == Z_OK) {
            inflater.next_out = reinterpret_cast<Bytef*>(&chunk[0]);
            inflater.avail_out = kChunkSize;
            result = inflate(&inflater, Z_NO_FLUSH);
            const uInt produced = kChunkSize - inflater.avail_out;
            if (withCrc) {
                crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), produced);
            }
            total += produced;
        }
        inflateEnd(&inflater);
        return total + (crc & 0);
    };
    const double zlib = BestThroughput([&]() { return plainInflate(false); });
    const double zlibCrc = BestThroughput([&]() { return plainInflate(true); });
    std::printf("zipfilestream_mbps %.1f\nzlib_mbps %.1f\nzlib_crc_mbps %.1f\n", zipStream, zlib,
                zlibCrc);
    return 0;
}

int HashFile(const char* path)
{
    const std::string data = ReadWholeFile(path);
    std::string chunk(kChunkSize, '\0');
    std::string digest;
    const double md5 = BestThroughput([&]() {
        MD5Stream stream;
        stream.Open(MemoryOver(data));
        const uint64_t total = Drain(stream, chunk);
        const unsigned char* bytes = stream.GetMD5();
        digest.clear();
        for (int i = 0; i < 16; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
            digest += pair;
        }
        return total;
    });
    std::printf("md5stream_mbps %.1f\nmd5 %s\n", md5, digest.c_str());
    return 0;
}

int Patch(const char* sourcePath, const char* patchPath)
{
    const std::string source = ReadWholeFile(sourcePath);
    const std::string patch = ReadWholeFile(patchPath);
    std::string chunk(kChunkSize, '\0');
    const double delta = BestThroughput([&]() {
        std::unique_ptr<Stream> sourceStream = MemoryOver(source);
        std::unique_ptr<Stream> patchStream = MemoryOver(patch);
        XDeltaPatchingStream stream;
        stream.Open(sourceStream.get(), L"bench", patchStream.get());
        uint64_t total = 0;
        do {
            total += stream.Read(&chunk[0], kChunkSize);
        } while (!stream.AtEof());
        stream.Close();
        return total;
    });
    std::printf("xdeltastream_mbps %.1f\n", delta);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "inflate" && argc == 4) {
            return Inflate(argv[2], argv[3]);
        }
        if (command == "md5" && argc == 3) {
            return HashFile(argv[2]);
        }
        if (command == "delta" && argc == 4) {
            return Patch(argv[2], argv[3]);
        }
        std::fprintf(stderr, "usage: StreamBenchmarks inflate <zip> <entry> | md5 <file> | "
                             "delta <source> <patch>\n");
        return 2;
    } catch (const Exception& error) {
        std::fprintf(stderr, "%ls", error.GetReport().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    return 1;
}
