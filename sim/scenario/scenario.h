// Scenarios: a whole emulated machine described by a folder, so that a run
// of the tool can be replayed from files a person can read and edit.
//
//   <folder>/registry.reg   the registry as REGEDIT4 text, imported over the
//                           standard keys of a fresh machine of that Windows
//   <folder>/drive/         the files of drive C: (optional), copied onto its root
//   <folder>/scenario.txt   everything else, one directive a line
//
// scenario.txt, in short (docs/scenarios.md has the whole list):
//
//   # What this scenario shows: comment lines at the top describe it.
//   windows xp                        # a name of VersionByName: 98se, me, nt4, 2000, xp, ...
//   switches -install                 # the command line when the runner is given none
//   pci-adapter card absent           # a PCI adapter labelled "card", not yet in its slot
//   service WZCSVC running            # a service of registry.reg and its run state
//   program tavarin.exe keeps-running # how a program behaves once started
//   at 12s arrive card                # the card is inserted 12 s into the run
//   at 20s click Close                # the user's script
//   answer "restarted" Yes            # a standing answer to message boxes
//   fail CopyFileA C:\x.inf ERROR_SHARING_VIOLATION once   # a failure on demand
//
// Loading is all or nothing: scenario.txt is parsed and checked in full,
// then a new machine is built from the three parts; any error (a malformed
// line of either text file, a device or key or file a line names that the
// machine does not have) discards the machine, so nothing half-loaded is
// ever run. Errors name the file and line ("scenario.txt: line 7: ...").
// The returned Scenario owns its machine.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/machine/clock.h"
#include "sim/machine/machine.h"

namespace sim {

struct Scenario {
    // The folder it was loaded from ("" when built from texts).
    std::string folder;
    // The comment lines at the top of scenario.txt, without their '#'.
    std::vector<std::string> description;
    // The switches of the "switches" line: the command line of a run that
    // is given none ("" when there is no such line).
    std::string defaultSwitches;
    // Devices added by a "pci-adapter" or "pc-card" line: label -> instance
    // ID (hardware key on the 9x family).
    std::map<std::string, std::string> devices;
    // "machine bare": the machine was asked for without the standard
    // devices of a fresh machine.
    bool bareMachine = false;
    // The machine, ready to run: registry, drive, devices, services,
    // programs and the user's script in place, its clock at 0.
    std::unique_ptr<Machine> machine;
};

struct ScenarioLoad {
    std::unique_ptr<Scenario> scenario;  // null when the scenario cannot be loaded
    // One line per problem found: "scenario.txt: line 7: ...",
    // "registry.reg: line 12: ...", or about the folder itself.
    std::string error;

    explicit operator bool() const { return scenario != nullptr; }
};

// Loads the scenario folder.
ScenarioLoad LoadScenario(const std::string& folder);

// The same from the texts of scenario.txt and registry.reg, with an
// optional host folder for drive C: (empty: none).
ScenarioLoad BuildScenario(const std::string& scenarioText, const std::string& registryText,
                           const std::string& driveFolder = "");

// A duration as scenarios write it: "12s", "1500ms", "2m", "1.5s", "1h".
// The unit is required; the value must come to whole milliseconds.
bool ParseDuration(std::string_view text, Clock::Millis* millis, std::string* error = nullptr);

}  // namespace sim
