// A zip archive read through minizip from an engine Stream instead of a disk
// file. Engine exceptions raised by the stream inside minizip's C callbacks
// are held and, during Open, rethrown as themselves. One entry at a time can
// be open; only reading is supported.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Stream.h"

namespace OstrelInstallEngine {

class ZipFile {
public:
    // A stream over the current entry of an open archive, inflated on the fly.
    // It must be destroyed or closed before the next entry is opened and
    // before the archive is closed.
    class ZipFileStream : public Stream {
    public:
        ZipFileStream() = default;
        ~ZipFileStream() override;
        ZipFileStream(const ZipFileStream&) = delete;
        ZipFileStream& operator=(const ZipFileStream&) = delete;

        // Finds the entry by name: characters above 127 are dropped, a
        // backslash matches a forward slash, ASCII letter case is ignored. A
        // missing entry fails with MiniZipException (10295, -100).
        void Open(ZipFile* zipFile, std::wstring name);

        // After a complete read this is where a CRC mismatch surfaces (10314,
        // -105); a half-read entry is not checked.
        void Close() override;
        uint32_t Read(void* buffer, uint32_t size) override;
        bool AtEof() override;
        uint32_t GetSize() override;
        uint32_t GetPosition() override;
        // Only 0 (a restart) and the current position are accepted (10308).
        void SetPosition(uint32_t pos) override;

    private:
        ZipFile* m_zipFile = nullptr;
        uint32_t m_uncompressedSize = 0;
    };

    ZipFile() = default;
    // Closes the archive; a failure to close is dropped.
    ~ZipFile();
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // Takes the stream; zipName is for messages only. Data that is not a zip
    // archive fails (10290). A failed Open deletes the stream and leaves the
    // archive closed.
    void Open(std::wstring zipName, std::unique_ptr<Stream> stream);
    // The caller owns the entry stream.
    std::unique_ptr<Stream> OpenFile(std::wstring name);
    // Entry names in central-directory order, folders ("dir/") included; each
    // byte of a name becomes one character (sign-extended above 127). Every
    // entry is opened once on the way, so a damaged local header fails here.
    std::vector<std::wstring> GetFileNames();
    // Deletes the stream. Refused while an entry is open (10292); closing a
    // closed archive does nothing.
    void Close();

private:
    struct MiniZipCallbacks;

    // Returns a result of 0 or more; a negative one throws MiniZipException
    // with the site code and the API name.
    int CheckResult(int result, std::wstring apiName, int code);
    void OpenArchive();
    void ReleaseArchive();

    std::wstring m_zipName;
    std::unique_ptr<Stream> m_zipStream;
    std::unique_ptr<Exception> m_pendingException;
    // minizip's unzFile, kept opaque so that only ZipFile.cpp sees minizip.
    void* m_zip = nullptr;
    bool m_zipStreamOpened = false;
    bool m_inUse = false;
};

}  // namespace OstrelInstallEngine
