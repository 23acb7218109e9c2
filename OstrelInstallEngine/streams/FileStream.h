// A file on disk, opened read-only. While it is open other processes may read
// the file but not write it.
#pragma once

#include <string>

#include "base/Stream.h"
#include "base/UniqueHandle.h"

namespace OstrelInstallEngine {

class FileStream : public Stream {
public:
    FileStream() = default;
    // Closes the file if it is still open; a failure to close is dropped.
    ~FileStream() override;

    // Opens once (10326). A failure (10008 for a missing file) leaves the
    // stream closed, ready to be opened again. Files of 4 GiB or more are
    // refused (10011).
    void Open(const std::wstring& path);

    void Close() override;
    // The file must not change size while it is read (10327).
    uint32_t Read(void* buffer, uint32_t size) override;
    bool AtEof() override;
    uint32_t GetSize() override;
    uint32_t GetPosition() override;
    void SetPosition(uint32_t pos) override;

private:
    void MeasureSize();

    std::wstring m_fileName;
    UniqueFileHandle m_fileHandle;
    uint32_t m_streamSize = 0;
    uint32_t m_position = 0;
};

}  // namespace OstrelInstallEngine
