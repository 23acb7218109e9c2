#include "StandardHandles.h"

namespace {

StandardHandles g_savedHandles = {nullptr, nullptr, nullptr};

HANDLE DuplicateInheritable(DWORD which)
{
    HANDLE duplicate = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), &duplicate, 0,
                    TRUE, DUPLICATE_SAME_ACCESS);
    return duplicate;
}

}  // namespace

void SaveStandardHandles()
{
    g_savedHandles.output = DuplicateInheritable(STD_OUTPUT_HANDLE);
    g_savedHandles.error = DuplicateInheritable(STD_ERROR_HANDLE);
    g_savedHandles.input = DuplicateInheritable(STD_INPUT_HANDLE);
}

const StandardHandles& GetSavedStandardHandles()
{
    return g_savedHandles;
}
