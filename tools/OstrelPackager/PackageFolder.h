// The folder a studio packages: its files as they go into the archive, and
// the checks that what the uninstaller will load from it does load.
#pragma once

#include <string>
#include <vector>

namespace OstrelPackagerTool {

struct PackageFile {
    std::wstring path;
    // The name inside the archive: the relative path with forward slashes;
    // the files the engine loads get exactly the letter case it asks for.
    std::string entryName;
};

class PackageFolder {
public:
    // Lists and checks the folder. Every problem found is reported at once,
    // as a PackagerError with pecBadPackage.
    explicit PackageFolder(const std::wstring& folder);

    const std::vector<PackageFile>& Files() const { return m_files; }

    // A string table of the package and the ids it must define.
    struct TextRange {
        const char* entryName;
        int firstId;
        int lastId;
    };

private:

    void ListFiles(const std::wstring& folder, const std::string& prefix);
    void AddFile(const std::wstring& path, const std::string& entryName);
    const PackageFile* FindRequired(const char* entryName);
    void CheckScript(const PackageFile& script);
    void CheckTable(const PackageFile& table, const TextRange& required);
    void Report(const std::wstring& file, int line, const std::wstring& text);

    std::wstring m_folder;
    std::vector<PackageFile> m_files;
    std::vector<std::wstring> m_problems;
};

// The whole file as bytes (engine exceptions on failure).
std::string ReadWholeFile(const std::wstring& path);

}  // namespace OstrelPackagerTool
