#include "sim/machine/processes.h"

#include <memory>

#include "sim/include/errors.h"
#include "sim/include/user.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"
#include "sim/base/text.h"
#include "sim/machine/window_errors.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return std::string();
    // "C:\x.exe" lies in the root "C:\".
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

constexpr UINT kSecurityStopCommand = 1129;

}  // namespace

ProcessTable::ProcessTable(Machine& machine) : machine_(machine) {}

ProcessTable::~ProcessTable() = default;

void ProcessTable::ScriptProgram(const std::string& program, ProgramScript script) {
    scripts_[Upper(program)] = std::move(script);
}

const ProgramScript& ProcessTable::ScriptFor(const std::string& program) const {
    auto it = scripts_.find(Upper(program));
    if (it != scripts_.end()) return it->second;
    it = scripts_.find(Upper(FileNameOf(program)));
    if (it != scripts_.end()) return it->second;
    return defaultScript;
}

DWORD ProcessTable::StartRunning(const std::string& program, const std::string& commandLine) {
    ProcessRecord record;
    record.id = nextId_;
    nextId_ += 4;
    record.program = program;
    record.commandLine = commandLine.empty() ? program : commandLine;
    record.via = "scenario";
    record.started = machine_.clock.Now();
    processes_.push_back(record);
    ProgramScript script;
    script.runsFor = std::nullopt;
    running_[record.id] = std::move(script);
    return record.id;
}

std::vector<std::string> ProcessTable::StartedCommandLines() const {
    std::vector<std::string> out;
    for (const ProcessRecord& p : processes_) {
        if (p.via != "scenario") out.push_back(p.commandLine);
    }
    return out;
}

const ProcessRecord* ProcessTable::Find(DWORD id) const {
    for (const ProcessRecord& p : processes_) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

ProcessRecord* ProcessTable::FindMutable(DWORD id) {
    for (ProcessRecord& p : processes_) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

bool ProcessTable::IsRunning(const std::string& program) const {
    for (const ProcessRecord& p : processes_) {
        if (p.Running() && EqualNoCase(p.program, program)) return true;
    }
    return false;
}

bool ProcessTable::EndProcess(DWORD id, DWORD exitCode) {
    ProcessRecord* p = FindMutable(id);
    if (!p || !p->Running()) return false;
    p->ended = machine_.clock.Now();
    p->exitCode = exitCode;
    const ProcessRecord copy = *p;
    machine_.Record("process-exit", copy.program + " exit " + std::to_string(exitCode));
    ProgramScript script;
    auto it = running_.find(id);
    if (it != running_.end()) {
        script = std::move(it->second);
        running_.erase(it);
    }
    if (script.onEnd) script.onEnd(machine_, copy);
    return true;
}

size_t ProcessTable::EndProgram(const std::string& program, DWORD exitCode, DWORD exceptId) {
    std::vector<DWORD> ids;
    const bool byName = program.find('\\') == std::string::npos;
    for (const ProcessRecord& p : processes_) {
        if (!p.Running() || p.id == exceptId) continue;
        if (byName ? EqualNoCase(FileNameOf(p.program), program) : EqualNoCase(p.program, program)) {
            ids.push_back(p.id);
        }
    }
    size_t ended = 0;
    for (DWORD id : ids) ended += EndProcess(id, exitCode) ? 1 : 0;
    return ended;
}

std::optional<bool> ProcessTable::IsSignaled(HANDLE handle) const {
    const std::optional<DWORD> id = ProcessOf(handle);
    if (!id) return std::nullopt;
    const ProcessRecord* p = Find(*id);
    return p && !p->Running();
}

bool ProcessTable::CloseProcessHandle(HANDLE handle) {
    return handles_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

void ProcessTable::RecordFailedStart(const std::string& description, DWORD error) {
    machine_.Record("process", "failed (error " + std::to_string(error) + "): " + description);
}

Result<DWORD> ProcessTable::Start(const std::string& program, const std::string& commandLine, const std::string& via,
                                  const std::string& parameters, int show, const std::string& description) {
    FileSystem& files = machine_.files();
    DWORD error = ERROR_SUCCESS;
    if (files.IsFolder(program)) {
        error = ERROR_ACCESS_DENIED;
    } else if (!files.Exists(program)) {
        const std::string folder = FolderOf(program);
        error = (!folder.empty() && !files.IsFolder(folder)) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (error != ERROR_SUCCESS) {
        RecordFailedStart(description, error);
        return WinError{error};
    }
    machine_.Record("process", description);

    ProcessRecord record;
    record.id = nextId_;
    nextId_ += 4;
    record.program = program;
    record.commandLine = commandLine;
    record.via = via;
    record.parameters = parameters;
    record.show = show;
    record.started = machine_.clock.Now();
    processes_.push_back(record);

    ProgramScript script = ScriptFor(program);
    running_[record.id] = script;
    for (const ScriptedPost& post : script.posts) {
        const DWORD processId = record.id;
        machine_.clock.ScheduleIn(post.after, [this, processId, post] { Post(processId, post); });
    }
    if (script.onStart) script.onStart(machine_, record);
    if (script.runsFor) {
        const DWORD processId = record.id;
        const DWORD exitCode = script.exitCode;
        if (*script.runsFor == 0) {
            EndProcess(processId, exitCode);
        } else {
            machine_.clock.ScheduleIn(*script.runsFor, [this, processId, exitCode] { EndProcess(processId, exitCode); });
        }
    }
    return record.id;
}

void ProcessTable::Post(DWORD id, const ScriptedPost& post) {
    WindowManager& windows = machine_.windows();
    auto given = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<std::string_view>(text);
    };
    const HWND target = windows.FindTopLevel(given(post.windowClass), given(post.windowTitle));
    const ProcessRecord* p = Find(id);
    const std::string from = p ? p->program : std::string("?");
    const std::string what = "message " + std::to_string(post.message) + " to \"" + post.windowClass + "\" \"" +
                             post.windowTitle + "\" from " + from;
    if (!target) {
        machine_.Record("process-post", "dropped " + what);
        return;
    }
    windows.Post(target, {post.message, post.wParam, post.lParam});
    machine_.Record("process-post", "posted " + what);
}

HANDLE ProcessTable::OpenHandle(DWORD id) {
    const std::uintptr_t value = machine_.NewHandleValue();
    handles_[value] = id;
    return reinterpret_cast<HANDLE>(value);
}

std::optional<DWORD> ProcessTable::ProcessOf(HANDLE handle) const {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) return std::nullopt;
    return it->second;
}

bool ProcessTable::WaitFor(DWORD id, DWORD timeout) {
    Clock& clock = machine_.clock;
    const Clock::Millis begin = clock.Now();
    const std::optional<Clock::Millis> deadline =
        timeout == INFINITE ? std::nullopt : std::optional<Clock::Millis>(begin + timeout);
    auto running = [&] {
        const ProcessRecord* p = Find(id);
        return p && p->Running();
    };
    while (running()) {
        const std::optional<Clock::Millis> next = clock.NextEventTime();
        if (deadline && (!next || *next > *deadline)) {
            clock.AdvanceTo(*deadline);
            return !running();
        }
        const ProcessRecord* p = Find(id);
        const std::string program = p ? p->commandLine : std::string("?");
        if (!next) {
            throw ScenarioStalled("the tool waits for \"" + program + "\", which nothing will ever end");
        }
        if (!deadline && *next - begin > machine_.windows().IdleLimit()) {
            clock.AdvanceTo(begin + machine_.windows().IdleLimit());
            throw ScenarioStalled("the tool has waited " + std::to_string(machine_.windows().IdleLimit()) +
                                  " ms for \"" + program + "\", which has not ended");
        }
        clock.AdvanceTo(*next);
    }
    return true;
}

// ---- the security program ---------------------------------------------------------

namespace {

HWND AddSecurityWindow(Machine& machine, DWORD processId, const SecurityProgramScript& script) {
    auto window = std::make_shared<HWND>(nullptr);
    Machine* m = &machine;
    *window = machine.windows().AddForeignWindow(
        "ZelmSS", "ZelmSS", [m, window, processId, script](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
            if (message != WM_COMMAND || LOWORD(wParam) != kSecurityStopCommand) return 0;
            if (script.closesOnStop && script.reply != 0) {
                // The program destroys its window while it handles the
                // command, and then ends.
                if (*window) m->windows().RemoveForeignWindow(*window);
                *window = nullptr;
                m->processes().EndProcess(processId, 0);
            }
            return script.reply;
        });
    return *window;
}

}  // namespace

void ScriptSecurityProgram(Machine& machine, const std::string& program, const SecurityProgramScript& script) {
    ProgramScript p;
    p.runsFor = std::nullopt;
    p.onStart = [script](Machine& m, const ProcessRecord& record) { AddSecurityWindow(m, record.id, script); };
    machine.processes().ScriptProgram(program, std::move(p));
}

HWND RunSecurityProgram(Machine& machine, const std::string& program, const SecurityProgramScript& script) {
    const DWORD id = machine.processes().StartRunning(program);
    return AddSecurityWindow(machine, id, script);
}

// ---- where a started program is looked for ------------------------------

namespace {

bool HasExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    const size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool IsProgramFile(FileSystem& files, const std::string& path) {
    return files.Exists(path) && !files.IsFolder(path);
}

}  // namespace

// The run-time library tries the name as given and, when it has no
// extension, with ".com", ".exe", ".bat" and ".cmd" in turn.
std::string ProcessTable::SpawnTarget(const std::string& path) const {
    FileSystem& files = machine_.files();
    if (IsProgramFile(files, path) || HasExtension(path)) return path;
    for (const char* extension : {".com", ".exe", ".bat", ".cmd"}) {
        if (IsProgramFile(files, path + extension)) return path + extension;
    }
    return path;
}

namespace {

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

}  // namespace

// Where the shell finds a file named without a full path: the folder the
// caller gave, the tool's own folder, the system folder, the Windows
// folder; ".exe" is tried when the name has no extension.
std::string ProcessTable::ShellTarget(const std::string& file, const std::string& directory) const {
    FileSystem& files = machine_.files();
    std::vector<std::string> candidates;
    if (IsAbsolute(file)) {
        candidates.push_back(file);
    } else {
        Machine& m = machine_;
        if (!directory.empty()) candidates.push_back(JoinFolder(directory, file));
        const std::string& self = m.modules().programPath;
        const size_t slash = self.find_last_of('\\');
        if (slash != std::string::npos) candidates.push_back(JoinFolder(self.substr(0, slash), file));
        candidates.push_back(JoinFolder(m.SystemDir(), file));
        candidates.push_back(JoinFolder(m.WindowsDir(), file));
    }
    for (const std::string& c : candidates) {
        if (IsProgramFile(files, c)) return c;
        if (!HasExtension(c) && IsProgramFile(files, c + ".exe")) return c + ".exe";
    }
    return candidates.front();
}

}  // namespace sim
