// Programs started on the emulated machine, and their process handles.
//
// A program starts only when its file is on the emulated drive C:. What it
// does then is scripted per program (by full path or by file name, case
// ignored): it ends after some virtual time with an exit code or keeps
// running, posts messages to windows, and may change the machine when it
// starts or ends (edit the registry or the files, end other programs, put
// windows of its own on the screen). A program nobody scripted ends at once
// with exit code 0.
//
// Every start the tool asks for is recorded in the transcript with kind
// "process": the exact command line of a _spawnl start, or
// `file="..." parameters="..." show=N` of a ShellExecuteEx start; a start
// that fails is recorded as "failed (error N): " followed by the same text.
// A program's end is recorded with kind "process-exit".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/kernel.h"
#include "sim/include/types.h"
#include "sim/machine/clock.h"
#include "sim/machine/result.h"

namespace sim {

class Machine;

struct ProcessRecord {
    DWORD id = 0;
    std::string program;      // the file that runs, as the starter named it (with any extension added)
    std::string commandLine;  // exactly as the program receives it
    std::string via;          // "_spawnl", "ShellExecuteEx" or "scenario"
    std::string parameters;   // ShellExecuteEx: the parameters as given
    int show = 0;             // ShellExecuteEx: the show state
    Clock::Millis started = 0;
    std::optional<Clock::Millis> ended;
    DWORD exitCode = STILL_ACTIVE;

    bool Running() const { return !ended.has_value(); }
};

// A message a program posts to a top-level window some time after it
// started. The window is looked up then, by class and title (an empty text
// matches any); the post is dropped, and recorded as dropped, when there is
// no such window.
struct ScriptedPost {
    Clock::Millis after = 0;
    std::string windowClass;
    std::string windowTitle;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct ProgramScript {
    // How long the program runs; nullopt: until something ends it.
    std::optional<Clock::Millis> runsFor = Clock::Millis{0};
    DWORD exitCode = 0;
    std::vector<ScriptedPost> posts;
    // Run when the program starts (before the starting call returns) and
    // when it ends; they may change the machine and start or end programs.
    std::function<void(Machine&, const ProcessRecord&)> onStart;
    std::function<void(Machine&, const ProcessRecord&)> onEnd;
};

class ProcessTable {
public:
    explicit ProcessTable(Machine& machine);
    ~ProcessTable();
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;

    // ---- for scenarios and tests ------------------------------------------
    // `program` is a full path ("C:\Program Files\Zelmar\tavarin.exe") or a
    // bare file name ("msiexec.exe"), which scripts that file in any
    // folder; a full path wins over a file name.
    void ScriptProgram(const std::string& program, ProgramScript script);
    // What a program without a script does.
    ProgramScript defaultScript;

    // A program that is already running when the tool starts; it runs until
    // something ends it. Returns its process id.
    DWORD StartRunning(const std::string& program, const std::string& commandLine = "");

    // Every process, in the order they started.
    const std::vector<ProcessRecord>& Processes() const { return processes_; }
    // The command lines of the starts the tool asked for that succeeded.
    std::vector<std::string> StartedCommandLines() const;
    const ProcessRecord* Find(DWORD id) const;
    bool IsRunning(const std::string& program) const;
    // Ends a running process (its script's onEnd runs); false when it is
    // not running.
    bool EndProcess(DWORD id, DWORD exitCode);
    // Ends every running process of the program but `exceptId`; returns
    // how many ended.
    size_t EndProgram(const std::string& program, DWORD exitCode, DWORD exceptId = 0);

    // Whether the process behind a handle has ended; nullopt when the
    // handle is not a process handle of this machine.
    std::optional<bool> IsSignaled(HANDLE handle) const;
    // CloseHandle of a process handle; false when the handle is not one.
    bool CloseProcessHandle(HANDLE handle);
    // Process handles the tool holds open.
    size_t OpenHandleCount() const { return handles_.size(); }

    // ---- what the starting and waiting functions do ------------------------
    // (sim/dlls/kernel32/processes.cpp, msvcrt/spawn.cpp, shell32/shell32.cpp)
    // Starts the program at `program` (a path on the drive) and records the
    // start as `description`, a failed one too. The new process's id, or
    // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND (no such folder),
    // ERROR_ACCESS_DENIED (a folder).
    Result<DWORD> Start(const std::string& program, const std::string& commandLine, const std::string& via,
                        const std::string& parameters, int show, const std::string& description);
    // The file _spawnl starts for `path`: the name as given and, when it has
    // no extension, with ".com", ".exe", ".bat" and ".cmd" in turn.
    std::string SpawnTarget(const std::string& path) const;
    // The file ShellExecuteEx starts for `file`: a full path as given; a
    // bare name in the caller's folder, the tool's own folder, the system
    // folder, then the Windows folder; ".exe" is tried without an extension.
    std::string ShellTarget(const std::string& file, const std::string& directory) const;
    // Records a start that failed before the program could be started: no
    // file named, or a failure on demand.
    void RecordFailedStart(const std::string& description, DWORD error);
    // A new handle to a process; the caller owns it.
    HANDLE OpenHandle(DWORD id);
    std::optional<DWORD> ProcessOf(HANDLE handle) const;
    // Lets virtual time pass until the process has ended or `timeout`
    // milliseconds have passed (INFINITE: no time-out); true when it has
    // ended. A wait without time-out that nothing can ever end, or that
    // idles longer than the window manager's idle limit, throws
    // ScenarioStalled.
    bool WaitFor(DWORD id, DWORD timeout);

private:
    ProcessRecord* FindMutable(DWORD id);
    const ProgramScript& ScriptFor(const std::string& program) const;
    void Post(DWORD id, const ScriptedPost& post);

    Machine& machine_;
    std::map<std::uintptr_t, DWORD> handles_;  // handle -> process id
    std::vector<ProcessRecord> processes_;
    std::map<std::string, ProgramScript> scripts_;  // by upper-cased path or file name
    std::map<DWORD, ProgramScript> running_;        // the script each running process follows
    DWORD nextId_ = 0x100;
};

// The security program of the Solvane line as a Windows 98 SE / Me machine
// has it: while it runs, a top-level window of class "ZelmSS" that answers
// the stop command (WM_COMMAND with 1129) with `reply`; when `closesOnStop`
// and the reply is not zero, the program destroys its window while it
// handles the command and ends, so that the window is gone when the sender
// gets the answer. Other messages are answered with 0.
struct SecurityProgramScript {
    LRESULT reply = 1;
    bool closesOnStop = true;
};
// Scripts the program file so that starting it brings up the window.
void ScriptSecurityProgram(Machine& machine, const std::string& program, const SecurityProgramScript& script);
// The program already runs with its window when the tool starts; returns
// the window.
HWND RunSecurityProgram(Machine& machine, const std::string& program, const SecurityProgramScript& script);

// The utility's device-removal program ("Zovavizu.exe"), as a scenario
// describes it (device_removal_program.cpp): started with
// `-u "<name>" "<class>" "<hardware key>"`, it runs for `runsFor`, then,
// when `removesDevice`, takes the device with that hardware key out of the
// machine (9x: its HKLM\Enum key and its Config Manager node below
// HKEY_DYN_DATA; NT 4.0: its Enum key; the driver key stays), and ends
// with `exitCode`. An empty key, a key that names no device, or a command
// line of another shape removes nothing.
struct DeviceRemovalScript {
    Clock::Millis runsFor = 0;
    bool removesDevice = true;
    DWORD exitCode = 0;
};
void ScriptDeviceRemovalProgram(Machine& machine, const std::string& program, const DeviceRemovalScript& script);
// The hardware key of a removal program's parameters; nullopt when they are
// not `-u` followed by three quoted texts.
std::optional<std::string> RemovalProgramKey(const std::string& parameters);

}  // namespace sim
