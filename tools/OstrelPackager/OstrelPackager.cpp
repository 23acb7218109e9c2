// OstrelPackager: makes the uninstaller of a product from the released
// uninstaller and a package folder (script and string tables), and prints the
// removal tables of an installed payload for the script.
//
//   OstrelPackager build <uninstaller.exe> <package folder> <output.exe> [--force]
//   OstrelPackager tables <installed folder>
//
// Every check runs before anything is written; problems go to the standard
// error as "file:line: error: text". Exit codes: PackagerError.h.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PackageFolder.h"
#include "PackagerError.h"
#include "RemovalTables.h"
#include "UninstallerImage.h"
#include "ZipWriter.h"
#include "base/Exception.h"
#include "base/Util.h"
#include "common/CommandLine.h"

namespace {

using namespace OstrelPackagerTool;
using OstrelInstallEngine::PrintFormatted;

const wchar_t kUsage[] =
    L"usage: OstrelPackager build <uninstaller.exe> <package folder> <output.exe> [--force]\n"
    L"       OstrelPackager tables <installed folder>\n";

// The arguments after the program's name.
std::vector<std::wstring> Arguments()
{
    std::vector<std::wstring> arguments = CommandLineArguments();
    if (!arguments.empty()) {
        arguments.erase(arguments.begin());
    }
    return arguments;
}

FILETIME LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

std::string ZipPackage(const PackageFolder& package)
{
    ZipWriter zip;
    for (const PackageFile& file : package.Files()) {
        zip.AddFile(file.entryName, ReadWholeFile(file.path), LastWriteTime(file.path));
    }
    return zip.Finish();
}

// The output must be none of the files the build reads.
void CheckOutput(const std::wstring& output, const UninstallerImage& uninstaller,
                 const PackageFolder& package, bool force)
{
    bool isInput = IsSameFile(output, uninstaller.Path());
    for (const PackageFile& file : package.Files()) {
        isInput = isInput || IsSameFile(output, file.path);
    }
    if (isInput) {
        throw PackagerError(pecOutputRefused, output, L"is one of the inputs; choose another output");
    }
    const DWORD attributes = GetFileAttributesW(output.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw PackagerError(pecOutputRefused, output, L"is a folder");
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && !force) {
        throw PackagerError(pecOutputRefused, output, L"exists already; add --force to replace it");
    }
}

int Build(const std::vector<std::wstring>& arguments)
{
    std::vector<std::wstring> paths;
    bool force = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == L"--force") {
            force = true;
        } else {
            paths.push_back(arguments[i]);
        }
    }
    if (paths.size() != 3) {
        throw PackagerError(pecBadCommandLine, {kUsage});
    }
    const std::wstring output = OstrelInstallEngine::CanonicalizePath(paths[2]);
    const PackageFolder package(paths[1]);
    const UninstallerImage uninstaller(paths[0]);
    CheckOutput(output, uninstaller, package, force);
    const std::string archive = ZipPackage(package);
    uninstaller.WriteWithArchive(archive, output, force);
    PrintFormatted(stdout, L"%s: %u files, archive of %u bytes\n", output.c_str(),
                   static_cast<unsigned>(package.Files().size()),
                   static_cast<unsigned>(archive.size()));
    if (uninstaller.IsSigned()) {
        PrintFormatted(stdout, L"%s: the uninstaller's signature is left out; sign this output\n",
                       output.c_str());
    }
    return pecSuccess;
}

int Tables(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 2) {
        throw PackagerError(pecBadCommandLine, {kUsage});
    }
    const std::string text = RemovalTablesText(arguments[1]);
    fwrite(text.data(), 1, text.size(), stdout);
    return pecSuccess;
}

int Run(const std::vector<std::wstring>& arguments)
{
    if (!arguments.empty() && arguments[0] == L"build") {
        return Build(arguments);
    }
    if (!arguments.empty() && arguments[0] == L"tables") {
        return Tables(arguments);
    }
    throw PackagerError(pecBadCommandLine, {kUsage});
}

}  // namespace

int main()
{
    try {
        return Run(Arguments());
    } catch (const PackagerError& error) {
        for (const std::wstring& line : error.lines) {
            PrintFormatted(stderr, L"%s%s", line.c_str(), line.back() == L'\n' ? L"" : L"\n");
        }
        return error.exitCode;
    } catch (const OstrelInstallEngine::Exception& error) {
        PrintFormatted(stderr, L"error: %s\n", error.GetEnglishDescription().c_str());
        return pecWriteFailed;
    } catch (const std::exception& error) {
        PrintFormatted(stderr, L"error: %hs\n", error.what());
        return pecWriteFailed;
    }
}
