// The one door to the xdelta3 library. Its header has no C++ guards, pulls in
// windows.h and defines the one-letter macros Q and Z, which would clash with
// ordinary identifiers anywhere else.
#pragma once

#include <windows.h>

extern "C" {
#include <xdelta3.h>
}

#undef Q
#undef Z
