// The packaging tool run as a process: every refused input with its message
// and exit code and its output left as it was; a built uninstaller that keeps
// all of the original's resources but the archive, which holds the package;
// the removal tables of a generated payload; and a second product of its own
// built with the tool, installed and quietly uninstalled without a trace.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <unzip.h>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "TestConfig.h"
#include "TestSupport.h"
#include "UninstallerProcess.h"
#include "base/RegistryKey.h"

namespace {

using namespace OstrelTest;

// Runs the tool; standard output and error together, CR LF as LF.
int RunPackager(const std::wstring& arguments, std::string* output)
{
    return RunProgram(Quoted(HostPath(OSTREL_TEST_PACKAGER_EXE)) + L" " + arguments, output);
}

// A string table's bytes (UTF-16LE with its mark) edited as text.
void EditTable(const std::wstring& path, const std::function<void(std::wstring&)>& edit)
{
    const std::string bytes = ReadFileBytes(path);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    edit(text);
    WriteFileBytes(path, "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()),
                                                  text.size() * 2));
}

void RemoveLineWith(std::wstring& text, const std::wstring& part)
{
    const size_t start = text.rfind(L'\n', text.find(part)) + 1;
    text.erase(start, text.find(L'\n', start) + 1 - start);
}

// The first bytes of the COFF symbol table that an unstripped program's
// header points at: binutils reads the built program only if they moved with
// the data behind the resources.
std::string CoffSymbols(const std::string& image)
{
    const uint32_t header = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C) + 4;
    const uint32_t symbols = *reinterpret_cast<const uint32_t*>(image.data() + header + 8);
    return symbols == 0 ? std::string() : image.substr(symbols, 64);
}

// A copy of a 64-bit program whose certificate table entry names the given
// bytes, as a signature elsewhere than at the end of the file would.
std::string WithCertificateTable(std::string image, uint32_t offset, uint32_t size)
{
    const uint32_t header = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C) + 4;
    const size_t entry = header + sizeof(IMAGE_FILE_HEADER) +
                         offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                         IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    image.replace(entry, 4, reinterpret_cast<const char*>(&offset), 4);
    image.replace(entry + 4, 4, reinterpret_cast<const char*>(&size), 4);
    return image;
}

class PackagerTest : public testing::Test {
public:
    // A package folder with the shipped files.
    void SetUp() override
    {
        CreateDirectoryW(Package().c_str(), nullptr);
        for (const std::string& name : SplitList(OSTREL_TEST_PACKAGE_FILES, '|')) {
            WriteFileBytes(PackageFile(name), ReadFileBytes(SourcePath("uninstall_package/" + name)));
        }
    }
    std::wstring Package() const { return m_folder.File(L"package"); }
    std::wstring PackageFile(const std::string& name) const
    {
        return Package() + L"\\" + std::wstring(name.begin(), name.end());
    }
    std::wstring Output() const { return m_folder.File(L"Product Uninstaller.exe"); }
    int Build(const std::wstring& uninstaller, const std::wstring& extra, std::string* output)
    {
        return RunPackager(L"build " + Quoted(uninstaller) + L" " + Quoted(Package()) + L" " +
                               Quoted(Output()) + extra, output);
    }
    // A folder of files with the content "x", folders first.
    void MakePayload(const std::wstring& root, const std::vector<const wchar_t*>& folders,
                     const std::vector<const wchar_t*>& files)
    {
        for (const wchar_t* folder : folders) {
            CreateDirectoryW((root + folder).c_str(), nullptr);
        }
        for (const wchar_t* file : files) {
            WriteFileBytes(root + file, "x");
        }
    }

    TempFolder m_folder;
};

// Each refused input names its file (and line) and leaves the output as it was.
TEST_F(PackagerTest, RefusedInputsWriteNothing)
{
    using Spoil = std::function<void(PackagerTest&)>;
    const auto script = [](const char* text) {
        return [text](PackagerTest& t) { WriteFileBytes(t.PackageFile("Uninstall.lua"), text); };
    };
    const auto table = [](const char* name, std::function<void(std::wstring&)> edit) {
        return [name, edit](PackagerTest& t) { EditTable(t.PackageFile(name), edit); };
    };
    const struct {
        Spoil spoil;
        std::function<std::wstring(PackagerTest&)> uninstaller;  // null: the released one
        const wchar_t* force;
        int exitCode;
        std::string message;
    } cases[] = {
        {[](PackagerTest& t) { DeleteFileW(t.PackageFile("Uninstall.lua").c_str()); }, nullptr,
         L" --force", 2, "Uninstall.lua: error: missing: every package needs this file"},
        {script("x = 1\r\n\r\nfunction (\r\n"), nullptr, L" --force", 2,
         "Uninstall.lua:3: error: '<name>' expected near '('"},
        {script("function Prepare() end\r\n"), nullptr, L" --force", 2,
         "Uninstall.lua: error: the script does not define the function Execute"},
        {[](PackagerTest& t) { WriteFileBytes(t.PackageFile("Uninstaller.ucs"), "1000001001\tx\r\n"); },
         nullptr, L" --force", 2,
         "Uninstaller.ucs:1: error: a string table must be UTF-16LE text with a byte-order mark"},
        {table("OstrelUninstaller.ucs", [](std::wstring& s) { s.replace(s.find(L"1000002001\t"), 11, L"1000002001 "); }),
         nullptr, L" --force", 2,
         "OstrelUninstaller.ucs:3: error: an entry must start with a decimal id followed by a tab"},
        {table("OstrelInstallEngine.ucs", [](std::wstring& s) { RemoveLineWith(s, L"1000010066\t"); }),
         nullptr, L" --force", 2,
         "OstrelInstallEngine.ucs: error: texts missing (the table needs 1000010001 to 1000010066): 1000010066"},
        {table("OstrelUninstaller.ucs", [](std::wstring& s) { RemoveLineWith(s, L"1000002013\t"); }),
         nullptr, L" --force", 2,
         "OstrelUninstaller.ucs: error: texts missing (the table needs 1000002000 to 1000002013): 1000002013"},
        {[](PackagerTest&) {}, [](PackagerTest&) { return HostPath(OSTREL_TEST_SCRIPT_HOST_EXE); },
         L" --force", 3, "error: not an Ostrel uninstaller: it has no UNINSTALL.ZIP resource"},
        {[](PackagerTest&) {}, [](PackagerTest& t) { return t.PackageFile("Uninstall.lua"); },
         L" --force", 3, "error: not a Windows program"},
        {[](PackagerTest& t) {
             WriteFileBytes(t.m_folder.File(L"Misplaced.exe"),
                            WithCertificateTable(ReadFileBytes(UninstallerExe()), 0x200, 8));
         },
         [](PackagerTest& t) { return t.m_folder.File(L"Misplaced.exe"); }, L" --force", 3,
         "error: its signature is not at the end of the file"},
        {[](PackagerTest& t) { CopyFileW(UninstallerExe().c_str(), t.Output().c_str(), FALSE); },
         [](PackagerTest& t) { return t.Output(); }, L" --force", 4, "error: is one of the inputs"},
        {[](PackagerTest& t) { WriteFileBytes(t.Output(), "older"); }, nullptr, L"", 4,
         "error: exists already; add --force to replace it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        DeleteFileW(Output().c_str());
        c.spoil(*this);
        const std::string before = PathExists(Output()) ? ReadFileBytes(Output()) : "<none>";
        std::string output;
        EXPECT_EQ(c.exitCode, Build(c.uninstaller ? c.uninstaller(*this) : UninstallerExe(), c.force, &output));
        EXPECT_NE(std::string::npos, output.find(c.message)) << output;
        EXPECT_EQ(before, PathExists(Output()) ? ReadFileBytes(Output()) : "<none>");
    }
    std::string output;
    EXPECT_EQ(1, RunPackager(L"build only-one-path", &output));
    EXPECT_NE(std::string::npos, output.find("usage: OstrelPackager build"));
    EXPECT_EQ(2, RunPackager(L"tables " + Quoted(m_folder.File(L"none")), &output));
    EXPECT_NE(std::string::npos, output.find("none: error: not a folder"));
}

// The built program (replacing an older one with --force) is the original
// with another archive: the package's files under the names the engine asks
// for, whatever their case on disk.
TEST_F(PackagerTest, BuiltUninstallerKeepsEverythingButTheArchive)
{
    const std::string script = "-- another product\r\nfunction Prepare() end\r\nfunction Execute() end\r\n";
    DeleteFileW(PackageFile("Uninstall.lua").c_str());
    WriteFileBytes(PackageFile("uninstall.lua"), script);
    CreateDirectoryW(PackageFile("extra").c_str(), nullptr);
    WriteFileBytes(PackageFile("extra\\notes.txt"), "notes");
    std::string noise(200000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 7919) >> 5);
    }
    WriteFileBytes(PackageFile("extra\\noise.bin"), noise);
    WriteFileBytes(Output(), "older");
    std::string output;
    ASSERT_EQ(0, Build(UninstallerExe(), L" --force", &output)) << output;

    std::map<std::wstring, std::string> original = ProgramResources(UninstallerExe());
    std::map<std::wstring, std::string> built = ProgramResources(Output());
    const std::wstring archiveKey = L"#10/UNINSTALL.ZIP/1033";
    ASSERT_EQ(1u, built.count(archiveKey));
    std::vector<int> methods;
    const std::map<std::string, std::string> entries = ZipEntries(built[archiveKey], &methods);
    EXPECT_EQ(std::vector<int>(entries.size(), Z_DEFLATED), methods) << "every entry deflated";
    original.erase(archiveKey);
    built.erase(archiveKey);
    EXPECT_EQ(original, built);
    for (const wchar_t* kept : {L"#14/#102/1033", L"#5/#101/1033", L"#10/#103/1033", L"#24/#1/1033"}) {
        EXPECT_EQ(1u, original.count(kept)) << "icon group, dialog, message table, manifest";
    }
    std::map<std::string, std::string> expected = {
        {"Uninstall.lua", script}, {"extra/notes.txt", "notes"}, {"extra/noise.bin", noise}};
    for (const std::string& name : SplitList(OSTREL_TEST_PACKAGE_FILES, '|')) {
        expected.emplace(name, ReadFileBytes(PackageFile(name)));
    }
    EXPECT_EQ(expected, entries);
    EXPECT_EQ(CoffSymbols(ReadFileBytes(UninstallerExe())), CoffSymbols(ReadFileBytes(Output())));
}

// The removal tables of a payload: files, then folders deepest first, in the
// form of the shipped script; other characters as UTF-8 escapes; the size
// of the files (2050 bytes) in kilobytes, rounded up.
TEST_F(PackagerTest, TablesOfAPayload)
{
    const std::wstring payload = m_folder.File(L"payload");
    MakePayload(payload, {L"", L"\\data", L"\\data\\maps", L"\\empty"},
                {L"\\Game.exe", L"\\data\\maps\\one.map", L"\\data\\r\u00e9sum\u00e9.txt"});
    WriteFileBytes(payload + L"\\Game.exe", std::string(2048, 'x'));
    std::string output;
    EXPECT_EQ(0, RunPackager(L"tables " + Quoted(payload), &output));
    EXPECT_EQ("-- Files and folders the installer wrote, relative to the installation folder.\n"
              "-- Each weighs one progress unit.\n"
              "RemovedFiles = {\n"
              "    { path = L\"\\\\data\\\\maps\\\\one.map\", weight = 1 },\n"
              "    { path = L\"\\\\data\\\\r\\195\\169sum\\195\\169.txt\", weight = 1 },\n"
              "    { path = L\"\\\\Game.exe\", weight = 1 },\n"
              "}\n"
              "\n"
              "RemovedDirectories = {\n"
              "    { path = L\"\\\\data\\\\maps\", weight = 1 },\n"
              "    { path = L\"\\\\data\", weight = 1 },\n"
              "    { path = L\"\\\\empty\", weight = 1 },\n"
              "}\n"
              "EstimatedSizeKB = 3 -- the files' total size, for the uninstall entry's EstimatedSize\n",
              output);
}

// The second product's data, its installer and its uninstall script.
const char kProductData[] = R"lua(
UninstallId = L"{7A2E5C90-4B1D-4E3F-8C6A-2D9F0B1E5A47}"
ProductKey = L"HKEY_CURRENT_USER\\Software\\OstrelTests\\Kestrel Works\\Lumen"
SupportFiles = { L"LumenUninstall.exe", L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll", L"DBGHELP.dll" }
)lua";

const char kInstallScript[] = R"lua(
function Prepare() end
function Execute()
    local dir = props.InstallDir
    install.CreateDirectoryTree(dir)
    for i = #RemovedDirectories, 1, -1 do install.CreateDirectory(dir .. RemovedDirectories[i].path) end
    for _, f in ipairs(RemovedFiles) do install.CreateFile("payload" .. wstring.toutf8(f.path), dir .. f.path) end
    for _, name in ipairs(SupportFiles) do install.CreateFile(wstring.toutf8(name), dir .. L"\\" .. name) end
    install.CreateRegKeyTree(ProductKey)
    install.SetRegValue(ProductKey, L"InstallState", L"1")
    install.AddUninstallInfo(UninstallId, L"Lumen", dir .. L"\\LumenUninstall.exe", dir, L"Kestrel Works", L"1.0")
end
)lua";

const char kUninstallScript[] = R"lua(
LocID = { UNINSTALL_INFO_NOT_FOUND = 1000001002, REMOVE_FILE_ID = 1000001501, REMOVE_DIR_ID = 1000001504 }

function Prepare()
    props.InstallDir = util.GetRegValue(
        L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" .. UninstallId,
        L"InstallLocation")
    if props.InstallDir == nil then
        local text = localizer.GetString(LocID.UNINSTALL_INFO_NOT_FOUND)
        util.FailWithError(text, text, L"Lumen is not installed", 10233)
    end
end

local function RemoveEach(list, textId, remove)
    for _, entry in ipairs(list) do
        progress.StartStep(0, 1, 1, localizer.GetFormattedString(textId, wstring.sub(entry.path, 2)))
        remove(props.InstallDir .. entry.path)
        progress.EndStep()
    end
end

function Execute()
    RemoveEach(RemovedFiles, LocID.REMOVE_FILE_ID, uninstall.RemoveFile)
    for _, name in ipairs(SupportFiles) do uninstall.RemoveFile(props.InstallDir .. L"\\" .. name) end
    RemoveEach(RemovedDirectories, LocID.REMOVE_DIR_ID, uninstall.RemoveDirectory)
    uninstall.RemoveDirectory(props.InstallDir)
    uninstall.RemoveDirectory(wstring.gsub(props.InstallDir, L"\\[^\\]*$", L""))
    uninstall.RemoveUninstallInfo(UninstallId)
    uninstall.RemoveRegKeyTree(ProductKey, L"HKEY_CURRENT_USER\\Software\\OstrelTests")
end
)lua";

// What the product touches, present or not: its publisher's and its own
// folder, its uninstall entry, its key and its publisher's key.
std::vector<bool> MachineState(const std::wstring& installDir)
{
    const auto keyExists = [](HKEY root, const wchar_t* subkey) {
        OstrelInstallEngine::RegistryKey key;
        return RegOpenKeyExW(root, subkey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
    };
    return {PathExists(installDir.substr(0, installDir.rfind(L'\\'))), PathExists(installDir),
            keyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                          L"{7A2E5C90-4B1D-4E3F-8C6A-2D9F0B1E5A47}"),
            keyExists(HKEY_CURRENT_USER, L"Software\\OstrelTests\\Kestrel Works\\Lumen"),
            keyExists(HKEY_CURRENT_USER, L"Software\\OstrelTests\\Kestrel Works")};
}

// A second product, start to end: its payload's tables come from the tool,
// its uninstaller is packaged from the released one, an engine script
// installs it, and the packaged uninstaller run quietly leaves the machine as
// it found it.
TEST_F(PackagerTest, SecondProductInstallsAndUninstallsQuietly)
{
    wchar_t commonAppData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, commonAppData, CSIDL_COMMON_APPDATA, FALSE);
    const std::wstring installDir = std::wstring(commonAppData) + L"\\Kestrel Works\\Lumen";
    const std::vector<bool> before = MachineState(installDir);
    ASSERT_FALSE(before[1]) << "Lumen is installed already";

    MakePayload(m_folder.File(L"payload"), {L"", L"\\data", L"\\data\\maps"},
                {L"\\Lumen.exe", L"\\Readme.txt", L"\\data\\maps\\one.map"});
    std::string tables;
    ASSERT_EQ(0, RunPackager(L"tables " + Quoted(m_folder.File(L"payload")), &tables)) << tables;
    WriteFileBytes(PackageFile("Uninstall.lua"), kProductData + tables + kUninstallScript);
    std::string output;
    ASSERT_EQ(0, Build(UninstallerExe(), L"", &output)) << output;
    MoveFileW(Output().c_str(), m_folder.File(L"LumenUninstall.exe").c_str());
    PlaceUninstaller(m_folder.Path(), UninstallerExe());  // for the crash reporter's files beside it
    WriteFileBytes(m_folder.File(L"install.lua"), kProductData + tables + kInstallScript);

    ASSERT_EQ(0, RunProgram(Quoted(ScriptHostPath()) + L" " + Quoted(m_folder.Path()) +
                                L" --script install.lua --prop \"InstallDir=" + installDir + L"\"",
                            &output))
        << output;
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true}), MachineState(installDir));
    EXPECT_EQ("x", ReadFileBytes(installDir + L"\\data\\maps\\one.map"));

    const ProcessRunResult run = RunProcessChain(Quoted(installDir + L"\\LumenUninstall.exe") + L" quiet", {});
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(before, MachineState(installDir));
}

}  // namespace
