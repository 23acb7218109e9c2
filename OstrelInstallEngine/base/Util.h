// Small stateless helpers that the whole engine uses. Failures throw the
// engine's exceptions; nothing here keeps state.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace OstrelInstallEngine {

class Stream;

// printf-style formatting with the Microsoft runtime's rules ("%s" is a wide
// string, "%hs" a narrow one); the buffer grows until the text fits.
std::wstring FormatWide(const wchar_t* format, ...);
std::wstring FormatWideV(const wchar_t* format, va_list arguments);

// FormatWide, then the text on a runtime stream in one write, converted to
// 8-bit characters as the runtime converts them ('?' for a character its
// encoding lacks); text-mode streams write each line feed as CR LF.
// The C++ standard library of this toolchain switches wprintf and its kin to
// C99 rules ("%s" narrow even in a wide format), so the engine prints with
// this instead.
void PrintFormatted(FILE* stream, const wchar_t* format, ...);

// The system's text for a Win32 error (or HRESULT) without its line break;
// "?Error getting error message (english)?" when the system has none.
std::wstring GetWin32ErrorTextEnglish(DWORD error);
std::wstring GetWin32ErrorTextLocalized(DWORD error);

// Removes leading and trailing white space (iswspace).
std::wstring Trim(const std::wstring& text);

// An absolute path without "." and ".." components; a relative path is taken
// against the current folder (10015 when that is too long to read). A
// trailing backslash stays.
std::wstring CanonicalizePath(const std::wstring& path);

// A new GUID as 32 lower-case hexadecimal digits, no braces, no dashes.
std::wstring MakeGuidString();
// Exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", digits in either case;
// anything else fails (10082).
GUID GuidFromString(const std::string& text);

struct Md5Digest {
    unsigned char bytes[16];
};
// Sixteen two-digit hexadecimal fields in a row, either case.
Md5Digest Md5FromHex(const std::string& text);

// Each byte becomes one character without code-page conversion; bytes of
// 0x80 and above are sign-extended (0xE9 becomes U+FFE9).
std::wstring Widen(const std::string& text);

// A registry key path split at its first backslash: the predefined root
// (never to be closed) and the subkey, passed on unchanged.
struct RegKeyPath {
    HKEY root;
    std::wstring subkey;
};
// The root name is matched without regard to case against HKEY_CLASSES_ROOT,
// HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_PERFORMANCE_DATA and HKEY_USERS; anything else fails (10078).
RegKeyPath ParseRegKeyPath(const std::wstring& keyPath);

// Copies the rest of a stream into an open file in 40960-byte blocks. The
// handle stays open and owned by the caller; fileName is for messages.
void WriteStreamToFilePlain(Stream& stream, HANDLE file, const std::wstring& fileName);

}  // namespace OstrelInstallEngine
