// The run-time library's _spawnl: starts a program with its arguments joined
// by blanks, and waits for it or not.
#include <cerrno>
#include <cstdarg>
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

namespace {

int ErrnoFor(DWORD error) { return error == ERROR_ACCESS_DENIED ? EACCES : ENOENT; }

}  // namespace

intptr_t _spawnl(int mode, const char* path, const char* arg0, ...) {
    sim::Machine& m = Current();
    if (!path || !arg0 || (mode != _P_WAIT && mode != _P_NOWAIT)) {
        errno = EINVAL;
        return -1;
    }
    // The run-time library joins the arguments with single blanks and adds
    // no quotes.
    std::string commandLine = arg0;
    va_list args;
    va_start(args, arg0);
    for (const char* arg = va_arg(args, const char*); arg; arg = va_arg(args, const char*)) {
        commandLine += ' ';
        commandLine += arg;
    }
    va_end(args);

    sim::ProcessTable& processes = m.processes();
    const std::string program = processes.SpawnTarget(path);
    DWORD id = 0;
    const DWORD error = processes.Start(program, commandLine, "_spawnl", "", SW_SHOWNORMAL, commandLine, &id);
    if (error != ERROR_SUCCESS) {
        m.lastError = error;
        errno = ErrnoFor(error);
        return -1;
    }
    if (mode == _P_NOWAIT) return reinterpret_cast<intptr_t>(processes.OpenHandle(id));
    processes.WaitFor(id, INFINITE);
    const sim::ProcessRecord* p = processes.Find(id);
    return p ? static_cast<int>(p->exitCode) : -1;
}

