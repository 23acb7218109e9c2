// What a folder tree holds, file by file: relative path, attributes and
// content. Two snapshots compare equal only if every entry does; the
// difference is printed by name.
#pragma once

#include <windows.h>

#include <map>
#include <ostream>
#include <string>

namespace OstrelTest {

struct FileTreeEntry {
    DWORD attributes;
    std::string content;  // empty for folders

    bool operator==(const FileTreeEntry& other) const
    {
        return attributes == other.attributes && content == other.content;
    }
};

class FileTreeSnapshot {
public:
    // Attributes of a file and a folder created without any given.
    static const DWORD kNewFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    static const DWORD kNewFolderAttributes = FILE_ATTRIBUTE_DIRECTORY;

    // Everything below root (root itself not included).
    static FileTreeSnapshot Take(const std::wstring& root);

    // Changes to an expected state, by relative path.
    void SetFile(const std::wstring& path, std::string content,
                 DWORD attributes = kNewFileAttributes);
    void SetFolder(const std::wstring& path);
    void Remove(const std::wstring& path);

    bool operator==(const FileTreeSnapshot& other) const { return m_entries == other.m_entries; }
    const std::map<std::wstring, FileTreeEntry>& Entries() const { return m_entries; }

private:
    void Add(const std::wstring& root, const std::wstring& relative);

    std::map<std::wstring, FileTreeEntry> m_entries;
};

// For gtest's messages: one line per entry.
void PrintTo(const FileTreeSnapshot& snapshot, std::ostream* out);

}  // namespace OstrelTest
