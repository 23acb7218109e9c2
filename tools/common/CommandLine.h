// The program's command line split as the runtime splits it, the program's
// own name first.
#pragma once

#include <string>
#include <vector>

// Empty when the system cannot split the line.
std::vector<std::wstring> CommandLineArguments();
