// A file package over a zip archive. Lookups follow ZipFileStream::Open: ASCII
// only, backslash and forward slash equal, letter case ignored.
#pragma once

#include <memory>
#include <string>

#include "streams/FilePackage.h"
#include "streams/ZipFile.h"

namespace OstrelInstallEngine {

class ZipFilePackage final : public FilePackage {
public:
    ZipFilePackage() = default;
    ~ZipFilePackage() = default;

    // Takes the stream; zipName is for messages. A failure leaves the package
    // closed.
    void Open(std::wstring zipName, std::unique_ptr<Stream> stream);

    // Each byte of the name becomes one character (sign-extended above 127).
    std::unique_ptr<Stream> OpenFile(std::string name) override;
    void Close() override;

private:
    ZipFile m_zipFile;
};

}  // namespace OstrelInstallEngine
