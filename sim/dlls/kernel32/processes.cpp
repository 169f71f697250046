// Kernel32's waits on process handles and their exit codes.
#include <optional>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    sim::Machine& m = Current();
    const std::optional<DWORD> id = m.processes().ProcessOf(handle);
    if (!id) {
        m.lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    return m.processes().WaitFor(*id, milliseconds) ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    sim::Machine& m = Current();
    const std::optional<DWORD> id = m.processes().ProcessOf(process);
    const sim::ProcessRecord* p = id ? m.processes().Find(*id) : nullptr;
    if (!p) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!exitCode) {
        m.lastError = ERROR_NOACCESS;
        return FALSE;
    }
    *exitCode = p->exitCode;
    return TRUE;
}

