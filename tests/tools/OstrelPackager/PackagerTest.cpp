// The packaging tool run as a process: every refused input with its message
// and exit code and no output left behind; a built uninstaller that keeps all
// of the original's resources but the archive, which holds the package; and
// the removal tables of a generated payload.
#include <windows.h>

#include <gtest/gtest.h>

#include <unzip.h>

#include <functional>
#include <map>
#include <string>

#include "HostTestSupport.h"
#include "TestConfig.h"
#include "TestSupport.h"

namespace {

using OstrelTest::HostPath;
using OstrelTest::PathExists;
using OstrelTest::ReadFileBytes;
using OstrelTest::WriteFileBytes;

const char* const kPackageFiles[] = {"OstrelInstallEngine.ucs", "OstrelUninstaller.ucs",
                                     "Uninstall.lua", "Uninstaller.ucs"};

// Runs the tool; standard output and error together, CR LF as LF.
int RunPackager(const std::wstring& arguments, std::string* output)
{
    return OstrelTest::RunProgram(L"\"" + HostPath(OSTREL_TEST_PACKAGER_EXE) + L"\" " + arguments,
                                  output);
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
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
    const size_t at = text.find(part);
    text.erase(text.rfind(L'\n', at) + 1, text.find(L'\n', at) - text.rfind(L'\n', at));
}

// Every resource of a program by "type/name/language", with its bytes.
std::map<std::wstring, std::string> Resources(const std::wstring& path)
{
    struct Walk {
        HMODULE module;
        std::map<std::wstring, std::string> found;
        static std::wstring Id(LPCWSTR id)
        {
            return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id))
                                      : std::wstring(id);
        }
        static BOOL CALLBACK Language(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                      LONG_PTR walk)
        {
            HRSRC info = FindResourceExW(module, type, name, language);
            const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, info)));
            reinterpret_cast<Walk*>(walk)->found[Id(type) + L"/" + Id(name) + L"/" +
                                                 std::to_wstring(language)] =
                std::string(bytes, SizeofResource(module, info));
            return TRUE;
        }
        static BOOL CALLBACK Name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR walk)
        {
            return EnumResourceLanguagesW(module, type, name, &Language, walk) || TRUE;
        }
        static BOOL CALLBACK Type(HMODULE module, LPWSTR type, LONG_PTR walk)
        {
            return EnumResourceNamesW(module, type, &Name, walk) || TRUE;
        }
    };
    Walk walk{LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), {}};
    EnumResourceTypesW(walk.module, &Walk::Type, reinterpret_cast<LONG_PTR>(&walk));
    FreeLibrary(walk.module);
    return walk.found;
}

// The entries of a zip held in memory: name -> contents.
std::map<std::string, std::string> ZipEntries(const std::string& archive)
{
    OstrelTest::TempFolder folder;
    const std::wstring path = folder.File(L"a.zip");
    WriteFileBytes(path, archive);
    std::map<std::string, std::string> entries;
    unzFile zip = unzOpen(std::string(path.begin(), path.end()).c_str());
    for (int r = unzGoToFirstFile(zip); zip != nullptr && r == UNZ_OK; r = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info info;
        unzGetCurrentFileInfo(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
        std::string content(info.uncompressed_size, '\0');
        unzOpenCurrentFile(zip);
        unzReadCurrentFile(zip, &content[0], static_cast<unsigned>(content.size()));
        EXPECT_EQ(UNZ_OK, unzCloseCurrentFile(zip)) << name;
        EXPECT_EQ(Z_DEFLATED, static_cast<int>(info.compression_method)) << name;
        entries[name] = content;
    }
    unzClose(zip);
    return entries;
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

class PackagerTest : public testing::Test {
public:
    void SetUp() override
    {
        CreateDirectoryW(Package().c_str(), nullptr);
        for (const char* name : kPackageFiles) {
            WriteFileBytes(PackageFile(name),
                           ReadFileBytes(OstrelTest::SourcePath(std::string("uninstall_package/") + name)));
        }
    }

    std::wstring Package() const { return m_folder.File(L"package"); }
    std::wstring PackageFile(const std::string& name) const { return Package() + L"\\" + Wide(name); }
    std::wstring Output() const { return m_folder.File(L"Product Uninstaller.exe"); }
    std::wstring Uninstaller() const { return HostPath(OSTREL_TEST_UNINSTALLER_EXE); }

    int Build(const std::wstring& uninstaller, const std::wstring& extra, std::string* output)
    {
        return RunPackager(L"build " + Quoted(uninstaller) + L" " + Quoted(Package()) + L" " +
                               Quoted(Output()) + extra,
                           output);
    }

    OstrelTest::TempFolder m_folder;
};

std::wstring Released(PackagerTest& test)
{
    return test.Uninstaller();
}

struct RefusedCase {
    const char* what;
    std::function<void(PackagerTest&)> spoil;
    std::function<std::wstring(PackagerTest&)> uninstaller;
    int exitCode;
    std::string message;
};

// Each refused input names its file (and line) and leaves no output behind.
TEST_F(PackagerTest, RefusedInputsWriteNothing)
{
    const RefusedCase cases[] = {
        {"no script", [](PackagerTest& t) { DeleteFileW(t.PackageFile("Uninstall.lua").c_str()); },
         Released, 2, "Uninstall.lua: error: missing: every package needs this file"},
        {"syntax error", [](PackagerTest& t) { WriteFileBytes(t.PackageFile("Uninstall.lua"), "x = 1\r\n\r\nfunction (\r\n"); },
         Released, 2, "Uninstall.lua:3: error: '<name>' expected near '('"},
        {"no Execute", [](PackagerTest& t) { WriteFileBytes(t.PackageFile("Uninstall.lua"), "function Prepare() end\r\n"); },
         Released, 2, "Uninstall.lua: error: the script does not define the function Execute"},
        {"8-bit table", [](PackagerTest& t) { WriteFileBytes(t.PackageFile("Uninstaller.ucs"), "1000001001\tx\r\n"); },
         Released, 2, "Uninstaller.ucs:1: error: a string table must be UTF-16LE text with a byte-order mark"},
        {"line without tab", [](PackagerTest& t) { EditTable(t.PackageFile("OstrelUninstaller.ucs"), [](std::wstring& s) { s.replace(s.find(L"1000002001\t"), 11, L"1000002001 "); }); },
         Released, 2, "OstrelUninstaller.ucs:3: error: an entry must start with a decimal id followed by a tab"},
        {"engine text missing", [](PackagerTest& t) { EditTable(t.PackageFile("OstrelInstallEngine.ucs"), [](std::wstring& s) { RemoveLineWith(s, L"1000010066\t"); }); },
         Released, 2, "OstrelInstallEngine.ucs: error: texts missing (the table needs 1000010001 to 1000010066): 1000010066"},
        {"dialog text missing", [](PackagerTest& t) { EditTable(t.PackageFile("OstrelUninstaller.ucs"), [](std::wstring& s) { RemoveLineWith(s, L"1000002013\t"); }); },
         Released, 2, "OstrelUninstaller.ucs: error: texts missing (the table needs 1000002000 to 1000002013): 1000002013"},
        {"not ours", [](PackagerTest&) {}, [](PackagerTest&) { return HostPath(OSTREL_TEST_SCRIPT_HOST_EXE); }, 3,
         "error: not an Ostrel uninstaller: it has no UNINSTALL.ZIP resource"},
        {"not a program", [](PackagerTest&) {}, [](PackagerTest& t) { return t.PackageFile("Uninstall.lua"); }, 3, "error: not a Windows program"},
        {"output is the input", [](PackagerTest& t) { CopyFileW(t.Uninstaller().c_str(), t.Output().c_str(), FALSE); },
         [](PackagerTest& t) { return t.Output(); }, 4, "error: is one of the inputs"},
    };
    for (const RefusedCase& c : cases) {
        SetUp();
        DeleteFileW(Output().c_str());
        c.spoil(*this);
        const std::wstring uninstaller = c.uninstaller(*this);
        std::string output;
        EXPECT_EQ(c.exitCode, Build(uninstaller, L" --force", &output)) << c.what;
        EXPECT_NE(std::string::npos, output.find(c.message)) << c.what << ": " << output;
        EXPECT_EQ(uninstaller == Output(), PathExists(Output())) << c.what;
    }
    std::string output;
    EXPECT_EQ(1, RunPackager(L"build only-one-path", &output));
    EXPECT_NE(std::string::npos, output.find("usage: OstrelPackager build"));
}

// An existing output is replaced only with --force.
TEST_F(PackagerTest, ExistingOutputNeedsForce)
{
    WriteFileBytes(Output(), "older");
    std::string output;
    EXPECT_EQ(4, Build(Uninstaller(), L"", &output));
    EXPECT_NE(std::string::npos, output.find("error: exists already; add --force to replace it"));
    EXPECT_EQ("older", ReadFileBytes(Output()));
    EXPECT_EQ(0, Build(Uninstaller(), L" --force", &output)) << output;
    EXPECT_NE("older", ReadFileBytes(Output()));
}

// The built program is the original with another archive: the package's
// files under the names the engine asks for, whatever their case on disk.
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
    std::string output;
    ASSERT_EQ(0, Build(Uninstaller(), L"", &output)) << output;

    std::map<std::wstring, std::string> original = Resources(Uninstaller());
    std::map<std::wstring, std::string> built = Resources(Output());
    const std::wstring archiveKey = L"#10/UNINSTALL.ZIP/1033";
    ASSERT_EQ(1u, built.count(archiveKey));
    const std::map<std::string, std::string> entries = ZipEntries(built[archiveKey]);
    original.erase(archiveKey);
    built.erase(archiveKey);
    EXPECT_EQ(original, built);
    EXPECT_EQ(1u, original.count(L"#14/#102/1033")) << "icon group";
    EXPECT_EQ(1u, original.count(L"#5/#101/1033")) << "dialog";
    EXPECT_EQ(1u, original.count(L"#10/#103/1033")) << "message table";

    std::map<std::string, std::string> expected = {{"Uninstall.lua", script},
                                                   {"extra/notes.txt", "notes"},
                                                   {"extra/noise.bin", noise}};
    for (const char* name : kPackageFiles) {
        if (expected.count(name) == 0) {
            expected[name] = ReadFileBytes(PackageFile(name));
        }
    }
    EXPECT_EQ(expected, entries);
    EXPECT_EQ(CoffSymbols(ReadFileBytes(Uninstaller())), CoffSymbols(ReadFileBytes(Output())));
}

// The removal tables of a payload: files, then folders deepest first, in the
// form of the shipped script; other characters as UTF-8 escapes.
TEST_F(PackagerTest, TablesOfAPayload)
{
    const std::wstring payload = m_folder.File(L"payload");
    for (const wchar_t* folder : {L"", L"\\data", L"\\data\\maps", L"\\empty"}) {
        CreateDirectoryW((payload + folder).c_str(), nullptr);
    }
    for (const wchar_t* file : {L"\\Game.exe", L"\\data\\maps\\one.map", L"\\data\\r\u00e9sum\u00e9.txt"}) {
        WriteFileBytes(payload + file, "x");
    }
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
              "}\n",
              output);
    EXPECT_EQ(2, RunPackager(L"tables " + Quoted(m_folder.File(L"none")), &output));
    EXPECT_NE(std::string::npos, output.find("none: error: not a folder"));
}

}  // namespace
