// A released uninstaller executable, the template of a product's uninstaller.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace OstrelPackagerTool {

class UninstallerImage {
public:
    // Checks that the file is one of our uninstallers: a Windows program
    // that carries the "UNINSTALL.ZIP" archive, and whose signature, if it
    // has one, lies at the end of the file (pecNotAnUninstaller).
    explicit UninstallerImage(const std::wstring& path);

    const std::wstring& Path() const { return m_path; }
    // It carries an Authenticode signature, which the copies leave out.
    bool IsSigned() const { return m_isSigned; }

    // Writes a copy whose archive is the given one, every other resource
    // kept, without the signature and with the checksum of the new bytes.
    // It goes through a temporary file beside the output, renamed at the
    // end, so a failure leaves no output (pecWriteFailed). An existing
    // output is replaced only when replace is set (pecOutputRefused).
    void WriteWithArchive(const std::string& archive, const std::wstring& output,
                          bool replace) const;

private:
    void ReplaceArchive(const std::wstring& image, const std::string& archive) const;

    std::wstring m_path;
    // Every language under which the archive is stored: each gets the new
    // one, so no old archive is left for FindResourceW to choose.
    std::vector<WORD> m_archiveLanguages;
    bool m_isSigned = false;
};

// The same file, by path or by identity (hard links, other spellings).
bool IsSameFile(const std::wstring& first, const std::wstring& second);

}  // namespace OstrelPackagerTool
