// Formatted text on the runtime's standard output and error.
//
// The C++ standard library of this toolchain switches wprintf and its kin to
// C99 rules ("%s" is a narrow string even in a wide format), while the
// engine's formats follow the Microsoft runtime ("%s" wide, "%hs" narrow).
// So the engine formats only through FormatWide and prints with these.
#pragma once

#include <cstdio>

namespace OstrelInstallEngine {

// FormatWide, then the text as it is (fputws): text-mode streams convert it
// to 8-bit characters and write each line feed as CR LF.
void PrintFormatted(FILE* stream, const wchar_t* format, ...);

}  // namespace OstrelInstallEngine
