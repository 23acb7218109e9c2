// Builds a zip archive in memory with minizip's zip API, every entry
// deflated. Failures are engine check failures.
#pragma once

#include <windows.h>

#include <string>

namespace OstrelPackagerTool {

class ZipWriter {
public:
    ZipWriter();
    // Drops an unfinished archive.
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void AddFile(const std::string& entryName, const std::string& content,
                 const FILETIME& modified);
    // Writes the central directory; the writer takes no more files.
    std::string Finish();

private:
    static void* OpenCallback(void* opaque, const char* name, int mode);
    static unsigned long ReadCallback(void* opaque, void* stream, void* buffer,
                                      unsigned long size);
    static unsigned long WriteCallback(void* opaque, void* stream, const void* buffer,
                                       unsigned long size);
    static long TellCallback(void* opaque, void* stream);
    static long SeekCallback(void* opaque, void* stream, unsigned long offset, int origin);
    static int CloseCallback(void* opaque, void* stream);
    static int ErrorCallback(void* opaque, void* stream);

    std::string m_bytes;
    size_t m_position = 0;
    void* m_zip = nullptr;
};

}  // namespace OstrelPackagerTool
