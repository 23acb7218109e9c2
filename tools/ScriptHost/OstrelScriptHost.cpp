// OstrelScriptHost: runs an install or uninstall script through the engine,
// the way the uninstaller does (Prepare on this thread, Execute on the
// installer's worker), and prints the outcome as UTF-8 lines (CR LF):
//   OPENED, PROGRESS<TAB>0.5000<TAB>text, PROBLEM<TAB>summary, SUCCESS,
//   CANCELLED, ERROR<TAB>Open|Prepare|Execute<TAB>English description.
// Exit code: 0 success, 1 open failed, 2 prepare failed, 3 execute failed,
// 4 bad command line, 5 cancelled.
//
//   OstrelScriptHost <folder | archive.zip> [--script name] [--table name]...
//                    [--prop name=text]... [--flag name=true|false]...
//                    [--signal-event name] [--progress]
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "script/AsyncInstaller.h"
#include "DirectoryFilePackage.h"
#include "base/Exception.h"
#include "streams/FileStream.h"
#include "operations/ScriptApi.h"
#include "script/InstallerPackage.h"
#include "base/Localizer.h"
#include "base/Platform.h"
#include "base/Util.h"
#include "base/ResourceExtractor.h"
#include "base/UniqueHandle.h"
#include "common/CommandLine.h"
#include "streams/ZipFilePackage.h"

namespace {

using namespace OstrelInstallEngine;

enum ExitCode {
    kSuccess = 0,
    kOpenFailed = 1,
    kPrepareFailed = 2,
    kExecuteFailed = 3,
    kBadCommandLine = 4,
    kCancelled = 5,
};

struct Options {
    std::wstring source;
    std::string script = "uninstall.lua";
    std::vector<std::string> tables;
    std::vector<std::pair<std::string, std::wstring>> textProps;
    std::vector<std::pair<std::string, bool>> flagProps;
    std::wstring signalEvent;
    bool progress = false;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

void PrintLine(const std::wstring& line)
{
    const std::string utf8 = ToUtf8(line) + "\n";
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

// Line breaks inside a text would split a line of the report.
std::wstring OneLine(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\n' || c == L'\r') {
            c = L' ';
        }
    }
    return text;
}

bool SplitAssignment(const std::wstring& text, std::string* name, std::wstring* value)
{
    const size_t equals = text.find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
        return false;
    }
    *name = Narrow(text.substr(0, equals));
    *value = text.substr(equals + 1);
    return true;
}

bool ParseOption(const std::vector<std::wstring>& args, size_t* i, Options* options)
{
    const std::wstring& option = args[*i];
    if (option == L"--progress") {
        options->progress = true;
        return true;
    }
    if (*i + 1 >= args.size()) {
        return false;
    }
    const std::wstring& value = args[++*i];
    std::string name;
    std::wstring text;
    if (option == L"--script") {
        options->script = Narrow(value);
    } else if (option == L"--table") {
        options->tables.push_back(Narrow(value));
    } else if (option == L"--signal-event") {
        options->signalEvent = value;
    } else if (option == L"--prop" && SplitAssignment(value, &name, &text)) {
        options->textProps.emplace_back(name, text);
    } else if (option == L"--flag" && SplitAssignment(value, &name, &text)) {
        options->flagProps.emplace_back(name, text == L"true");
    } else {
        return false;
    }
    return true;
}

bool ParseCommandLine(Options* options)
{
    const std::vector<std::wstring> args = CommandLineArguments();
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].compare(0, 2, L"--") == 0) {
            if (!ParseOption(args, &i, options)) {
                return false;
            }
        } else if (options->source.empty()) {
            options->source = args[i];
        } else {
            return false;
        }
    }
    return !options->source.empty();
}

bool IsZipPath(const std::wstring& path)
{
    return path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".zip") == 0;
}

std::unique_ptr<FilePackage, void (*)(FilePackage*)> OpenSourcePackage(const std::wstring& source)
{
    if (IsZipPath(source)) {
        auto stream = std::make_unique<FileStream>();
        stream->Open(source);
        auto* zip = new ZipFilePackage();
        std::unique_ptr<FilePackage, void (*)(FilePackage*)> owner(
            zip, [](FilePackage* p) { delete static_cast<ZipFilePackage*>(p); });
        zip->Open(source, std::move(stream));
        return owner;
    }
    return std::unique_ptr<FilePackage, void (*)(FilePackage*)>(
        new DirectoryFilePackage(source),
        [](FilePackage* p) { delete static_cast<DirectoryFilePackage*>(p); });
}

void SignalEvent(const std::wstring& name)
{
    const UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (event.IsValid()) {
        SetEvent(event.Get());
    }
}

void PrintProblems(InstallerPackage& package)
{
    for (const Exception* problem : package.GetErrors()) {
        PrintLine(L"PROBLEM\t" + OneLine(problem->GetDisplaySummary()));
    }
}

int RunPhases(InstallerPackage& package, const Options& options)
{
    AsyncInstaller installer(&package);
    installer.Prepare();
    if (installer.GetState() != AIS_READY_TO_INSTALL) {
        const Exception* error = installer.GetError();
        PrintLine(L"ERROR\tPrepare\t" + (error ? OneLine(error->GetEnglishDescription()) : L""));
        return error ? kPrepareFailed : kCancelled;
    }
    installer.Start();
    double lastProgress = -1.0;
    std::wstring lastText;
    for (;;) {
        double progress = 0.0;
        std::wstring text;
        const AsyncInstallerState state = installer.GetStatus(&progress, &text);
        if (options.progress && (progress != lastProgress || text != lastText)) {
            PrintLine(FormatWide(L"PROGRESS\t%1.4f\t%s", progress, OneLine(text).c_str()));
            lastProgress = progress;
            lastText = text;
        }
        if (state == AIS_FINISHED || state == AIS_CANCELLED || state == AIS_ERROR) {
            break;
        }
        Sleep(10);
    }
    PrintProblems(package);
    switch (installer.GetState()) {
    case AIS_FINISHED:
        PrintLine(L"SUCCESS");
        return kSuccess;
    case AIS_CANCELLED:
        PrintLine(L"CANCELLED");
        return kCancelled;
    default:
        PrintLine(L"ERROR\tExecute\t" + OneLine(installer.GetError()->GetEnglishDescription()));
        return kExecuteFailed;
    }
}

int Run(const Options& options)
{
    auto source = OpenSourcePackage(options.source);
    for (const std::string& table : options.tables) {
        Localizer::GetInstance()->Load(source->OpenFile(table));
    }
    InstallerPackage package(&ScriptApi::Register);
    try {
        package.Open(source.get(), options.script);
    } catch (const Exception& error) {
        PrintLine(L"ERROR\tOpen\t" + OneLine(error.GetEnglishDescription()));
        return kOpenFailed;
    }
    PrintLine(L"OPENED");
    for (const auto& prop : options.textProps) {
        package.SetStringProp(prop.first, prop.second);
    }
    for (const auto& prop : options.flagProps) {
        package.SetBoolProp(prop.first, prop.second);
    }
    if (!options.signalEvent.empty()) {
        SignalEvent(options.signalEvent);
    }
    const int result = RunPhases(package, options);
    package.Close();
    return result;
}

}  // namespace

int main()
{
    // Standard output stays in text mode, as in the uninstaller: the script's
    // debug.Print writes wide text through it, converted to 8-bit characters,
    // and every line feed leaves as CR LF.
    Options options;
    if (!ParseCommandLine(&options)) {
        PrintLine(L"usage: OstrelScriptHost <folder | archive.zip> [--script name] [--table name]... "
                  L"[--prop name=text]... [--flag name=true|false]... [--signal-event name] "
                  L"[--progress]");
        return kBadCommandLine;
    }
    try {
        ResourceExtractor::Init();
        Localizer::Init();
        return Run(options);
    } catch (const Exception& error) {
        PrintLine(L"ERROR\tOpen\t" + OneLine(error.GetEnglishDescription()));
        return kOpenFailed;
    } catch (const std::exception& error) {
        PrintLine(L"ERROR\tOpen\t" + std::wstring(error.what(), error.what() + strlen(error.what())));
        return kOpenFailed;
    }
}
