// Kernel32's waits on process handles and their exit codes
// (sim/machine/processes.h). A failure sets the last error and is recorded.
#include <optional>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    sim::ProcessTable& processes = Current().processes();
    const std::optional<DWORD> id = processes.ProcessOf(handle);
    if (!id) {
        sim::dll::Fail("WaitForSingleObject", "", ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return processes.WaitFor(*id, milliseconds) ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    constexpr const char* kCall = "GetExitCodeProcess";
    sim::ProcessTable& processes = Current().processes();
    const std::optional<DWORD> id = processes.ProcessOf(process);
    const sim::ProcessRecord* p = id ? processes.Find(*id) : nullptr;
    if (!p) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!exitCode) {
        sim::dll::Fail(kCall, p->program, ERROR_NOACCESS);
        return FALSE;
    }
    *exitCode = p->exitCode;
    return TRUE;
}
