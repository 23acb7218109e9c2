// A file package over a folder on disk: a script and its files under
// development, before they are zipped.
#pragma once

#include <memory>
#include <string>

#include "streams/FilePackage.h"

class DirectoryFilePackage final : public OstrelInstallEngine::FilePackage {
public:
    explicit DirectoryFilePackage(std::wstring folder) : m_folder(std::move(folder)) {}

    // name is relative to the folder, with "/" or "\" between components.
    std::unique_ptr<OstrelInstallEngine::Stream> OpenFile(std::string name) override;
    void Close() override {}

private:
    std::wstring m_folder;
};
