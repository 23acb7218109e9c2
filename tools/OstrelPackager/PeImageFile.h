// The parts of a program's PE header that a rewrite of its resources makes
// stale: the certificate table (its Authenticode signatures) and the
// checksum.
#pragma once

#include <windows.h>

#include <string>

#include "base/UniqueHandle.h"

namespace OstrelPackagerTool {

class PeImageFile {
public:
    // Reads the header; writable opens the file for the changes below too.
    // A file that is no PE image is pecNotAnUninstaller; one that cannot be
    // opened is pecWriteFailed when writable, else pecNotAnUninstaller.
    PeImageFile(const std::wstring& path, bool writable);

    bool IsSigned() const { return m_certificateTable.VirtualAddress != 0; }
    // Signing tools append the table at the end of the file; one elsewhere
    // cannot be dropped without moving the image (pecNotAnUninstaller).
    void CheckSignatureIsDroppable() const;
    // Zeroes the table's directory entry and cuts its bytes off the file.
    void DropSignature();
    // Writes the checksum of the file as it now is into its header; the
    // file must not be open.
    static void UpdateChecksum(const std::wstring& path);

private:
    bool ReadAt(LONGLONG offset, void* buffer, DWORD count) const;
    void WriteAt(LONGLONG offset, const void* buffer, DWORD count);

    std::wstring m_path;
    OstrelInstallEngine::UniqueFileHandle m_file;
    LONGLONG m_size = 0;
    LONGLONG m_checksumOffset = 0;
    // Zero, with an empty table, when the header has no entry for it.
    LONGLONG m_certificateEntryOffset = 0;
    IMAGE_DATA_DIRECTORY m_certificateTable = {};
};

}  // namespace OstrelPackagerTool
