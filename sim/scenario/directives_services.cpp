// Directives about services: the run state of a service registry.reg
// describes, and another process holding the service database lock. Both
// are refused on Windows without a service control manager (the 9x
// family) and for a service registry.reg lacks, when the plan is applied.
#include <limits>

#include "sim/include/windows.h"
#include "sim/machine/services.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

constexpr unsigned long long kMostError = 0xFFFFFFFFull;

struct StateWord {
    DWORD state;
    DWORD impliedControls;  // a paused service takes pause and continue
};

const sim::Word<StateWord> kStates[] = {
    {"running", {SERVICE_RUNNING, 0}},
    {"stopped", {SERVICE_STOPPED, 0}},
    {"paused", {SERVICE_PAUSED, SERVICE_ACCEPT_PAUSE_CONTINUE}},
};

const sim::Word<DWORD> kAccepts[] = {
    {"stop", SERVICE_ACCEPT_STOP},
    {"pause-continue", SERVICE_ACCEPT_PAUSE_CONTINUE},
    {"shutdown", SERVICE_ACCEPT_SHUTDOWN},
    {"none", 0},
};

void RequireServiceManager(Machine& machine) {
    if (!machine.services().Available()) {
        Refuse(std::string(VersionInfo(machine.Version()).title) + " has no service control manager");
    }
}

}  // namespace

void ReadService(Plan& plan, const Line& line) {
    RequireWords(line, 2,
                 "service <name> running|stopped|paused [start-delay=<time>] [stop-delay=<time>] "
                 "[accepts=stop,pause-continue] [start-error=<code>]");
    const std::string name = line.Word(1);
    const StateWord state = Choose(kStates, line.Word(2), "a service is ", WordList::Quoted);
    ServiceRunState run;
    run.state = state.state;
    run.controlsAccepted |= state.impliedControls;
    const Options o = ReadOptions(line, 3, {"start-delay", "stop-delay", "accepts", "start-error"}, {});
    if (o.Has("start-delay")) run.startDelay = Duration(o.Get("start-delay"));
    if (o.Has("stop-delay")) run.stopDelay = Duration(o.Get("stop-delay"));
    if (o.Has("accepts")) {
        run.controlsAccepted = ChooseBits(kAccepts, o.Get("accepts"), "accepts= takes ", " (separated by commas)");
    }
    if (o.Has("start-error")) {
        const auto code = Unsigned(o.Get("start-error"), kMostError);
        if (!code || *code == 0) Refuse("start-error= takes a Windows error code such as 1053");
        run.startError = static_cast<DWORD>(*code);
    }
    AddStep(plan, line, kRest, [name, run](Applier& a) {
        RequireServiceManager(a.machine);
        ServiceManager& services = a.machine.services();
        if (!services.Exists(name)) {
            Refuse("registry.reg has no service " + Quoted(name) +
                   " (a key below HKLM\\SYSTEM\\CurrentControlSet\\Services with a REG_DWORD \"Type\")");
        }
        services.SetRunState(name, run);
    });
}

void ReadServiceLock(Plan& plan, const Line& line) {
    const char* usage = "service-lock held-until <time>|forever";
    ExpectWords(line, 2, 2, usage);
    if (!EqualNoCase(line.Word(1), "held-until")) Refuse(std::string("expected: ") + usage);
    Once(plan, "service-lock");
    const Clock::Millis until = EqualNoCase(line.Word(2), "forever") ? std::numeric_limits<Clock::Millis>::max()
                                                                      : Duration(line.Word(2));
    AddStep(plan, line, kRest, [until](Applier& a) {
        RequireServiceManager(a.machine);
        a.machine.services().HoldLockElsewhereUntil(until);
    });
}

}  // namespace sim::loader
