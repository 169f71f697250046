// The run-time library's _spawnl: starts a program with its arguments joined
// by blanks, and waits for it or not. Where the program is looked for is
// the process table's (ProcessTable::SpawnTarget).
//
// A start can be made to fail on demand: call "_spawnl", object the full
// path of the program file it would start. A failed start sets the last
// error and errno, returns -1, and is recorded on the "process" and
// "failure" channels.
#include <cerrno>
#include <cstdarg>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

namespace {

constexpr const char* kCall = "_spawnl";

// errno for a Windows error, as the run-time library maps them.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_BAD_FORMAT: return ENOEXEC;
        default: return EINVAL;
    }
}

}  // namespace

intptr_t _spawnl(int mode, const char* path, const char* arg0, ...) {
    sim::Machine& m = Current();
    if (!path || !arg0 || (mode != _P_WAIT && mode != _P_NOWAIT)) {
        // The run-time library's own check: errno only, the last error stays.
        sim::dll::FailQuietly(kCall, path ? path : "", ERROR_INVALID_PARAMETER);
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
    const std::string object = sim::FileSystem::FullPath(program);
    if (const DWORD error = sim::dll::Injected(kCall, object)) {
        processes.RecordFailedStart(commandLine, error);
        m.lastError = error;
        errno = ErrnoFor(error);
        return -1;
    }
    const sim::Result<DWORD> started = processes.Start(program, commandLine, kCall, "", SW_SHOWNORMAL, commandLine);
    if (!started) {
        sim::dll::Fail(kCall, object, started.error());  // the start itself is recorded by Start
        errno = ErrnoFor(started.error());
        return -1;
    }
    const DWORD id = *started;
    if (mode == _P_NOWAIT) return reinterpret_cast<intptr_t>(processes.OpenHandle(id));
    processes.WaitFor(id, INFINITE);
    const sim::ProcessRecord* p = processes.Find(id);
    return p ? static_cast<int>(p->exitCode) : -1;
}
