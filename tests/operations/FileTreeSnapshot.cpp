#include "FileTreeSnapshot.h"

#include "TestSupport.h"

namespace OstrelTest {

FileTreeSnapshot FileTreeSnapshot::Take(const std::wstring& root)
{
    FileTreeSnapshot snapshot;
    snapshot.Add(root, L"");
    return snapshot;
}

void FileTreeSnapshot::Add(const std::wstring& root, const std::wstring& relative)
{
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        const DWORD attributes = GetFileAttributesW((root + L"\\" + path).c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            m_entries[path] = FileTreeEntry{attributes, std::string()};
            Add(root, path);
        } else {
            m_entries[path] = FileTreeEntry{attributes, ReadFileBytes(root + L"\\" + path)};
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

void FileTreeSnapshot::SetFile(const std::wstring& path, std::string content, DWORD attributes)
{
    m_entries[path] = FileTreeEntry{attributes, std::move(content)};
}

void FileTreeSnapshot::SetFolder(const std::wstring& path)
{
    m_entries[path] = FileTreeEntry{kNewFolderAttributes, std::string()};
}

void FileTreeSnapshot::Remove(const std::wstring& path)
{
    m_entries.erase(path);
}

void PrintTo(const FileTreeSnapshot& snapshot, std::ostream* out)
{
    for (const auto& entry : snapshot.Entries()) {
        *out << "\n  " << std::string(entry.first.begin(), entry.first.end()) << " attributes "
             << entry.second.attributes << ", " << entry.second.content.size() << " bytes";
    }
}

}  // namespace OstrelTest
