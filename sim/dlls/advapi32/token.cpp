// Advapi32's token functions: the process token and its privileges. The 9x
// family exports them as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED.
#include <cstring>
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/session.h"

using sim::Current;

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (process != GetCurrentProcess() || !token) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *token = m.session().OpenToken(access);
    m.Record("session", "OpenProcessToken(current process)");
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (systemName && *systemName) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!name || !luid || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) {
        m.lastError = ERROR_NO_SUCH_PRIVILEGE;
        return FALSE;
    }
    luid->LowPart = 19;  // SE_SHUTDOWN_PRIVILEGE
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES,
                           PDWORD) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (!m.session().IsToken(token)) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (disableAll) {
        m.session().shutdownPrivilegeEnabled = false;
    } else if (newState) {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            if (newState->Privileges[i].Luid.LowPart == 19) {
                m.session().shutdownPrivilegeEnabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
                m.Record("session", std::string("AdjustTokenPrivileges: SeShutdownPrivilege ") +
                                        (m.session().shutdownPrivilegeEnabled ? "enabled" : "disabled"));
            }
        }
    }
    // Windows reports success and keeps ERROR_SUCCESS as the last error when
    // every privilege was adjusted.
    m.lastError = ERROR_SUCCESS;
    return TRUE;
}

