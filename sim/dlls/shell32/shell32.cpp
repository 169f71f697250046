// Shell32's ShellExecuteExA: starts a program the way the shell finds it
// (ProcessTable::ShellTarget).
//
// A start can be made to fail on demand: call "ShellExecuteExA", object the
// full path of the program file it would start. A failed start sets the
// last error and hInstApp (SE_ERR_*), returns FALSE, and is recorded on the
// "process" and "failure" channels.
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

namespace {

constexpr const char* kCall = "ShellExecuteExA";
// hInstApp of a successful start: any value above 32.
constexpr INT_PTR kStarted = 42;

HINSTANCE InstanceCode(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

// The SE_ERR_* code hInstApp reports for a Windows error.
INT_PTR ShellErrorFor(DWORD error) {
    switch (error) {
        case ERROR_PATH_NOT_FOUND: return SE_ERR_PNF;
        case ERROR_ACCESS_DENIED: return SE_ERR_ACCESSDENIED;
        default: return SE_ERR_FNF;
    }
}

}  // namespace

BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
    sim::Machine& m = Current();
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        if (info) info->hInstApp = InstanceCode(SE_ERR_ACCESSDENIED);
        sim::dll::Fail(kCall, "", ERROR_ACCESS_DENIED);
        return FALSE;
    }
    info->hProcess = nullptr;
    const std::string file = info->lpFile ? info->lpFile : "";
    const std::string parameters = info->lpParameters ? info->lpParameters : "";
    const std::string description = "file=\"" + file + "\" parameters=\"" + parameters +
                                    "\" show=" + std::to_string(info->nShow);
    sim::ProcessTable& processes = m.processes();
    // What a failed start reports; the failure is recorded already.
    auto failed = [&](DWORD error) {
        info->hInstApp = InstanceCode(ShellErrorFor(error));
        m.lastError = error;
        return FALSE;
    };
    if (file.empty()) {
        processes.RecordFailedStart(description, ERROR_FILE_NOT_FOUND);
        sim::dll::Fail(kCall, "", ERROR_FILE_NOT_FOUND);
        return failed(ERROR_FILE_NOT_FOUND);
    }
    const std::string program = processes.ShellTarget(file, info->lpDirectory ? info->lpDirectory : "");
    const std::string object = sim::FileSystem::FullPath(program);
    if (const DWORD error = sim::dll::Injected(kCall, object)) {
        processes.RecordFailedStart(description, error);
        return failed(error);
    }
    // The shell starts the program with its path quoted, then the
    // parameters.
    const std::string commandLine = "\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters);
    const sim::Result<DWORD> started =
        processes.Start(program, commandLine, "ShellExecuteEx", parameters, info->nShow, description);
    if (!started) {
        sim::dll::Fail(kCall, object, started.error());  // the start itself is recorded by Start
        return failed(started.error());
    }
    info->hInstApp = InstanceCode(kStarted);
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = processes.OpenHandle(*started);
    return TRUE;
}
