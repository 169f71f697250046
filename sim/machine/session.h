// The user's session: the process token with its privileges, and requests to
// end the session (ExitWindowsEx). A restart is recorded, never carried out.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/clock.h"

namespace sim {

class Machine;

struct ExitRequest {
    Clock::Millis time;
    UINT flags;
    DWORD reason;
    bool granted;  // false when Windows refused it (no shutdown privilege on NT)
};

class Session {
public:
    explicit Session(Machine& machine) : machine_(machine) {}

    // OpenProcessToken / AdjustTokenPrivileges: the 9x family has no tokens.
    HANDLE OpenToken(DWORD access);
    bool IsToken(HANDLE handle) const { return tokens_.count(reinterpret_cast<std::uintptr_t>(handle)) != 0; }
    bool CloseToken(HANDLE handle);
    size_t OpenTokenCount() const { return tokens_.size(); }
    bool shutdownPrivilegeEnabled = false;

    const std::vector<ExitRequest>& ExitRequests() const { return exits_; }
    bool ExitWindows(UINT flags, DWORD reason);

private:
    Machine& machine_;
    std::map<std::uintptr_t, DWORD> tokens_;  // handle -> access granted
    std::vector<ExitRequest> exits_;
};

}  // namespace sim
