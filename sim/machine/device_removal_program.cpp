// The utility's device-removal program as a scenario scripts it: it reads
// its command line the way the tool writes it, waits, and takes the device
// out when it ends (sim/machine/processes.h). It reads nothing else and
// fails in no way a caller could see: a command line it cannot use
// removes nothing.
#include <vector>

#include "sim/machine/devices/device_tree.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"

namespace sim {

namespace {

const char kRemoveSwitch[] = "-u";
// The switch, the device's name, its class and its hardware key.
constexpr size_t kRemovalArguments = 4;
constexpr size_t kKeyArgument = 3;

// The arguments as the program's start-up code splits them: at blanks,
// with double quotes around an argument that holds blanks (or nothing).
// `quoted` says, for each, whether it was written in quotes.
std::vector<std::string> SplitArguments(const std::string& text, std::vector<bool>& quoted) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        if (text[i] == '"') {
            const size_t close = text.find('"', i + 1);
            const size_t end = close == std::string::npos ? text.size() : close;
            out.push_back(text.substr(i + 1, end - i - 1));
            quoted.push_back(true);
            i = end + 1;
            continue;
        }
        const size_t end = text.find_first_of(" \t", i);
        out.push_back(text.substr(i, end == std::string::npos ? std::string::npos : end - i));
        quoted.push_back(false);
        i = end == std::string::npos ? text.size() : end;
    }
    return out;
}

}  // namespace

std::optional<std::string> RemovalProgramKey(const std::string& parameters) {
    std::vector<bool> quoted;
    const std::vector<std::string> arguments = SplitArguments(parameters, quoted);
    if (arguments.size() != kRemovalArguments || arguments[0] != kRemoveSwitch) return std::nullopt;
    for (size_t i = 1; i < kRemovalArguments; ++i) {
        if (!quoted[i]) return std::nullopt;
    }
    return arguments[kKeyArgument];
}

void ScriptDeviceRemovalProgram(Machine& machine, const std::string& program, const DeviceRemovalScript& script) {
    ProgramScript p;
    p.runsFor = script.runsFor;
    p.exitCode = script.exitCode;
    if (script.removesDevice) {
        p.onEnd = [](Machine& m, const ProcessRecord& record) {
            const std::optional<std::string> key = RemovalProgramKey(record.parameters);
            if (!key || !m.devices().EnumKeyPath(*key)) return;
            m.devices().tree().RemoveDevice(*key, DeviceTree::DriverKey::Keep);
        };
    }
    machine.processes().ScriptProgram(program, std::move(p));
}

}  // namespace sim
