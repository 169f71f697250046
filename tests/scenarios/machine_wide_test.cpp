// One machine-wide check over every shipped example: the registry and the
// drive after the run differ from the start only by the keys, values and
// files that the jobs of its command line name.
//
// kJobs below is the table to extend for a new job: its switch words and
// the patterns of what it may change. A registry change is written as the
// key ("HKEY_LOCAL_MACHINE\SOFTWARE\Zelmar") or as the key and a value
// name in quotes ("HKEY_LOCAL_MACHINE\SOFTWARE\Zelmar\TavarinApp
// "HardwareID""); a key added or deleted counts with every key and value
// below it. A file change is its full path; so is each file that Windows
// is to delete or move at its next start. Patterns ignore case; '*' stands
// for any text, backslashes included; %WINDIR% is the machine's Windows
// folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "sim/base/text.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/scenario/runner/scenario_run.h"
#include "sim/scenario/scenario.h"

namespace {

const std::string kExamples = TAV_EXAMPLES_DIR;

struct JobChanges {
    // The switch words that select the job ("" for every run).
    std::vector<std::string> switches;
    std::vector<std::string> registry;
    std::vector<std::string> files;
};

const char* const kEnumNt = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
const char* const kNetClassNt =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\*";
const char* const kNetClass9x = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\*";
const char* const kCmNodes = "HKEY_DYN_DATA\\Config Manager\\Enum\\*";
const char* const kPending =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager \"PendingFileRenameOperations\"";

const std::vector<JobChanges> kJobs = {
    // Every run on a supported Windows: the utility's key.
    {{""},
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\TavarinApp"},
     {}},
    // The install job: the product key's values, the setup source and source
    // list, the protocol driver service, the adapter's driver as Windows
    // installs it, Windows XP's wireless configuration flag; the staged and
    // copied INFs and catalogs and the 9x driver index.
    {{"install", "installb"},
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\* \"InstallDriver\"", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\* \"HardwareID\"",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup \"SourcePath\"",
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup*",
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W32NDIS5*", std::string(kEnumNt) + "*", kNetClassNt,
      "HKEY_LOCAL_MACHINE\\Enum\\*", kNetClass9x, kCmNodes,
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\*",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\* \"ControlFlags\""},
     {"%WINDIR%\\inf\\oem*", "%WINDIR%\\inf\\net*.inf", "%WINDIR%\\inf\\ntzl11ab.inf", "%WINDIR%\\inf\\drv*.bin",
      "%WINDIR%\\system32\\CatRoot", "%WINDIR%\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}",
      "%WINDIR%\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem*",
      "%WINDIR%\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\n*.cat"}},
    // The uninstall job: the dynamic settings, Windows XP's supplicant mode,
    // the Zelmar adapter with its driver key and nodes; the utility's data
    // files and shortcuts, the INF copy, the package INF, driver image and
    // catalog, and what is left for the next start.
    {{"uninstall", "uninstallb"},
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\* \"Dynamic*\"",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\SolvaneSecurity \"VID*\"",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\EAPOL\\Parameters\\General\\Global \"SupplicantMode\"",
      std::string(kEnumNt) + "PCI\\VEN_168C&*", "HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_168C&*",
      "HKEY_LOCAL_MACHINE\\Enum\\PCMCIA\\*", kNetClassNt, kNetClass9x, kCmNodes,
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\*\\Enum\\PCI\\VEN_168C&*", kPending},
     {"*\\_tavarin.dat", "*\\_dusklin.dat", "*\\profile.pro", "*\\Tavarin 802.11.lnk", "*\\Tavarin 802.11 Help.lnk",
      "*\\Start Menu\\Programs\\Zelmar", "%WINDIR%\\inf\\*.inf", "%WINDIR%\\system32\\drivers\\ntzl11ab.sys",
      "%WINDIR%\\system32\\drivers\\zelm11a.sys",
      "%WINDIR%\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\n*.cat", "%WINDIR%\\WININIT.INI"}},
    // The driver upgrade: on the NT family the adapter's driver key and
    // Enum key as "newdev" rewrites them, the INF copy and catalog Windows
    // makes, and the restart that takes the adapter out of Windows XP's
    // wireless configuration; on 98 SE / Me the driver entries of the
    // network class instances.
    {{"Upgrade"},
     {std::string(kEnumNt) + "PCI\\VEN_168C&*", kNetClassNt,
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\*",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\* \"ControlFlags\"",
      std::string(kNetClass9x) + " \"DeviceVxDs\"", std::string(kNetClass9x) + " \"NTMPDriver\""},
     {"%WINDIR%\\inf\\oem*", "%WINDIR%\\system32\\CatRoot", "%WINDIR%\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}",
      "%WINDIR%\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem*"}},
    // The staged security library put in place.
    {{"UpgradeFiles"}, {}, {"%WINDIR%\\SYSTEM\\ZLMSecurity.dll", "%WINDIR%\\SYSTEM\\ZLMSecurity.new"}},
    // The Solvane application's removal: its uninstall entry and key, its
    // shortcuts and program folder, and what is left for the next start.
    {{"UninstallSolvane"},
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Solvane 802.11a*",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\SolvaneApp*", kPending},
     {"*\\Solvane 802.11a.lnk", "*\\Solvane 802.11a Help.lnk", "*\\Start Menu\\Programs\\Zelmar",
      "C:\\Program Files\\Zelmar\\Solvane 802.11a*", "%WINDIR%\\WININIT.INI"}},
};

bool Matches(const std::string& pattern, size_t p, const std::string& text, size_t t) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            for (size_t k = t; k <= text.size(); ++k) {
                if (Matches(pattern, p + 1, text, k)) return true;
            }
            return false;
        }
        if (t >= text.size() || sim::UpperChar(pattern[p]) != sim::UpperChar(text[t])) return false;
        ++p;
        ++t;
    }
    return t == text.size();
}

// ---- the differences of a run ----------------------------------------------------------

using KeyMap = std::map<std::string, const sim::RegistryKeySnapshot*>;

// Every key below `key` by its upper-cased full path.
void Flatten(const sim::RegistryKeySnapshot& key, const std::string& path, KeyMap& out) {
    out[sim::Upper(path)] = &key;
    for (const sim::RegistryKeySnapshot& sub : key.subKeys) Flatten(sub, path + "\\" + sub.name, out);
}

KeyMap Keys(const sim::RegistrySnapshot& snapshot) {
    KeyMap out;
    for (const sim::RegistryKeySnapshot& root : snapshot.roots) Flatten(root, root.name, out);
    return out;
}

// The keys and values that differ, as "KEY" and "KEY "name"" (upper case).
std::set<std::string> RegistryDifferences(const sim::RegistrySnapshot& before, const sim::RegistrySnapshot& after) {
    const KeyMap was = Keys(before);
    const KeyMap is = Keys(after);
    std::set<std::string> out;
    auto values = [](const sim::RegistryKeySnapshot* key) {
        std::map<std::string, const sim::RegValue*> byName;
        if (key) {
            for (const sim::RegValue& v : key->values) byName[sim::Upper(v.name)] = &v;
        }
        return byName;
    };
    std::set<std::string> paths;
    for (const auto& entry : was) paths.insert(entry.first);
    for (const auto& entry : is) paths.insert(entry.first);
    for (const std::string& path : paths) {
        const auto w = was.find(path);
        const auto i = is.find(path);
        const sim::RegistryKeySnapshot* oldKey = w == was.end() ? nullptr : w->second;
        const sim::RegistryKeySnapshot* newKey = i == is.end() ? nullptr : i->second;
        if (!oldKey || !newKey || oldKey->access != newKey->access) out.insert(path);
        const auto oldValues = values(oldKey);
        const auto newValues = values(newKey);
        std::set<std::string> names;
        for (const auto& v : oldValues) names.insert(v.first);
        for (const auto& v : newValues) names.insert(v.first);
        for (const std::string& name : names) {
            const auto o = oldValues.find(name);
            const auto n = newValues.find(name);
            if (o == oldValues.end() || n == newValues.end() || !(*o->second == *n->second)) {
                out.insert(path + " \"" + name + "\"");
            }
        }
    }
    return out;
}

std::set<std::string> FileDifferences(const sim::FileSystemSnapshot& before, const sim::FileSystemSnapshot& after) {
    std::map<std::string, const sim::FileEntrySnapshot*> was;
    std::map<std::string, const sim::FileEntrySnapshot*> is;
    for (const sim::FileEntrySnapshot& e : before.entries) was[sim::Upper(e.path)] = &e;
    for (const sim::FileEntrySnapshot& e : after.entries) is[sim::Upper(e.path)] = &e;
    std::set<std::string> out;
    for (const auto& [path, entry] : was) {
        const auto now = is.find(path);
        if (now == is.end() || !(*now->second == *entry)) out.insert(entry->path);
    }
    for (const auto& [path, entry] : is) {
        if (!was.count(path)) out.insert(entry->path);
    }
    return out;
}

std::vector<std::string> ExampleFolders() {
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
        if (entry.is_directory()) folders.push_back(entry.path().filename().string());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

TEST(MachineWideCheck, EveryExampleChangesOnlyWhatItsJobsName) {
    const std::vector<std::string> folders = ExampleFolders();
    ASSERT_FALSE(folders.empty());
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        sim::ScenarioLoad load = sim::LoadScenario(kExamples + "/" + folder);
        ASSERT_TRUE(load) << load.error;
        sim::Scenario& scenario = *load.scenario;
        const sim::ScenarioRun run = sim::RunScenario(scenario);
        ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;

        std::vector<std::string> registryPatterns;
        std::vector<std::string> filePatterns;
        const std::string& windows = scenario.machine->WindowsDir();
        for (const JobChanges& job : kJobs) {
            bool selected = false;
            for (const std::string& word : job.switches) {
                selected = selected || word.empty() || HasSwitchIn(run.commandLine.c_str(), word);
            }
            if (!selected) continue;
            registryPatterns.insert(registryPatterns.end(), job.registry.begin(), job.registry.end());
            for (std::string pattern : job.files) {
                const size_t at = pattern.find("%WINDIR%");
                if (at != std::string::npos) pattern.replace(at, 8, windows);
                filePatterns.push_back(pattern);
            }
        }
        auto named = [](const std::vector<std::string>& patterns, const std::string& change) {
            for (const std::string& pattern : patterns) {
                if (Matches(pattern, 0, change, 0)) return true;
            }
            return false;
        };
        for (const std::string& change : RegistryDifferences(run.registryBefore, scenario.machine->registry().Snapshot())) {
            EXPECT_TRUE(named(registryPatterns, change)) << "registry: " << change;
        }
        for (const std::string& change : FileDifferences(run.filesBefore, scenario.machine->files().Snapshot())) {
            EXPECT_TRUE(named(filePatterns, change)) << "file: " << change;
        }
        // What is left for the next start of Windows is a change of the
        // files it names (by their long names, when they still exist).
        sim::FileSystem& files = scenario.machine->files();
        for (const sim::PendingFileOperation& op : files.PendingOperations()) {
            for (const std::string& path : {op.source, op.target}) {
                if (path.empty()) continue;
                const std::string entry = files.LongPath(path).value_or(path);
                EXPECT_TRUE(named(filePatterns, entry)) << "at the next start: " << entry;
            }
        }
    }
}

}  // namespace
