// Starting programs and waiting for them: the run-time library's _spawnl,
// Shell32's ShellExecuteExA, and Kernel32's WaitForSingleObject and
// GetExitCodeProcess on process handles.
#include <cerrno>
#include <cstdarg>
#include <optional>
#include <string>
#include <vector>

#include "sim/api/windows.h"
#include "sim/filesystem.h"
#include "sim/machine.h"
#include "sim/modules.h"
#include "sim/processes.h"
#include "sim/text.h"

using sim::Current;

namespace {

bool HasExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    const size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool IsProgramFile(const std::string& path) {
    sim::FileSystem& files = Current().files();
    return files.Exists(path) && !files.IsFolder(path);
}

// The run-time library tries the name as given and, when it has no
// extension, with ".com", ".exe", ".bat" and ".cmd" in turn.
std::string SpawnTarget(const std::string& path) {
    if (IsProgramFile(path) || HasExtension(path)) return path;
    for (const char* extension : {".com", ".exe", ".bat", ".cmd"}) {
        if (IsProgramFile(path + extension)) return path + extension;
    }
    return path;
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// Where the shell finds a file named without a full path: the folder the
// caller gave, the tool's own folder, the system folder, the Windows
// folder; ".exe" is tried when the name has no extension.
std::string ShellTarget(const std::string& file, const char* directory) {
    std::vector<std::string> candidates;
    if (IsAbsolute(file)) {
        candidates.push_back(file);
    } else {
        sim::Machine& m = Current();
        if (directory && *directory) candidates.push_back(Join(directory, file));
        const std::string& self = m.modules().programPath;
        const size_t slash = self.find_last_of('\\');
        if (slash != std::string::npos) candidates.push_back(Join(self.substr(0, slash), file));
        candidates.push_back(Join(m.SystemDir(), file));
        candidates.push_back(Join(m.WindowsDir(), file));
    }
    for (const std::string& c : candidates) {
        if (IsProgramFile(c)) return c;
        if (!HasExtension(c) && IsProgramFile(c + ".exe")) return c + ".exe";
    }
    return candidates.front();
}

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
    const std::string program = SpawnTarget(path);
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
    const std::string program = ShellTarget(file, info->lpDirectory);
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
