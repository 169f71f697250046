// Loading a scenario: reading scenario.txt into a Plan through the table
// of directives, then building the machine from the plan, registry.reg and
// drive/. The Scenario owns the machine it returns; a load that finds any
// problem returns no scenario and every problem found, and the machine it
// had begun to build is discarded.
#include "sim/scenario/scenario.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "sim/base/text.h"
#include "sim/formats/lines.h"
#include "sim/formats/regfile.h"
#include "sim/machine/filesystem.h"
#include "sim/scenario/plan.h"

namespace sim {

namespace {

using namespace loader;

constexpr const char* kScenarioFile = "scenario.txt";
constexpr const char* kRegistryFile = "registry.reg";

const sim::Word<Reader> kDirectives[] = {
    {"windows", ReadWindows},
    {"windows-folder", ReadWindowsFolder},
    {"machine", ReadMachine},
    {"service-pack", ReadServicePack},
    {"program-path", ReadProgramPath},
    {"switches", ReadSwitches},
    {"caller", ReadCaller},
    {"newdev", ReadNewdev},
    {"idle-limit", ReadIdleLimit},
    {"device", ReadDevice},
    {"pci-adapter", ReadPciAdapter},
    {"pc-card", ReadPcCard},
    {"restart-for-inf", ReadRestartForInf},
    {"restart-for-device", ReadRestartForDevice},
    {"driver-index", ReadDriverIndex},
    {"service", ReadService},
    {"service-lock", ReadServiceLock},
    {"program", ReadProgram},
    {"running", ReadRunning},
    {"security-program", ReadSecurityProgram},
    {"removal-program", ReadRemovalProgram},
    {"in-use", ReadInUse},
    {"attributes", ReadAttributes},
    {"deny-write", ReadDenyWrite},
    {"open-access", ReadOpenAccess},
    {"answer", ReadAnswer},
    {"answer-caption", ReadAnswerCaption},
    {"at", ReadAt},
    {"fail", ReadFail},
};

// The problems of a load, each with the line it concerns, reported in line
// order and in short: a file that is not a scenario at all (a binary, say)
// does not flood the screen.
class Problems {
public:
    void Add(int line, const std::string& message) {
        found_.emplace_back(line, LineMessage(kScenarioFile, line, message));
    }
    void AddUnnumbered(std::string message) { found_.emplace_back(kUnnumbered, std::move(message)); }
    bool Empty() const { return found_.empty(); }

    std::string Text() {
        constexpr size_t kShown = 20;
        std::stable_sort(found_.begin(), found_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string out;
        for (size_t i = 0; i < found_.size() && i < kShown; ++i) {
            if (!out.empty()) out += '\n';
            out += found_[i].second;
        }
        if (found_.size() > kShown) out += "\n... and " + std::to_string(found_.size() - kShown) + " more problems";
        return out;
    }

private:
    // After every numbered problem.
    static constexpr int kUnnumbered = 1 << 30;
    std::vector<std::pair<int, std::string>> found_;
};

// The comment lines at the top of the text describe the scenario: they
// are taken off and kept, without their '#' and one blank after it.
bool TakeDescription(const std::string& trimmed, bool* inHeader, std::vector<std::string>* description) {
    if (!*inHeader) return false;
    if (!trimmed.empty() && trimmed[0] == '#') {
        std::string comment = trimmed.substr(1);
        if (!comment.empty() && comment[0] == ' ') comment.erase(0, 1);
        description->push_back(comment);
        return true;
    }
    if (!trimmed.empty() || !description->empty()) *inHeader = false;
    return false;
}

void ReadLine(Plan& plan, const Line& line) {
    const Token& head = line.tokens[0];
    const sim::Word<Reader>* directive = head.quoted ? nullptr : FindWord(kDirectives, head.text);
    if (!directive) Refuse("unknown directive " + Quoted(head.text) + " (see docs/scenarios.md for the directives)");
    directive->value(plan, line);
}

// Reads and checks the whole text; every problem found is added to
// `problems`.
Plan ReadPlan(const std::string& text, Problems& problems) {
    Plan plan;
    bool inHeader = true;
    for (const TextLine& textLine : ReadLines(text)) {
        if (TakeDescription(Trim(textLine.text), &inHeader, &plan.description)) continue;
        try {
            Line line{textLine.number, Tokenize(textLine.text)};
            if (!line.tokens.empty()) ReadLine(plan, line);
        } catch (const Problem& problem) {
            problems.Add(textLine.number, problem.what());
        }
    }
    for (const auto& [line, label] : plan.references) {
        if (!plan.labels.count(Upper(label))) {
            problems.Add(line, "no device is labelled " + Quoted(label) +
                                   " (label one with a pci-adapter or pc-card line, or give an instance ID)");
        }
    }
    if (!plan.seen.count("windows")) {
        problems.AddUnnumbered("scenario.txt: no 'windows' line: say which Windows the machine runs (e.g. windows xp)");
    }
    return plan;
}

// The one place a scenario's machine is made: with the standard devices of
// its Windows, or without them when "machine bare" asks.
std::unique_ptr<Machine> MakeMachine(const Plan& plan) {
    const Furnishing furnishing = plan.bareMachine ? Furnishing::Bare : Furnishing::Standard;
    return plan.windowsDir ? std::make_unique<Machine>(*plan.version, *plan.windowsDir, furnishing)
                           : std::make_unique<Machine>(*plan.version, furnishing);
}

void Apply(const Plan& plan, Applier& applier, Problems& problems) {
    for (Phase phase : {kSettings, kDevices, kRest}) {
        for (const PlannedStep& step : plan.steps) {
            if (step.phase != phase) continue;
            try {
                step.apply(applier);
            } catch (const Problem& problem) {
                problems.Add(step.line, problem.what());
            }
        }
    }
}

bool ReadHostFile(const std::filesystem::path& path, std::string* content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    *content = text.str();
    return true;
}

}  // namespace

ScenarioLoad BuildScenario(const std::string& scenarioText, const std::string& registryText,
                           const std::string& driveFolder) {
    ScenarioLoad result;
    Problems problems;
    const Plan plan = ReadPlan(scenarioText, problems);
    if (!problems.Empty()) {
        result.error = problems.Text();
        return result;
    }

    auto scenario = std::make_unique<Scenario>();
    scenario->description = plan.description;
    scenario->defaultSwitches = plan.switches.value_or("");
    scenario->bareMachine = plan.bareMachine;
    scenario->machine = MakeMachine(plan);
    Machine& machine = *scenario->machine;

    if (RegImportResult imported = ImportRegText(machine.registry(), registryText, kRegistryFile); !imported) {
        result.error = imported.error;
        return result;
    }
    if (!driveFolder.empty()) {
        std::string error;
        if (!machine.files().ImportHostFolder(driveFolder, "C:\\", &error)) {
            result.error = "drive: " + error;
            return result;
        }
    }

    Applier applier{machine, {}, {}};
    Apply(plan, applier, problems);
    if (!problems.Empty()) {
        result.error = problems.Text();
        return result;
    }
    for (const auto& [upper, id] : applier.labels) scenario->devices[applier.labelNames[upper]] = id;
    // The run's transcript starts with the tool.
    machine.transcript.Clear();
    result.scenario = std::move(scenario);
    return result;
}

ScenarioLoad LoadScenario(const std::string& folder) {
    ScenarioLoad result;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root(folder);
    if (!fs::is_directory(root, ec)) {
        result.error = "no scenario folder " + folder;
        return result;
    }
    std::string scenarioText;
    if (!fs::is_regular_file(root / kScenarioFile, ec) || !ReadHostFile(root / kScenarioFile, &scenarioText)) {
        result.error = "no scenario.txt in " + folder;
        return result;
    }
    std::string registryText;
    if (!fs::is_regular_file(root / kRegistryFile, ec) || !ReadHostFile(root / kRegistryFile, &registryText)) {
        result.error = "no registry.reg in " + folder +
                       " (a machine with only the standard keys needs a file "
                       "holding just the line REGEDIT4)";
        return result;
    }
    std::string drive;
    if (fs::exists(root / "drive", ec)) {
        if (!fs::is_directory(root / "drive", ec)) {
            result.error = (root / "drive").string() + " is not a folder";
            return result;
        }
        drive = (root / "drive").string();
    }
    result = BuildScenario(scenarioText, registryText, drive);
    if (result.scenario) result.scenario->folder = folder;
    return result;
}

}  // namespace sim
