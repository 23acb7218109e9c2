#include "script/LuaWideStringPosition.h"

namespace OstrelInstallEngine {

ptrdiff_t LuaWideStringPosition::Relative(ptrdiff_t position, size_t length)
{
    if (position < 0) {
        position += static_cast<ptrdiff_t>(length) + 1;
    }
    return position >= 0 ? position : 0;
}

LuaWideStringPosition::Span LuaWideStringPosition::Clamp(ptrdiff_t first, ptrdiff_t last,
                                                         size_t length)
{
    ptrdiff_t start = Relative(first, length);
    ptrdiff_t end = Relative(last, length);
    if (start < 1) {
        start = 1;
    }
    if (end > static_cast<ptrdiff_t>(length)) {
        end = static_cast<ptrdiff_t>(length);
    }
    if (start > end) {
        return {0, 0};
    }
    return {static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1)};
}

size_t LuaWideStringPosition::SearchStart(ptrdiff_t init, size_t length)
{
    const ptrdiff_t offset = Relative(init, length) - 1;
    if (offset < 0) {
        return 0;
    }
    return offset > static_cast<ptrdiff_t>(length) ? length : static_cast<size_t>(offset);
}

}  // namespace OstrelInstallEngine
