// Shell32's ShellExecuteExA: starts a program the way the shell finds it.
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

using sim::Current;

BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
    sim::Machine& m = Current();
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        if (info) info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_ACCESSDENIED));
        m.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    info->hProcess = nullptr;
    const std::string file = info->lpFile ? info->lpFile : "";
    const std::string parameters = info->lpParameters ? info->lpParameters : "";
    const std::string description = "file=\"" + file + "\" parameters=\"" + parameters +
                                    "\" show=" + std::to_string(info->nShow);
    sim::ProcessTable& processes = m.processes();
    if (file.empty()) {
        processes.RecordFailedStart(description, ERROR_FILE_NOT_FOUND);
        info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF));
        m.lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    const std::string program = processes.ShellTarget(file, info->lpDirectory);
    // The shell starts the program with its path quoted, then the
    // parameters.
    const std::string commandLine = "\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters);
    DWORD id = 0;
    const DWORD error = processes.Start(program, commandLine, "ShellExecuteEx", parameters, info->nShow, description,
                                        &id);
    if (error != ERROR_SUCCESS) {
        const INT_PTR code = error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF
                             : error == ERROR_ACCESS_DENIED ? SE_ERR_ACCESSDENIED
                                                            : SE_ERR_FNF;
        info->hInstApp = reinterpret_cast<HINSTANCE>(code);
        m.lastError = error;
        return FALSE;
    }
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));  // above 32: success
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = processes.OpenHandle(id);
    return TRUE;
}

