// Directives about the machine itself: which Windows, its folder, service
// pack and devices at start, the tool's path and command line, who runs
// it, and how long the run may idle. Most may be given once; a second line
// is refused, as is a word the directive does not take.
#include "sim/base/text.h"
#include "sim/machine/modules.h"
#include "sim/machine/services.h"
#include "sim/machine/window_manager.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

// szCSDVersion holds 128 characters with its NUL.
constexpr size_t kMostServicePackCharacters = 127;

const sim::Word<Principal> kCallers[] = {
    {"administrator", Principal::Administrator},
    {"user", Principal::User},
};

const sim::Word<NewdevAvailability> kNewdev[] = {
    {"present", NewdevAvailability::Present},
    {"absent", NewdevAvailability::Absent},
    {"no-update-function", NewdevAvailability::LacksUpdateFunction},
};

std::string VersionNames() {
    std::string names;
    for (WindowsVersion v : {WindowsVersion::Win95, WindowsVersion::Win95OSR2, WindowsVersion::NT351,
                             WindowsVersion::NT4, WindowsVersion::Win98, WindowsVersion::Win98SE, WindowsVersion::WinMe,
                             WindowsVersion::Win2000, WindowsVersion::WinXP, WindowsVersion::Server2003}) {
        if (!names.empty()) names += ", ";
        names += VersionInfo(v).name;
    }
    return names;
}

}  // namespace

void ReadWindows(Plan& plan, const Line& line) {
    if (line.Words() != 1) Refuse("expected: windows <name>, one of " + VersionNames());
    Once(plan, "windows");
    const std::optional<WindowsVersion> version = VersionByName(line.Word(1));
    if (!version) Refuse(Quoted(line.Word(1)) + " is not a Windows this emulator knows (" + VersionNames() + ")");
    plan.version = version;
}

void ReadWindowsFolder(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "windows-folder C:\\<folder>");
    Once(plan, "windows-folder");
    const std::string& dir = line.Word(1);
    if (!IsDrivePath(dir)) Refuse("the Windows folder must be a folder of drive C: (C:\\...), not " + Quoted(dir));
    plan.windowsDir = dir;
}

// "machine bare": the machine as it was before machines came with standard
// devices; the builder passes the request on where the machine is made.
void ReadMachine(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "machine bare");
    Once(plan, "machine");
    if (!EqualNoCase(line.Word(1), "bare")) {
        Refuse("the machine is 'bare' (without the standard devices of a fresh machine), not " +
               Quoted(line.Word(1)));
    }
    plan.bareMachine = true;
}

void ReadServicePack(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "service-pack \"<text>\"");
    Once(plan, "service-pack");
    const std::string text = line.Word(1);
    if (text.size() > kMostServicePackCharacters) Refuse("the service-pack text holds at most 127 characters");
    AddStep(plan, line, kSettings, [text](Applier& a) { a.machine.csdVersion = text; });
}

void ReadProgramPath(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "program-path C:\\<folder>\\tavsetup.exe");
    Once(plan, "program-path");
    const std::string path = line.Word(1);
    if (!IsDrivePath(path)) Refuse("the program path must be a path on drive C: (C:\\...), not " + Quoted(path));
    AddStep(plan, line, kSettings, [path](Applier& a) { a.machine.modules().programPath = path; });
}

void ReadSwitches(Plan& plan, const Line& line) {
    Once(plan, "switches");
    std::string text;
    for (size_t i = 1; i < line.tokens.size(); ++i) {
        if (i > 1) text += ' ';
        text += line.Word(i);
    }
    plan.switches = text;
}

void ReadCaller(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "caller administrator|user");
    Once(plan, "caller");
    const Principal principal = Choose(kCallers, line.Word(1), "the caller is ", WordList::Quoted);
    AddStep(plan, line, kSettings, [principal](Applier& a) { a.machine.services().caller = principal; });
}

void ReadNewdev(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "newdev present|absent|no-update-function");
    Once(plan, "newdev");
    const NewdevAvailability availability = Choose(kNewdev, line.Word(1), "newdev is ", WordList::Quoted);
    AddStep(plan, line, kSettings, [availability](Applier& a) { a.machine.modules().newdev = availability; });
}

void ReadIdleLimit(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "idle-limit <time>");
    Once(plan, "idle-limit");
    const Clock::Millis limit = Duration(line.Word(1));
    if (limit == 0) Refuse("the idle limit must be longer than 0");
    AddStep(plan, line, kSettings, [limit](Applier& a) { a.machine.windows().SetIdleLimit(limit); });
}

}  // namespace sim::loader
