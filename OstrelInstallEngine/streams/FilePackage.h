// Named files that the script host opens its script and string tables from.
#pragma once

#include <memory>
#include <string>

#include "base/Stream.h"

namespace OstrelInstallEngine {

class FilePackage {
public:
    // The caller owns the stream; a missing file throws.
    virtual std::unique_ptr<Stream> OpenFile(std::string name) = 0;
    virtual void Close() = 0;

protected:
    // Packages are owned as their concrete type; deleting one through this
    // interface is not supported, hence no virtual destructor.
    ~FilePackage() = default;
};

}  // namespace OstrelInstallEngine
