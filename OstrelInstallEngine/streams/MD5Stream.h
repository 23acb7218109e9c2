// A stream that passes reads through to its parent and hashes the parent's
// bytes as they go by. The digest always covers the parent from offset 0 up to
// the furthest point reached; whatever the reader skips or re-reads, every
// byte enters it exactly once and in order.
#pragma once

#include <memory>

#include "streams/Md5.h"
#include "base/Stream.h"

namespace OstrelInstallEngine {

class MD5Stream : public Stream {
public:
    MD5Stream() = default;
    // Deletes the parent.
    ~MD5Stream() override = default;

    // Takes the parent, expected at offset 0, once (10342); the digest starts
    // over.
    void Open(std::unique_ptr<Stream> parentStream);

    // Leaves the parent open and owned; the digest is kept.
    void Close() override;
    // A read may overlap the hashed part but not start beyond it (10348).
    uint32_t Read(void* buffer, uint32_t size) override;
    bool AtEof() override;
    uint32_t GetSize() override;
    uint32_t GetPosition() override;
    // Moving beyond the hashed part reads and hashes the gap first.
    void SetPosition(uint32_t pos) override;

    // Hashes what was not read yet (the reader's position is kept) and returns
    // the 16 digest bytes, which live inside this stream.
    const unsigned char* GetMD5();

private:
    Md5 m_md5;
    Md5Digest m_digest = {};
    std::unique_ptr<Stream> m_parentStream;
    uint32_t m_lastMD5Pos = 0;
};

}  // namespace OstrelInstallEngine
