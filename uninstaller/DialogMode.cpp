#include "DialogMode.h"

int RunDialogMode(HINSTANCE)
{
    return 1;
}
