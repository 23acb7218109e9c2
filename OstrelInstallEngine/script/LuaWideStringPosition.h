// Lua 5.1's rules for string positions, over code units: 1-based, a
// negative position counts from the end (-1 is the last unit), and a range
// is cut to the text instead of failing.
#pragma once

#include <cstddef>

namespace OstrelInstallEngine {

class LuaWideStringPosition {
public:
    struct Span {
        size_t first;  // 0-based
        size_t count;
    };

    // The units from position first to position last, both included.
    static Span Clamp(ptrdiff_t first, ptrdiff_t last, size_t length);

    // The 0-based offset where find and match start for init, within
    // 0..length.
    static size_t SearchStart(ptrdiff_t init, size_t length);

private:
    static ptrdiff_t Relative(ptrdiff_t position, size_t length);
};

}  // namespace OstrelInstallEngine
