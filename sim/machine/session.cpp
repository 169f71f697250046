#include "sim/machine/session.h"

#include <string>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"

namespace sim {

HANDLE Session::OpenToken(DWORD access) {
    const std::uintptr_t value = machine_.NewHandleValue();
    tokens_[value] = access;
    return reinterpret_cast<HANDLE>(value);
}

bool Session::CloseToken(HANDLE handle) {
    return tokens_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

bool Session::ExitWindows(UINT flags, DWORD reason) {
    // NT lets only a process that enabled SeShutdownPrivilege end the
    // session with a shutdown or restart; the 9x family asks no one.
    const bool needsPrivilege = (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0;
    const bool granted = !machine_.IsNt() || !needsPrivilege || shutdownPrivilegeEnabled;
    exits_.push_back({machine_.clock.Now(), flags, reason, granted});
    std::string what = (flags & EWX_REBOOT) ? "restart" : (flags & (EWX_SHUTDOWN | EWX_POWEROFF)) ? "shut down" : "log off";
    machine_.Record("session", "ExitWindowsEx(0x" + Hex(flags, 1) + ", " + std::to_string(reason) + "): " + what +
                                   (granted ? " requested" : " refused: privilege not held"));
    return granted;
}

}  // namespace sim
