// A run of tavsetup.exe on a scenario's machine, and the report a person
// reads afterwards: the transcript with virtual times, the changes to the
// registry and to drive C:, the restart request and the exit code.
//
// The run itself needs the product (it calls the framework's AfxWinMain);
// everything else here works on the emulator's records alone. A run owns
// nothing: the Scenario keeps the machine, and the run's marks stay on it.
// A run that stalls or whose session ends is reported as such, not thrown.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/scenario/scenario.h"

namespace sim {

struct ScenarioRun {
    enum class Outcome {
        Completed,     // the tool returned; exitCode holds its exit code
        SessionEnded,  // Windows ended the session and with it the process
        Stalled,       // the tool waited for something that never came
    };
    Outcome outcome = Outcome::Completed;
    std::string commandLine;  // the argument text the tool was given
    int exitCode = 0;
    std::string message;  // the emulator's report for SessionEnded and Stalled
    RegistrySnapshot registryBefore;
    FileSystemSnapshot filesBefore;
};

// Runs the tool once, as a fresh process, on the scenario's machine with
// the given argument text, or with the scenario's default switches when
// none is given. A scenario's machine is run once: its clock, registry and
// drive carry the marks of the run afterwards.
ScenarioRun RunScenario(Scenario& scenario, const std::optional<std::string>& commandLine = std::nullopt);

// "[  12.000 s]"
std::string FormatTime(Clock::Millis time);

// Which channels (kinds) of the transcript a report shows. By default the
// channels a person watching the run would see: every one but "registry"
// (each registry write and deletion) and "failure" (each failed call).
// Show adds channels; Only keeps just the channels it names (with those
// Show adds); "all" names every channel.
class TranscriptChannels {
public:
    // "registry,failure" or "all"; false with a message that lists the
    // channels when a name is none of them.
    bool Show(const std::string& list, std::string* error);
    bool Only(const std::string& list, std::string* error);
    bool Shows(const std::string& kind) const;

private:
    bool Read(const std::string& list, std::set<std::string>* into, std::string* error);

    bool all_ = false;
    bool restricted_ = false;
    std::set<std::string> shown_;
    std::set<std::string> only_;
};

// Every transcript line of the channels shown, with its time and kind; the
// further lines of a multi-line entry (a dialog as shown, a message box
// text) are indented under its first.
std::string FormatTranscript(const Transcript& transcript, const TranscriptChannels& channels = {});

// What changed on drive C:, one line each: "+ path (N bytes)" for a new
// file, "+ path\ (folder)", "- path" for one that went, "~ path: ..." for
// new content or attributes.
std::vector<std::string> FileChanges(const FileSystemSnapshot& before, const FileSystemSnapshot& after);

// The whole report of a run: the scenario's description and command line,
// the transcript, the registry changes (.reg text), the file changes, the
// restart requests and the exit code. `quiet` keeps only the last part;
// `channels` chooses the transcript's lines.
std::string FormatReport(const Scenario& scenario, const ScenarioRun& run, bool quiet = false,
                         const TranscriptChannels& channels = {});

// Writes the drive as a real folder tree below `hostFolder` (C:\A\b.txt
// becomes <hostFolder>/A/b.txt). The folder must be new or empty, so that
// nothing of an earlier run is mixed in.
bool WriteDriveFolder(const FileSystemSnapshot& drive, const std::string& hostFolder, std::string* error);

}  // namespace sim
