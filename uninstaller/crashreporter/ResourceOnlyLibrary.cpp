// Entry of the crash reporter's helper libraries, which carry no code of
// their own: BugSplatRC.dll holds texts, DBGHELP.dll keeps the reporter's
// file set complete while the dumps are written by the system's dbghelp.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
