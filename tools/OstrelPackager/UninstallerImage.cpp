#include "UninstallerImage.h"

#include "PackagerError.h"
#include "PeImageFile.h"
#include "base/Platform.h"
#include "base/UniqueHandle.h"
#include "base/Util.h"

namespace OstrelPackagerTool {

using namespace OstrelInstallEngine;

namespace {

const wchar_t kArchiveName[] = L"UNINSTALL.ZIP";

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

[[noreturn]] void ThrowWriteFailure(const std::wstring& file, const wchar_t* what)
{
    throw PackagerError(pecWriteFailed, file,
                        std::wstring(what) + L": " + GetWin32ErrorTextEnglish(GetLastError()));
}

UniqueModule LoadAsData(const std::wstring& path)
{
    return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

std::string ArchiveOf(HMODULE module, WORD language)
{
    HRSRC info = FindResourceExW(module, RT_RCDATA, kArchiveName, language);
    HGLOBAL data = info != nullptr ? LoadResource(module, info) : nullptr;
    const char* bytes = data != nullptr ? static_cast<const char*>(LockResource(data)) : nullptr;
    return bytes != nullptr ? std::string(bytes, SizeofResource(module, info)) : std::string();
}

// A PE file's COFF header, where the symbol-table pointer of an unstripped
// image lives, and the first bytes of that table.
class CoffHeader {
public:
    CoffHeader(const std::wstring& path, DWORD access)
        : m_path(path),
          m_file(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr))
    {
        IMAGE_DOS_HEADER dos = {};
        if (!m_file.IsValid() || !ReadAt(0, &dos, sizeof(dos)) ||
            !ReadAt(dos.e_lfanew + sizeof(DWORD), &m_header, sizeof(m_header))) {
            ThrowWriteFailure(path, L"cannot read the program's header");
        }
        m_headerOffset = dos.e_lfanew + sizeof(DWORD);
        LARGE_INTEGER size = {};
        GetFileSizeEx(m_file.Get(), &size);
        m_size = size.QuadPart;
    }

    bool HasSymbols() const { return m_header.PointerToSymbolTable != 0; }
    DWORD SymbolTable() const { return m_header.PointerToSymbolTable; }
    DWORD SymbolCount() const { return m_header.NumberOfSymbols; }
    LONGLONG Size() const { return m_size; }
    std::string BytesAt(LONGLONG offset, DWORD count)
    {
        std::string bytes(count, '\0');
        return offset >= 0 && ReadAt(offset, &bytes[0], count) ? bytes : std::string();
    }
    void SetSymbolTable(DWORD offset, DWORD count)
    {
        m_header.PointerToSymbolTable = offset;
        m_header.NumberOfSymbols = count;
        DWORD written = 0;
        LARGE_INTEGER at = {};
        at.QuadPart = m_headerOffset;
        if (!SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) ||
            !WriteFile(m_file.Get(), &m_header, sizeof(m_header), &written, nullptr)) {
            ThrowWriteFailure(m_path, L"cannot write the program's header");
        }
    }

private:
    bool ReadAt(LONGLONG offset, void* buffer, DWORD count)
    {
        LARGE_INTEGER at = {};
        at.QuadPart = offset;
        DWORD read = 0;
        return SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) &&
               ReadFile(m_file.Get(), buffer, count, &read, nullptr) && read == count;
    }

    std::wstring m_path;
    UniqueFileHandle m_file;
    IMAGE_FILE_HEADER m_header = {};
    LONGLONG m_headerOffset = 0;
    LONGLONG m_size = 0;
};

// The rewrite of the resources moves the symbol table at the end of an
// unstripped image (when the resources grow or shrink) but not the header's
// pointer to it; binutils then refuses the file. Windows never reads it.
void RepointCoffSymbols(const std::wstring& original, const std::wstring& image)
{
    const DWORD kProbeSize = 64;
    CoffHeader before(original, GENERIC_READ);
    if (!before.HasSymbols()) {
        return;
    }
    CoffHeader after(image, GENERIC_READ | GENERIC_WRITE);
    const LONGLONG moved = before.SymbolTable() + (after.Size() - before.Size());
    const std::string probe = before.BytesAt(before.SymbolTable(), kProbeSize);
    if (!probe.empty() && after.BytesAt(moved, kProbeSize) == probe) {
        if (moved != after.SymbolTable()) {
            after.SetSymbolTable(static_cast<DWORD>(moved), before.SymbolCount());
        }
    } else {
        after.SetSymbolTable(0, 0);
    }
}

// Deletes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::wstring& nextTo)
    {
        std::wstring folder = nextTo.substr(0, nextTo.find_last_of(L'\\') + 1);
        wchar_t path[MAX_PATH] = {};
        if (GetTempFileNameW(folder.c_str(), L"opk", 0, path) == 0) {
            ThrowWriteFailure(nextTo, L"cannot create a file in its folder");
        }
        m_path = path;
    }
    ~TemporaryFile()
    {
        if (!m_path.empty()) {
            DeleteFileW(m_path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return m_path; }
    void MoveTo(const std::wstring& target, bool replace)
    {
        if (!MoveFileExW(m_path.c_str(), target.c_str(),
                         MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0))) {
            ThrowWriteFailure(target, L"cannot put the output in place");
        }
        m_path.clear();
    }

private:
    std::wstring m_path;
};

// An open resource update, discarded unless committed.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const std::wstring& image)
        : m_image(image), m_update(BeginUpdateResourceW(image.c_str(), FALSE))
    {
        if (m_update == nullptr) {
            ThrowWriteFailure(image, L"cannot update the program's resources");
        }
    }
    ~ResourceUpdate()
    {
        if (m_update != nullptr) {
            EndUpdateResourceW(m_update, TRUE);
        }
    }
    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;

    void Replace(const wchar_t* name, WORD language, const std::string& data)
    {
        if (!UpdateResourceW(m_update, RT_RCDATA, name, language, const_cast<char*>(data.data()),
                             static_cast<DWORD>(data.size()))) {
            ThrowWriteFailure(m_image, L"cannot replace the archive");
        }
    }
    void Commit()
    {
        HANDLE update = m_update;
        m_update = nullptr;
        if (!EndUpdateResourceW(update, FALSE)) {
            ThrowWriteFailure(m_image, L"cannot write the program's resources");
        }
    }

private:
    std::wstring m_image;
    HANDLE m_update;
};

}  // namespace

bool IsSameFile(const std::wstring& first, const std::wstring& second)
{
    if (_wcsicmp(CanonicalizePath(first).c_str(), CanonicalizePath(second).c_str()) == 0) {
        return true;
    }
    FileIdentity a = {};
    FileIdentity b = {};
    return GetFileIdentity(first, &a) && GetFileIdentity(second, &b) && a == b;
}

UninstallerImage::UninstallerImage(const std::wstring& path) : m_path(CanonicalizePath(path))
{
    UniqueModule module = LoadAsData(m_path);
    if (!module.IsValid()) {
        throw PackagerError(pecNotAnUninstaller, m_path,
                            L"not a Windows program: " + GetWin32ErrorTextEnglish(GetLastError()));
    }
    EnumResourceLanguagesW(module.Get(), RT_RCDATA, kArchiveName, &CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&m_archiveLanguages));
    if (m_archiveLanguages.empty()) {
        throw PackagerError(pecNotAnUninstaller, m_path,
                            L"not an Ostrel uninstaller: it has no UNINSTALL.ZIP resource");
    }
    const PeImageFile image(m_path, false);
    image.CheckSignatureIsDroppable();
    m_isSigned = image.IsSigned();
}

void UninstallerImage::WriteWithArchive(const std::string& archive, const std::wstring& output,
                                        bool replace) const
{
    TemporaryFile image(output);
    if (!CopyFileW(m_path.c_str(), image.Path().c_str(), FALSE)) {
        ThrowWriteFailure(image.Path(), L"cannot copy the uninstaller");
    }
    // A signature covers the bytes it was made for: after the new archive it
    // would only mark the program as tampered with. The product's
    // uninstaller is signed after packaging.
    PeImageFile(image.Path(), true).DropSignature();
    ReplaceArchive(image.Path(), archive);
    RepointCoffSymbols(m_path, image.Path());
    PeImageFile::UpdateChecksum(image.Path());
    image.MoveTo(output, replace);
}

void UninstallerImage::ReplaceArchive(const std::wstring& image, const std::string& archive) const
{
    {
        ResourceUpdate update(image);
        for (WORD language : m_archiveLanguages) {
            update.Replace(kArchiveName, language, archive);
        }
        update.Commit();
    }
    UniqueModule written = LoadAsData(image);
    for (WORD language : m_archiveLanguages) {
        if (!written.IsValid() || ArchiveOf(written.Get(), language) != archive) {
            throw PackagerError(pecWriteFailed, image,
                                L"the written program does not carry the new archive");
        }
    }
}

}  // namespace OstrelPackagerTool
