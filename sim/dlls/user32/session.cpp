// User32's end of the session (ExitWindowsEx) and its character-stepping
// functions of the single-byte code page the emulated machines use.
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/session.h"

using sim::Current;

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    if (!Current().session().ExitWindows(flags, reason)) {
        sim::dll::Fail("ExitWindowsEx", "", ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    return TRUE;
}

LPSTR CharPrevA(LPCSTR start, LPCSTR current) {
    return const_cast<LPSTR>(current > start ? current - 1 : start);
}

LPSTR CharNextA(LPCSTR current) { return const_cast<LPSTR>(*current ? current + 1 : current); }

