#include "base/Util.h"

#include <windows.h>
#include <ntsecapi.h>
#include <shlwapi.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <memory>
#include <vector>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/LocalMemory.h"
#include "base/Stream.h"
#include "base/Win32Exception.h"

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace OstrelInstallEngine {

namespace {

const size_t kInitialFormatCapacity = 1000;
const DWORD kCopyBlockSize = 0xA000;

std::wstring Win32ErrorText(DWORD error, DWORD language, const wchar_t* fallback)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, error, language, reinterpret_cast<wchar_t*>(&text), 1,
                                  nullptr);
    if (length == 0) {
        return fallback;
    }
    LocalMemory owner(text);
    return Trim(std::wstring(text, length));
}

}  // namespace

std::wstring FormatWideV(const wchar_t* format, va_list arguments)
{
    size_t capacity = kInitialFormatCapacity;
    for (;;) {
        std::vector<wchar_t> buffer(capacity);
        va_list copy;
        va_copy(copy, arguments);
        HRESULT result = StringCchVPrintfW(buffer.data(), capacity, format, copy);
        va_end(copy);
        if (result != STRSAFE_E_INSUFFICIENT_BUFFER) {
            if (FAILED(result)) {
                OSTREL_FAIL_ERROR(10081, result);
            }
            return std::wstring(buffer.data());
        }
        capacity = capacity + (capacity + 1) / 2;
    }
}

// Ends a va_list on every path out of a variadic function.
struct ArgumentsEnd {
    va_list& arguments;
    ~ArgumentsEnd() { va_end(arguments); }
};

std::wstring FormatWide(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    ArgumentsEnd end{arguments};
    return FormatWideV(format, arguments);
}

namespace {

// Each character as the runtime's text streams convert it (its current
// locale); one that the encoding cannot hold becomes '?', where fputws would
// stop and lose the rest of the text.
std::string NarrowAsTheRuntimeWould(const std::wstring& text)
{
    std::string bytes;
    char converted[MB_LEN_MAX];
    for (wchar_t character : text) {
        const int length = wctomb(converted, character);
        if (length < 0) {
            bytes += '?';
        } else {
            bytes.append(converted, length);
        }
    }
    return bytes;
}

}  // namespace

void PrintFormatted(FILE* stream, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    ArgumentsEnd end{arguments};
    // One write: the runtime writes an unbuffered stream one character at a
    // time, so a reader of a pipe would get the text in pieces.
    const std::string bytes = NarrowAsTheRuntimeWould(FormatWideV(format, arguments));
    fwrite(bytes.data(), 1, bytes.size(), stream);
    fflush(stream);
}

std::wstring GetWin32ErrorTextEnglish(DWORD error)
{
    return Win32ErrorText(error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                          L"?Error getting error message (english)?");
}

std::wstring GetWin32ErrorTextLocalized(DWORD error)
{
    return Win32ErrorText(error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                          L"?Error getting error message (localized)?");
}

std::wstring Trim(const std::wstring& text)
{
    size_t first = 0;
    while (first < text.size() && std::iswspace(text[first])) {
        ++first;
    }
    size_t last = text.size();
    while (last > first && std::iswspace(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::wstring CanonicalizePath(const std::wstring& path)
{
    std::wstring absolute = path;
    if (PathIsRelativeW(path.c_str())) {
        wchar_t currentDirectory[MAX_PATH + 1];
        DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, currentDirectory);
        if (length == 0) {
            OSTREL_FAIL_LAST_ERROR(10319);
        }
        // A larger result is the size the folder needs; the buffer is then
        // left unfilled and must not be read.
        if (length > MAX_PATH + 1) {
            OSTREL_FAIL_ERROR(10015, ERROR_FILENAME_EXCED_RANGE);
        }
        wchar_t combined[MAX_PATH];
        if (PathCombineW(combined, currentDirectory, path.c_str()) == nullptr) {
            OSTREL_FAIL(10318);
        }
        absolute = combined;
    }
    // Wine's PathCanonicalizeW writes past a MAX_PATH buffer instead of
    // failing, so a path that cannot fit is refused before the call.
    if (absolute.size() >= MAX_PATH) {
        OSTREL_FAIL_ERROR(10080, ERROR_FILENAME_EXCED_RANGE);
    }
    wchar_t canonical[MAX_PATH];
    if (!PathCanonicalizeW(canonical, absolute.c_str())) {
        OSTREL_FAIL_LAST_ERROR(10080);
    }
    return canonical;
}

// A version 4 GUID made here from the system's random source, as CoCreateGuid
// makes it: its COM library would bring in the window system, which costs
// every process that starts the uninstall 20 to 30 ms under Wine.
std::wstring MakeGuidString()
{
    unsigned char bytes[16];
    OSTREL_CHECK(RtlGenRandom(bytes, sizeof(bytes)), 10010);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    std::wstring digits;
    for (unsigned char byte : bytes) {
        digits += L"0123456789abcdef"[byte >> 4];
        digits += L"0123456789abcdef"[byte & 0xF];
    }
    return digits;
}

namespace {

// Exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the text also goes into
// paths and key names, where anything after the braces would lead elsewhere.
bool IsBracedGuid(const std::string& text)
{
    const std::string shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool fits = shape[i] == 'x' ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0
                                          : text[i] == shape[i];
        if (!fits) {
            return false;
        }
    }
    return true;
}

}  // namespace

GUID GuidFromString(const std::string& text)
{
    if (!IsBracedGuid(text)) {
        OSTREL_FAIL(10082);
    }
    unsigned int data1 = 0;
    unsigned int data2 = 0;
    unsigned int data3 = 0;
    unsigned int data4[8] = {};
    int fields = std::sscanf(text.c_str(), "{%8X-%4X-%4X-%2X%2X-%2X%2X%2X%2X%2X%2X}", &data1,
                             &data2, &data3, &data4[0], &data4[1], &data4[2], &data4[3],
                             &data4[4], &data4[5], &data4[6], &data4[7]);
    if (fields != 11) {
        OSTREL_FAIL(10082);
    }
    GUID guid;
    guid.Data1 = data1;
    guid.Data2 = static_cast<unsigned short>(data2);
    guid.Data3 = static_cast<unsigned short>(data3);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<unsigned char>(data4[i]);
    }
    return guid;
}

Md5Digest Md5FromHex(const std::string& text)
{
    unsigned int fields[16] = {};
    int read = std::sscanf(text.c_str(), "%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X%2X",
                           &fields[0], &fields[1], &fields[2], &fields[3], &fields[4], &fields[5],
                           &fields[6], &fields[7], &fields[8], &fields[9], &fields[10],
                           &fields[11], &fields[12], &fields[13], &fields[14], &fields[15]);
    if (read != 16) {
        OSTREL_FAIL(10359);
    }
    Md5Digest digest;
    for (int i = 0; i < 16; ++i) {
        digest.bytes[i] = static_cast<unsigned char>(fields[i]);
    }
    return digest;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text) {
        wide += static_cast<wchar_t>(static_cast<short>(static_cast<signed char>(c)));
    }
    return wide;
}

RegKeyPath ParseRegKeyPath(const std::wstring& keyPath)
{
    static const struct {
        const wchar_t* name;
        HKEY root;
    } kRoots[] = {
        {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {L"HKEY_USERS", HKEY_USERS},
    };
    size_t backslash = keyPath.find(L'\\');
    std::wstring rootName = keyPath.substr(0, backslash);
    std::wstring subkey = backslash == std::wstring::npos ? L"" : keyPath.substr(backslash + 1);
    for (wchar_t& c : rootName) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    for (const auto& root : kRoots) {
        if (rootName == root.name) {
            return RegKeyPath{root.root, subkey};
        }
    }
    OSTREL_FAIL(10078);
}

void WriteStreamToFilePlain(Stream& stream, HANDLE file, const std::wstring& fileName)
{
    std::unique_ptr<char[]> buffer(new char[kCopyBlockSize]);
    while (!stream.AtEof()) {
        uint32_t size = stream.Read(buffer.get(), kCopyBlockSize);
        DWORD writtenSize = 0;
        if (!WriteFile(file, buffer.get(), size, &writtenSize, nullptr)) {
            ThrowWin32Failure(FailureSite::kStreamWrite, GetLastError(), fileName);
        }
        OSTREL_CHECK(writtenSize == size, 10001);
    }
}

}  // namespace OstrelInstallEngine
