// Shortcuts written by the engine, read back by independent parsers: liblnk's
// lnkinfo (a Linux program) for shell links, the file's own text for
// Internet shortcuts; and the failures a script sees when a link cannot be
// saved.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "ScriptRun.h"

namespace {

using namespace OstrelTest;

// Wine's own export that gives the Linux path of a Windows path.
std::string UnixPath(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix != nullptr ? toUnix(path.c_str()) : nullptr;
    if (unixPath == nullptr) {
        throw std::runtime_error("no Linux path for a test file");
    }
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Wine starts a Linux program without a process handle to wait on, so the
// program's output appears under its final name only once it is complete.
std::string RunLnkinfo(const std::wstring& link, const std::wstring& outputPath)
{
    const std::string output = UnixPath(outputPath);
    const std::string shellLine = "/usr/bin/lnkinfo '" + UnixPath(link) + "' > '" + output +
                                  ".part' 2>&1; mv '" + output + ".part' '" + output + "'";
    std::wstring commandLine = L"sh -c \"" + std::wstring(shellLine.begin(), shellLine.end()) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        throw std::runtime_error("cannot start lnkinfo");
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int attempt = 0; attempt < 1200 && !PathExists(outputPath); ++attempt) {
        Sleep(50);
    }
    return ReadFileBytes(outputPath);
}

class ShortcutTest : public testing::Test {
protected:
    ShortcutTest() { WriteFileBytes(m_folder.File(L"Game.exe"), "MZ"); }
    std::unique_ptr<OstrelInstallEngine::Exception> Run(const std::string& body)
    {
        return ScriptRun("local f = props.Folder\n" + body, {{"Folder", m_folder.Path()}}).Failure();
    }
    TempFolder m_folder;
};

// Every field of a shell link, and the URL of an Internet shortcut.
TEST_F(ShortcutTest, ReadersFindEveryField)
{
    ASSERT_EQ(nullptr,
              Run("install.CreateShortcut(f .. L'\\\\Game.lnk', f .. L'\\\\Game.exe', f,\n"
                  "    L'-windowed -level 3', L'Play the game', f .. L'\\\\Game.ico', 7)\n"
                  "install.CreateUrlShortcut(f .. L'\\\\Site.url', L'http://example.com/news?id=1')"));
    const std::string info = RunLnkinfo(m_folder.File(L"Game.lnk"), m_folder.File(L"info.txt"));
    const std::string folder(m_folder.Path().begin(), m_folder.Path().end());
    for (const std::string& field :
         {"Local path\t\t\t: " + folder + "\\Game.exe", "Working directory\t\t: " + folder,
          std::string("Command line arguments\t\t: -windowed -level 3"),
          std::string("Description\t\t\t: Play the game"),
          "Icon location\t\t\t: " + folder + "\\Game.ico"}) {
        EXPECT_NE(std::string::npos, info.find(field)) << field << "\nin:\n" << info;
    }
    // lnkinfo does not show the icon index; the link header keeps it at byte 56.
    const std::string link = ReadFileBytes(m_folder.File(L"Game.lnk"));
    int32_t iconIndex = 0;
    std::memcpy(&iconIndex, link.data() + 56, sizeof(iconIndex));
    EXPECT_EQ(7, iconIndex);

    const std::string text = ReadFileBytes(m_folder.File(L"Site.url"));
    EXPECT_NE(std::string::npos, text.find("[InternetShortcut]")) << text;
    EXPECT_NE(std::string::npos, text.find("URL=http://example.com/news?id=1\r\n")) << text;
}

// A link that cannot be saved stops the script with the file-creation
// summary; an icon index that is no number is a bad argument; nothing is left.
TEST_F(ShortcutTest, UnsavableLinksFail)
{
    const struct {
        const char* lua;
        std::wstring code, summary, english;
    } cases[] = {
        {"install.CreateShortcut(f .. L'\\\\No\\\\Game.lnk', f .. L'\\\\Game.exe', f, L'', L'', L'', 0)",
         L"10199:", L"Unable to create file \"" + m_folder.File(L"No\\"), L""},
        {"install.CreateUrlShortcut(f .. L'\\\\No\\\\Site.url', L'http://x/')", L"10207:",
         L"Unable to create file \"" + m_folder.File(L"No\\"), L""},
        {"install.CreateShortcut(f .. L'\\\\Game.lnk', f, f, f, f, f, L'0')", L"10003",
         L"Internal check failed", L"bad argument #7 to 'CreateShortcut' (bad argument)"},
    };
    for (const auto& c : cases) {
        const auto failure = Run(c.lua);
        ASSERT_NE(nullptr, failure) << c.lua;
        EXPECT_EQ(0u, failure->GetErrorCode().rfind(c.code, 0)) << failure->what();
        EXPECT_EQ(0u, failure->GetLocalizedSummary().rfind(c.summary, 0)) << failure->what();
        EXPECT_NE(std::wstring::npos, failure->GetEnglishMessage().find(c.english)) << failure->what();
    }
    EXPECT_FALSE(PathExists(m_folder.File(L"No")) || PathExists(m_folder.File(L"Game.lnk")));
}

}  // namespace
