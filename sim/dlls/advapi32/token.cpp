// Advapi32's token functions: the process token and its privileges. The 9x
// family exports them as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED.
// A failure sets the last error and is recorded on the "failure" channel;
// opening the token and adjusting its privileges can fail on demand (the
// object is empty: there is one process and one token).
#include <cstring>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/session.h"

using sim::Current;

namespace {

// The one privilege the tool adjusts, by its locally unique id.
constexpr DWORD kShutdownPrivilege = 19;  // SE_SHUTDOWN_PRIVILEGE

BOOL Failed(const char* call, DWORD error) {
    sim::dll::Fail(call, "", error);
    return FALSE;
}

BOOL FailsOnDemand(const char* call) {
    const DWORD error = sim::dll::Injected(call, "");
    if (error != ERROR_SUCCESS) Current().lastError = error;
    return error != ERROR_SUCCESS;
}

}  // namespace

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    constexpr const char* kCall = "OpenProcessToken";
    sim::Machine& m = Current();
    if (!m.IsNt()) return Failed(kCall, ERROR_CALL_NOT_IMPLEMENTED);
    if (process != GetCurrentProcess() || !token) return Failed(kCall, ERROR_INVALID_HANDLE);
    if (FailsOnDemand(kCall)) return FALSE;
    *token = m.session().OpenToken(access);
    m.Record("session", "OpenProcessToken(current process)");
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    constexpr const char* kCall = "LookupPrivilegeValueA";
    if (!Current().IsNt()) return Failed(kCall, ERROR_CALL_NOT_IMPLEMENTED);
    if (systemName && *systemName) return Failed(kCall, ERROR_INVALID_PARAMETER);
    if (!name || !luid || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) return Failed(kCall, ERROR_NO_SUCH_PRIVILEGE);
    luid->LowPart = kShutdownPrivilege;
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES,
                           PDWORD) {
    constexpr const char* kCall = "AdjustTokenPrivileges";
    sim::Machine& m = Current();
    if (!m.IsNt()) return Failed(kCall, ERROR_CALL_NOT_IMPLEMENTED);
    if (!m.session().IsToken(token)) return Failed(kCall, ERROR_INVALID_HANDLE);
    if (FailsOnDemand(kCall)) return FALSE;
    if (disableAll) {
        m.session().shutdownPrivilegeEnabled = false;
    } else if (newState) {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            if (newState->Privileges[i].Luid.LowPart == kShutdownPrivilege) {
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
