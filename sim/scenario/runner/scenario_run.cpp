// Running the tool on a scenario's machine and writing the report: the
// transcript (by channel), the registry and drive changes, and the result.
// A stalled run or an ended session is caught and reported; writing the
// drive to a host folder reports its failure to the caller.
#include "sim/scenario/runner/scenario_run.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/process_state.h"
#include "platform/framework/framework.h"
#include "platform/winapi.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/processes.h"
#include "sim/formats/lines.h"
#include "sim/formats/regfile.h"
#include "sim/machine/session.h"
#include "sim/base/text.h"
#include "sim/machine/version.h"
#include "sim/machine/window_errors.h"
#include "sim/scenario/words.h"

namespace sim {

namespace {

// Width of the kind column of the transcript: the longest kind
// ("process-exit") and a blank.
constexpr size_t kKindWidth = 13;

// The transcript's channels; those marked are shown only when asked for.
const Word<bool> kChannels[] = {
    {"dialog", false},  {"msgbox", false},  {"user", false},     {"process", false}, {"process-exit", false},
    {"process-post", false}, {"service", false}, {"device", false}, {"file", false},    {"session", false},
    {"window", false},  {"registry", true}, {"failure", true},
};
constexpr const char* kAllChannels = "all";

std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r') out += c;
    }
    return out;
}

// The lines of an entry's text as shown: every line break starts a line,
// also the last one (an empty text is one empty line).
std::vector<std::string> DisplayLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const TextLine& line : ReadLines(text)) lines.push_back(line.text);
    if (text.empty() || text.back() == '\n') lines.emplace_back();
    return lines;
}

std::string AttributeText(DWORD attributes) {
    std::string out;
    auto add = [&](DWORD bit, const char* name) {
        if (!(attributes & bit)) return;
        if (!out.empty()) out += ",";
        out += name;
    };
    add(FILE_ATTRIBUTE_READONLY, "read-only");
    add(FILE_ATTRIBUTE_HIDDEN, "hidden");
    add(FILE_ATTRIBUTE_SYSTEM, "system");
    add(FILE_ATTRIBUTE_ARCHIVE, "archive");
    return out.empty() ? "normal" : out;
}

DWORD VisibleAttributes(const FileEntrySnapshot& entry) {
    return entry.attributes &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
}

std::string ExitFlagsText(UINT flags) {
    std::string out;
    auto add = [&](UINT bit, const char* name) {
        if (!(flags & bit)) return;
        if (!out.empty()) out += " | ";
        out += name;
    };
    add(EWX_SHUTDOWN, "EWX_SHUTDOWN");
    add(EWX_REBOOT, "EWX_REBOOT");
    add(EWX_FORCE, "EWX_FORCE");
    add(EWX_POWEROFF, "EWX_POWEROFF");
    return out.empty() ? "EWX_LOGOFF" : out;
}

// A drive path below C:\ as parts for the host ("C:\A\b" -> A, b).
std::vector<std::string> DriveParts(const std::string& path) {
    std::string rest = path;
    if (rest.size() >= 2 && rest[1] == ':') rest.erase(0, 2);
    std::vector<std::string> parts;
    for (const std::string& part : SplitPath(rest)) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

}  // namespace

ScenarioRun RunScenario(Scenario& scenario, const std::optional<std::string>& commandLine) {
    ScenarioRun run;
    Machine& machine = *scenario.machine;
    run.commandLine = commandLine ? *commandLine : scenario.defaultSwitches;
    MachineScope scope(machine);
    run.registryBefore = machine.registry().Snapshot();
    run.filesBefore = machine.files().Snapshot();
    // Each run of the tool is a new process.
    ResetProcessState();
    try {
        run.exitCode = AfxWinMain(GetModuleHandleA(nullptr), run.commandLine.c_str());
        run.outcome = ScenarioRun::Outcome::Completed;
    } catch (const ScenarioStalled& stalled) {
        run.outcome = ScenarioRun::Outcome::Stalled;
        run.message = stalled.what();
    } catch (const SessionEnded& ended) {
        run.outcome = ScenarioRun::Outcome::SessionEnded;
        run.message = ended.what();
    }
    return run;
}

std::string FormatTime(Clock::Millis time) {
    char text[48];
    std::snprintf(text, sizeof text, "[%4llu.%03llu s]", static_cast<unsigned long long>(time / 1000),
                  static_cast<unsigned long long>(time % 1000));
    return text;
}

bool TranscriptChannels::Read(const std::string& list, std::set<std::string>* into, std::string* error) {
    for (const std::string& item : SplitList(list)) {
        const std::string name = Lower(Trim(item));
        if (name == kAllChannels) {
            all_ = true;
            continue;
        }
        if (!FindWord(kChannels, name)) {
            if (error) {
                *error = "unknown channel '" + name + "' (channels: " +
                         ListWords(kChannels, WordList::Plain, {kAllChannels}) + ")";
            }
            return false;
        }
        into->insert(name);
    }
    return true;
}

bool TranscriptChannels::Show(const std::string& list, std::string* error) { return Read(list, &shown_, error); }

bool TranscriptChannels::Only(const std::string& list, std::string* error) {
    restricted_ = true;
    return Read(list, &only_, error);
}

bool TranscriptChannels::Shows(const std::string& kind) const {
    if (all_ || shown_.count(kind)) return true;
    if (restricted_) return only_.count(kind) != 0;
    const Word<bool>* channel = FindWord(kChannels, kind);
    return !channel || !channel->value;
}

std::string FormatTranscript(const Transcript& transcript, const TranscriptChannels& channels) {
    std::string out;
    for (const TranscriptEntry& entry : transcript.Entries()) {
        if (!channels.Shows(entry.kind)) continue;
        const std::string stamp = FormatTime(entry.time) + " ";
        std::string kind = entry.kind;
        if (kind.size() < kKindWidth) kind.resize(kKindWidth, ' ');
        const std::string indent(stamp.size() + kind.size(), ' ');
        const std::vector<std::string> lines = DisplayLines(WithoutCarriageReturns(entry.text));
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string line = (i == 0 ? stamp + kind : indent) + lines[i];
            while (!line.empty() && line.back() == ' ') line.pop_back();
            out += line + "\n";
        }
    }
    return out;
}

std::vector<std::string> FileChanges(const FileSystemSnapshot& before, const FileSystemSnapshot& after) {
    std::map<std::string, const FileEntrySnapshot*> old;
    for (const FileEntrySnapshot& e : before.entries) old[Upper(e.path)] = &e;
    std::map<std::string, bool> present;
    std::vector<std::string> changes;
    for (const FileEntrySnapshot& e : after.entries) {
        const std::string key = Upper(e.path);
        present[key] = true;
        auto it = old.find(key);
        if (it == old.end() || it->second->folder != e.folder) {
            if (it != old.end()) changes.push_back("- " + it->second->path);
            std::string line = "+ " + e.path;
            if (e.folder) {
                line += (line.back() == '\\' ? "" : "\\") + std::string(" (folder)");
            } else {
                line += " (" + std::to_string(e.content.size()) + " bytes)";
            }
            if (VisibleAttributes(e)) line += " [" + AttributeText(e.attributes) + "]";
            changes.push_back(line);
            continue;
        }
        const FileEntrySnapshot& was = *it->second;
        if (!e.folder && was.content != e.content) {
            changes.push_back("~ " + e.path + ": content changed (" + std::to_string(was.content.size()) + " -> " +
                              std::to_string(e.content.size()) + " bytes)");
        }
        if (VisibleAttributes(was) != VisibleAttributes(e)) {
            changes.push_back("~ " + e.path + ": attributes " + AttributeText(was.attributes) + " -> " +
                              AttributeText(e.attributes));
        }
    }
    for (const FileEntrySnapshot& e : before.entries) {
        if (!present.count(Upper(e.path))) changes.push_back("- " + e.path + (e.folder ? "\\ (folder)" : ""));
    }
    return changes;
}

namespace {

// The transcript without the failed calls about the machine's own devices
// (the size queries and missing IDs of every device a search walks past):
// they are the machine, not what the run did to it.
Transcript WithoutStandardDeviceFailures(Machine& machine) {
    DeviceModel& devices = machine.devices();
    Transcript out;
    for (const TranscriptEntry& entry : machine.transcript.Entries()) {
        bool standard = false;
        if (entry.kind == "failure") {
            size_t start = 0;
            while (!standard && start < entry.text.size()) {
                size_t end = entry.text.find(' ', start);
                if (end == std::string::npos) end = entry.text.size();
                standard = devices.IsStandardDevice(entry.text.substr(start, end - start));
                start = end + 1;
            }
        }
        if (!standard) out.Add(entry.time, entry.kind, entry.text);
    }
    return out;
}

// What Windows carries out at its next start, as it has it stored: the
// "[rename]" lines of WININIT.INI on the 9x family (each short path with
// the entry it names), the session manager's list on NT.
std::string NextStartText(Machine& machine) {
    const std::vector<PendingFileOperation> ops = machine.files().PendingOperations();
    if (ops.empty()) return "";
    std::string out;
    if (!machine.IsNt()) {
        const std::string& windows = machine.WindowsDir();
        out += "at the next start of Windows, the [rename] lines of " + windows +
               (windows.back() == '\\' ? "" : "\\") + "WININIT.INI:\n";
        for (const PendingFileOperation& op : ops) {
            out += "  " + (op.target.empty() ? std::string("NUL") : op.target) + "=" + op.source;
            const std::optional<std::string> entry = machine.files().LongPath(op.source);
            if (!entry) {
                out += " (no such file now)";
            } else if (*entry != op.source) {
                out += " (" + *entry + ")";
            }
            out += "\n";
        }
        return out;
    }
    out += "at the next start of Windows, PendingFileRenameOperations:\n";
    for (const PendingFileOperation& op : ops) {
        out += op.target.empty() ? "  delete " + op.source + "\n" : "  move " + op.source + " -> " + op.target + "\n";
    }
    return out;
}

}  // namespace

std::string FormatReport(const Scenario& scenario, const ScenarioRun& run, bool quiet,
                         const TranscriptChannels& channels) {
    Machine& machine = *scenario.machine;
    std::string out;
    if (!quiet) {
        out += "Scenario: " + (scenario.folder.empty() ? std::string("(from text)") : scenario.folder) + "\n";
        for (const std::string& line : scenario.description) out += "  " + line + "\n";
        out += std::string("Machine: ") + VersionInfo(machine.Version()).title + ", Windows folder " +
               machine.WindowsDir() + "\n";
        out += "Command line: tavsetup.exe" + (run.commandLine.empty() ? std::string() : " " + run.commandLine) + "\n";
        out += "\n";
        out += FormatTranscript(WithoutStandardDeviceFailures(machine), channels);

        out += "\n---- registry changes ----\n";
        const std::string diff = WithoutCarriageReturns(DiffRegText(run.registryBefore, machine.registry().Snapshot()));
        const std::string header = WithoutCarriageReturns(kRegFileHeader);
        if (diff == header) {
            out += "(none)\n";
        } else {
            out += diff;
            if (out.back() != '\n') out += "\n";
        }

        out += "\n---- file changes ----\n";
        const std::vector<std::string> changes = FileChanges(run.filesBefore, machine.files().Snapshot());
        if (changes.empty()) out += "(none)\n";
        for (const std::string& line : changes) out += line + "\n";
        out += "\n";
    }

    out += "---- result ----\n";
    out += NextStartText(machine);
    for (const ExitRequest& request : machine.session().ExitRequests()) {
        out += FormatTime(request.time) + " ExitWindowsEx(" + ExitFlagsText(request.flags) + ") " +
               (request.flags & EWX_REBOOT ? "restart " : "end of session ") +
               (request.granted ? "requested" : "refused: the shutdown privilege was not held") + "\n";
    }
    for (const ProcessRecord& process : machine.processes().Processes()) {
        if (process.via == "scenario" || !process.Running()) continue;
        out += "still running: " + process.commandLine + " (started at " + FormatTime(process.started) + ")\n";
    }
    switch (run.outcome) {
        case ScenarioRun::Outcome::Completed:
            out += "tavsetup.exe ended at " + FormatTime(machine.clock.Now()) + " with exit code " +
                   std::to_string(run.exitCode) + "\n";
            break;
        case ScenarioRun::Outcome::SessionEnded:
            out += "Windows ended the session at " + FormatTime(machine.clock.Now()) +
                   "; the process ended with it: " + run.message + "\n";
            break;
        case ScenarioRun::Outcome::Stalled:
            out += "the run stalled at " + FormatTime(machine.clock.Now()) + "\n";
            break;
    }
    return out;
}

bool WriteDriveFolder(const FileSystemSnapshot& drive, const std::string& hostFolder, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root(hostFolder);
    if (fs::exists(root, ec)) {
        if (!fs::is_directory(root, ec) || !fs::is_empty(root, ec)) {
            if (error) *error = hostFolder + " exists and is not an empty folder";
            return false;
        }
    } else if (!fs::create_directories(root, ec)) {
        if (error) *error = "cannot create " + hostFolder + ": " + ec.message();
        return false;
    }
    for (const FileEntrySnapshot& entry : drive.entries) {
        const std::vector<std::string> parts = DriveParts(entry.path);
        if (parts.empty()) continue;  // the root of the drive
        fs::path target = root;
        for (const std::string& part : parts) target /= part;
        if (entry.folder) {
            fs::create_directories(target, ec);
            if (ec) {
                if (error) *error = "cannot create " + target.string() + ": " + ec.message();
                return false;
            }
            continue;
        }
        std::ofstream file(target, std::ios::binary | std::ios::trunc);
        file.write(entry.content.data(), static_cast<std::streamsize>(entry.content.size()));
        if (!file) {
            if (error) *error = "cannot write " + target.string();
            return false;
        }
    }
    return true;
}

}  // namespace sim
