// Quiet mode ("bootstrapped-quiet"): runs the uninstall without a window and
// reports it as lines on standard output, which the debug-output redirect
// carries to the debug channel:
//   PROGRESS<TAB>0.1234<TAB>text     whenever progress or text changed
//   PROBLEM<TAB>summary              per recorded problem, before the last line
//   SUCCESS | ERROR<TAB>text         the last line
#pragma once

#include <string>
#include <vector>

// 0 after SUCCESS, 1 after "ERROR\tAn error occurred during uninstall", 2 after
// an ERROR line with the text of an exception. Files that the launcher holds
// are removed only once it has ended (their removals wait, and record no
// problem).
int RunQuiet(const std::vector<std::wstring>& filesHeldByLauncher = {});

// Line feeds become "\n" and backslashes "\\", so that every text fits on one
// line and a reader can undo both; every other character passes unchanged.
std::wstring EscapeProtocolText(const std::wstring& text);
