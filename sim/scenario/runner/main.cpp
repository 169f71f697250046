// tavsetup-sim: runs tavsetup.exe on an emulated Windows machine described
// by a scenario folder, and prints what it did and showed.
//
//   tavsetup-sim <scenario-folder> [switches ...] [--write-registry FILE] [--write-files DIR] [--quiet]
//                [--show CHANNELS] [--only CHANNELS]
//
// Exit status: 0 when the run completed (whatever the tool decided), 1 for
// a wrong command line or an output that could not be written, 2 for a
// scenario that cannot be loaded, 3 for a run that stalled (the tool
// waited for something the scenario never brings, such as a click).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/formats/regfile.h"
#include "sim/machine/registry.h"
#include "sim/scenario/runner/scenario_run.h"
#include "sim/scenario/scenario.h"

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitUsage = 1;
constexpr int kExitCannotLoad = 2;
constexpr int kExitStalled = 3;

const char* const kUsage =
    "usage: tavsetup-sim <scenario-folder> [switches ...] [--write-registry FILE] [--write-files DIR] [--quiet]\n"
    "                    [--show CHANNELS] [--only CHANNELS]\n"
    "\n"
    "Runs tavsetup.exe with the switches (joined by single spaces, as its argument text; the scenario's\n"
    "\"switches\" line when none are given) on the machine the scenario folder describes, and prints the\n"
    "transcript of the run with virtual times, the changes to the registry and to drive C:, and the exit code.\n"
    "\n"
    "  --write-registry FILE  write the final registry as a REGEDIT4 file\n"
    "  --write-files DIR      write the final drive C: as a folder tree (DIR must be new or empty)\n"
    "  --quiet                print only the result (restart requests and exit code)\n"
    "  --show CHANNELS        add transcript channels to those shown, e.g. --show registry,failure, or --show all\n"
    "  --only CHANNELS        show only these transcript channels, e.g. --only dialog,msgbox\n"
    "                         (channels: dialog, msgbox, user, process, process-exit, process-post, service,\n"
    "                         device, file, session, window, and registry and failure, which are not shown\n"
    "                         unless asked for)\n"
    "  --                     everything after it is a switch for tavsetup.exe\n"
    "\n"
    "Exit status: 0 run completed, 1 wrong usage or output not written, 2 scenario not loaded, 3 run stalled.\n";

struct Arguments {
    std::string folder;
    std::vector<std::string> switches;
    std::optional<std::string> writeRegistry;
    std::optional<std::string> writeFiles;
    bool quiet = false;
    sim::TranscriptChannels channels;
};

bool ParseArguments(int argc, char** argv, Arguments* args, std::string* error) {
    bool optionsEnded = false;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (arg == "--write-registry" || arg == "--write-files")) {
            if (i + 1 >= argc) {
                *error = arg + " needs a path";
                return false;
            }
            (arg == "--write-registry" ? args->writeRegistry : args->writeFiles) = argv[++i];
            continue;
        }
        if (!optionsEnded && (arg == "--show" || arg == "--only")) {
            if (i + 1 >= argc) {
                *error = arg + " needs a list of channels";
                return false;
            }
            const std::string list = argv[++i];
            if (!(arg == "--show" ? args->channels.Show(list, error) : args->channels.Only(list, error))) return false;
            continue;
        }
        if (!optionsEnded && arg == "--quiet") {
            args->quiet = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            *error = "unknown option " + arg + " (put -- before a switch meant for tavsetup.exe)";
            return false;
        }
        if (!haveFolder) {
            args->folder = arg;
            haveFolder = true;
        } else {
            args->switches.push_back(arg);
        }
    }
    if (!haveFolder) {
        *error = "no scenario folder given";
        return false;
    }
    return true;
}

std::string JoinSwitches(const std::vector<std::string>& switches) {
    std::string text;
    for (size_t i = 0; i < switches.size(); ++i) {
        if (i) text += ' ';
        text += switches[i];
    }
    return text;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return kExitCompleted;
    }
    if (!ParseArguments(argc, argv, &args, &error)) {
        std::cerr << "tavsetup-sim: " << error << "\n\n" << kUsage;
        return kExitUsage;
    }

    if (args.writeFiles) {
        // Refused before the run, not after it.
        std::error_code ec;
        const std::filesystem::path target(*args.writeFiles);
        if (std::filesystem::exists(target, ec) &&
            (!std::filesystem::is_directory(target, ec) || !std::filesystem::is_empty(target, ec))) {
            std::cerr << "tavsetup-sim: " << *args.writeFiles << " exists and is not an empty folder\n";
            return kExitUsage;
        }
    }

    sim::ScenarioLoad load = sim::LoadScenario(args.folder);
    if (!load) {
        std::cerr << "tavsetup-sim: cannot load the scenario " << args.folder << ":\n" << load.error << "\n";
        return kExitCannotLoad;
    }
    sim::Scenario& scenario = *load.scenario;

    std::optional<std::string> commandLine;
    if (!args.switches.empty()) commandLine = JoinSwitches(args.switches);
    const sim::ScenarioRun run = sim::RunScenario(scenario, commandLine);

    std::cout << sim::FormatReport(scenario, run, args.quiet, args.channels);
    std::cout.flush();

    int status = kExitCompleted;
    if (args.writeRegistry &&
        !WriteText(*args.writeRegistry, sim::ExportRegText(scenario.machine->registry()), &error)) {
        std::cerr << "tavsetup-sim: " << error << "\n";
        status = kExitUsage;
    }
    if (args.writeFiles && !sim::WriteDriveFolder(scenario.machine->files().Snapshot(), *args.writeFiles, &error)) {
        std::cerr << "tavsetup-sim: " << error << "\n";
        status = kExitUsage;
    }
    if (run.outcome == sim::ScenarioRun::Outcome::Stalled) {
        std::cerr << "tavsetup-sim: the run stalled: the scripted user never ended the dialog.\n"
                  << run.message << "\n";
        return kExitStalled;
    }
    return status;
}
