// Directives about programs: how a program behaves once the tool starts
// it, programs already running at start, the Solvane security program
// with its window, and the utility's device-removal program. A path that is not on drive C: is refused; a program
// whose file is missing simply cannot be started during the run.
#include "sim/machine/processes.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

constexpr unsigned long long kMostCode = 0xFFFFFFFFull;  // an exit code or a reply is a DWORD
const char kRemovalProgram[] = "Zovavizu.exe";

DWORD ExitCode(const Options& o) {
    const auto code = Unsigned(o.Get("exit"), kMostCode);
    if (!code) Refuse("exit= takes an exit code such as 0 or 1603");
    return static_cast<DWORD>(*code);
}

}  // namespace

void ReadProgram(Plan& plan, const Line& line) {
    RequireWords(line, 1, "program <path or file name> [keeps-running | runs=<time>] [exit=<code>]");
    const std::string program = line.Word(1);
    const Options o = ReadOptions(line, 2, {"runs", "exit"}, {"keeps-running"});
    ProgramScript script;
    if (o.Flag("keeps-running") && o.Has("runs")) Refuse("a program either keeps running or runs for a time");
    if (o.Flag("keeps-running")) script.runsFor = std::nullopt;
    if (o.Has("runs")) script.runsFor = Duration(o.Get("runs"));
    if (o.Has("exit")) script.exitCode = ExitCode(o);
    AddStep(plan, line, kRest, [program, script](Applier& a) { a.machine.processes().ScriptProgram(program, script); });
}

void ReadRunning(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 2, "running C:\\<path> [\"<command line>\"]");
    const std::string program = line.Word(1);
    if (!IsDrivePath(program)) Refuse("a running program is named by its full path on drive C:, not " + Quoted(program));
    const std::string commandLine = line.Words() == 2 ? line.Word(2) : "";
    AddStep(plan, line, kRest,
            [program, commandLine](Applier& a) { a.machine.processes().StartRunning(program, commandLine); });
}

void ReadSecurityProgram(Plan& plan, const Line& line) {
    RequireWords(line, 1, "security-program C:\\<path>\\ZelmSS.exe [reply=<n>] [stays-open] [running]");
    const std::string program = line.Word(1);
    if (!IsDrivePath(program)) {
        Refuse("the security program is named by its full path on drive C:, not " + Quoted(program));
    }
    const Options o = ReadOptions(line, 2, {"reply"}, {"stays-open", "running"});
    SecurityProgramScript script;
    if (o.Has("reply")) {
        const auto reply = Unsigned(o.Get("reply"), kMostCode);
        if (!reply) Refuse("reply= takes a number such as 0 or 1");
        script.reply = static_cast<LRESULT>(*reply);
    }
    script.closesOnStop = !o.Flag("stays-open");
    const bool running = o.Flag("running");
    AddStep(plan, line, kRest, [program, script, running](Applier& a) {
        if (running) {
            RunSecurityProgram(a.machine, program, script);
        } else {
            ScriptSecurityProgram(a.machine, program, script);
        }
    });
}

void ReadRemovalProgram(Plan& plan, const Line& line) {
    // The program's name comes first when it is given: a word that is no
    // option.
    const bool named = line.Words() >= 2 && line.Word(1).find('=') == std::string::npos &&
                       line.Word(1) != "keeps-device";
    const std::string program = named ? line.Word(1) : kRemovalProgram;
    const Options o = ReadOptions(line, named ? 2 : 1, {"runs", "exit"}, {"keeps-device"});
    DeviceRemovalScript script;
    if (o.Has("runs")) script.runsFor = Duration(o.Get("runs"));
    if (o.Has("exit")) script.exitCode = ExitCode(o);
    script.removesDevice = !o.Flag("keeps-device");
    AddStep(plan, line, kRest,
            [program, script](Applier& a) { ScriptDeviceRemovalProgram(a.machine, program, script); });
}

}  // namespace sim::loader
