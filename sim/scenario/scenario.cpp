#include "sim/scenario/scenario.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/processes.h"
#include "sim/formats/regfile.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "sim/base/text.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/version.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

// ---- lines and tokens ----------------------------------------------------------

// A word of a line. Double quotes group blanks into one word and may stand
// anywhere in it (desc="Zelmar Card"); "" inside quotes is one quote mark.
// Backslashes are ordinary characters, so paths and device IDs need no
// escaping.
struct Token {
    std::string text;
    bool quoted = false;            // some part of it was in quotes
    size_t eq = std::string::npos;  // the first '=' outside quotes

    bool IsOption() const { return eq != std::string::npos; }
    std::string Key() const { return Lower(text.substr(0, eq)); }
    std::string Value() const { return text.substr(eq + 1); }
};

struct Line {
    int number = 0;
    std::vector<Token> tokens;
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            if (!current.empty() && current.back() == '\r') current.pop_back();
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        if (current.back() == '\r') current.pop_back();
        lines.push_back(current);
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits a line into tokens; a '#' that starts a word (outside quotes)
// starts a comment that runs to the end of the line.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token token;
        while (i < line.size() && !IsBlank(line[i])) {
            if (line[i] == '"') {
                token.quoted = true;
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '"') {
                        if (i + 1 < line.size() && line[i + 1] == '"') {
                            token.text += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    token.text += line[i++];
                }
                if (!closed) {
                    *error = "a quoted text is not closed (a quote mark inside quotes is written \"\")";
                    return false;
                }
                continue;
            }
            if (line[i] == '=' && token.eq == std::string::npos) token.eq = token.text.size();
            token.text += line[i++];
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

// ---- values ------------------------------------------------------------------------

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

bool IsHex(const std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool ParseUnsigned(const std::string& text, unsigned long long limit, unsigned long long* value) {
    unsigned long long v = 0;
    if (!ParseNumber(text, v) || v > limit) return false;
    *value = v;
    return true;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::string current;
    for (char c : text) {
        if (c == ',') {
            items.push_back(Trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    items.push_back(Trim(current));
    return items;
}

bool IsDrivePath(const std::string& path) {
    return path.size() >= 3 && std::toupper(static_cast<unsigned char>(path[0])) == 'C' && path[1] == ':' &&
           path[2] == '\\';
}

bool IsLabel(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
    }
    return true;
}

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

struct EventName {
    const char* name;
    UINT value;
};
const EventName kDeviceEvents[] = {
    {"DBT_DEVNODES_CHANGED", DBT_DEVNODES_CHANGED},
    {"DBT_DEVICEARRIVAL", DBT_DEVICEARRIVAL},
    {"DBT_DEVICEQUERYREMOVE", DBT_DEVICEQUERYREMOVE},
    {"DBT_DEVICEREMOVECOMPLETE", DBT_DEVICEREMOVECOMPLETE},
};

bool ParseDeviceEvents(const std::string& text, std::vector<UINT>* events, std::string* error) {
    for (const std::string& item : SplitList(text)) {
        bool found = false;
        for (const EventName& e : kDeviceEvents) {
            if (EqualNoCase(item, e.name)) {
                events->push_back(e.value);
                found = true;
            }
        }
        unsigned long long number = 0;
        if (!found && ParseUnsigned(item, 0xFFFF, &number)) {
            events->push_back(static_cast<UINT>(number));
            found = true;
        }
        if (!found) {
            *error = Quoted(item) +
                     " is not a device event (DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL, DBT_DEVICEQUERYREMOVE, "
                     "DBT_DEVICEREMOVECOMPLETE or a number)";
            return false;
        }
    }
    return true;
}

// ---- options ------------------------------------------------------------------------

// The key=value options and bare flag words that follow a directive's
// fixed words.
struct Options {
    std::map<std::string, std::string> values;  // by lower-case key
    std::set<std::string> flags;                // lower-case

    bool Has(const std::string& key) const { return values.count(key) != 0; }
    bool Flag(const std::string& flag) const { return flags.count(flag) != 0; }
    std::string Get(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
};

std::string JoinWords(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        if (!out.empty()) out += ", ";
        out += w;
    }
    return out;
}

bool ParseOptions(const std::vector<Token>& tokens, size_t from, const std::vector<std::string>& keys,
                  const std::vector<std::string>& flags, Options* out, std::string* error) {
    for (size_t i = from; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.IsOption()) {
            const std::string key = t.Key();
            bool known = false;
            for (const std::string& k : keys) known = known || k == key;
            if (!known) {
                *error = "unknown option " + Quoted(key + "=") +
                         (keys.empty() ? std::string(" (this line takes none)")
                                       : " (options here: " + JoinWords(keys) + ")");
                return false;
            }
            if (out->values.count(key)) {
                *error = "option " + Quoted(key + "=") + " is given twice";
                return false;
            }
            out->values[key] = t.Value();
            continue;
        }
        const std::string word = Lower(t.text);
        bool known = false;
        for (const std::string& f : flags) known = known || (!t.quoted && f == word);
        if (!known) {
            std::vector<std::string> expected = flags;
            for (const std::string& k : keys) expected.push_back(k + "=...");
            *error = "unexpected " + Quoted(t.text) +
                     (expected.empty() ? std::string(" (nothing more belongs on this line)")
                                       : " (expected: " + JoinWords(expected) + ")");
            return false;
        }
        out->flags.insert(word);
    }
    return true;
}

// ---- the plan -----------------------------------------------------------------------

// What a scenario.txt asks for, checked but not yet applied. Steps run in
// phases: machine settings, then devices (so that later lines can name
// them), then everything else in file order.
enum Phase { kSettings = 0, kDevices = 1, kRest = 2 };

struct Applier {
    Machine& machine;
    std::map<std::string, std::string> labels;      // upper-cased label -> instance ID
    std::map<std::string, std::string> labelNames;  // upper-cased label -> label as written

    // A device named by its label or by its instance ID; "" with an error
    // when the machine does not know it.
    std::string Resolve(const std::string& reference, std::string* error) const {
        auto it = labels.find(Upper(reference));
        if (it != labels.end()) return it->second;
        if (!machine.devices().EnumKeyPath(reference)) {
            *error = "the machine has no device " + Quoted(reference) +
                     (machine.IsNt() ? " (registry.reg describes none below HKLM\\SYSTEM\\CurrentControlSet\\Enum)"
                                     : " (registry.reg describes none below HKLM\\Enum)");
            return "";
        }
        return reference;
    }
};

using Step = std::function<std::string(Applier&)>;  // returns an error, or "" when applied

struct PlannedStep {
    int line = 0;
    Phase phase = kRest;
    Step apply;
};

struct Plan {
    std::optional<WindowsVersion> version;
    int versionLine = 0;
    std::optional<std::string> windowsDir;
    std::optional<std::string> switches;
    std::vector<std::string> description;
    std::vector<PlannedStep> steps;
    std::map<std::string, int> labels;                    // upper-cased label -> line
    std::vector<std::pair<int, std::string>> references;  // (line, label) of device references
    std::set<std::string> seen;                           // directives that may appear only once
};

// A device reference: a label, or an instance ID (which holds a backslash).
std::string NoteDeviceReference(Plan& plan, int line, const std::string& reference) {
    if (reference.find('\\') != std::string::npos) return "";
    if (!IsLabel(reference)) return Quoted(reference) + " is neither a device label nor a device instance ID";
    plan.references.emplace_back(line, reference);
    return "";
}

void AddStep(Plan& plan, int line, Phase phase, Step step) { plan.steps.push_back({line, phase, std::move(step)}); }

std::string ExpectWords(const Line& line, size_t minimum, size_t maximum, const char* usage) {
    const size_t words = line.tokens.size() - 1;
    if (words < minimum || words > maximum) return std::string("expected: ") + usage;
    return "";
}

std::string Once(Plan& plan, const std::string& directive) {
    if (!plan.seen.insert(directive).second) return Quoted(directive) + " is given twice";
    return "";
}

int ButtonOrError(const std::string& name, std::string* error) {
    const int button = UserScript::ButtonFromName(name);
    if (!button) {
        *error = Quoted(name) +
                 " is not a message-box button (OK, Cancel, Abort, Retry, Ignore, Yes, No, "
                 "\"Try Again\", Continue)";
    }
    return button;
}

// ---- directives: the machine ----------------------------------------------------------

std::string ParseWindows(Plan& plan, const Line& line) {
    if (line.tokens.size() != 2) return "expected: windows <name>, one of " + VersionNames();
    if (std::string e = Once(plan, "windows"); !e.empty()) return e;
    const std::optional<WindowsVersion> version = VersionByName(line.tokens[1].text);
    if (!version) return Quoted(line.tokens[1].text) + " is not a Windows this emulator knows (" + VersionNames() + ")";
    plan.version = version;
    plan.versionLine = line.number;
    return "";
}

std::string ParseWindowsFolder(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "windows-folder C:\\<folder>"); !e.empty()) return e;
    if (std::string e = Once(plan, "windows-folder"); !e.empty()) return e;
    const std::string& dir = line.tokens[1].text;
    if (!IsDrivePath(dir)) return "the Windows folder must be a folder of drive C: (C:\\...), not " + Quoted(dir);
    plan.windowsDir = dir;
    return "";
}

std::string ParseServicePack(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "service-pack \"<text>\""); !e.empty()) return e;
    if (std::string e = Once(plan, "service-pack"); !e.empty()) return e;
    const std::string text = line.tokens[1].text;
    if (text.size() >= 128) return "the service-pack text holds at most 127 characters";
    AddStep(plan, line.number, kSettings, [text](Applier& a) {
        a.machine.csdVersion = text;
        return std::string();
    });
    return "";
}

std::string ParseProgramPath(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "program-path C:\\<folder>\\tavsetup.exe"); !e.empty()) return e;
    if (std::string e = Once(plan, "program-path"); !e.empty()) return e;
    const std::string path = line.tokens[1].text;
    if (!IsDrivePath(path)) return "the program path must be a path on drive C: (C:\\...), not " + Quoted(path);
    AddStep(plan, line.number, kSettings, [path](Applier& a) {
        a.machine.modules().programPath = path;
        return std::string();
    });
    return "";
}

std::string ParseSwitches(Plan& plan, const Line& line) {
    if (std::string e = Once(plan, "switches"); !e.empty()) return e;
    std::string text;
    for (size_t i = 1; i < line.tokens.size(); ++i) {
        if (i > 1) text += ' ';
        text += line.tokens[i].text;
    }
    plan.switches = text;
    return "";
}

std::string ParseCaller(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "caller administrator|user"); !e.empty()) return e;
    if (std::string e = Once(plan, "caller"); !e.empty()) return e;
    const std::string who = Lower(line.tokens[1].text);
    Principal principal;
    if (who == "administrator") {
        principal = Principal::Administrator;
    } else if (who == "user") {
        principal = Principal::User;
    } else {
        return "the caller is 'administrator' or 'user', not " + Quoted(line.tokens[1].text);
    }
    AddStep(plan, line.number, kSettings, [principal](Applier& a) {
        a.machine.services().caller = principal;
        return std::string();
    });
    return "";
}

std::string ParseNewdev(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "newdev present|absent|no-update-function"); !e.empty()) return e;
    if (std::string e = Once(plan, "newdev"); !e.empty()) return e;
    const std::string word = Lower(line.tokens[1].text);
    NewdevAvailability availability;
    if (word == "present") {
        availability = NewdevAvailability::Present;
    } else if (word == "absent") {
        availability = NewdevAvailability::Absent;
    } else if (word == "no-update-function") {
        availability = NewdevAvailability::LacksUpdateFunction;
    } else {
        return "newdev is 'present', 'absent' or 'no-update-function', not " + Quoted(line.tokens[1].text);
    }
    AddStep(plan, line.number, kSettings, [availability](Applier& a) {
        a.machine.modules().newdev = availability;
        return std::string();
    });
    return "";
}

std::string ParseIdleLimit(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "idle-limit <time>"); !e.empty()) return e;
    if (std::string e = Once(plan, "idle-limit"); !e.empty()) return e;
    Clock::Millis limit = 0;
    std::string error;
    if (!ParseDuration(line.tokens[1].text, &limit, &error)) return error;
    if (limit == 0) return "the idle limit must be longer than 0";
    AddStep(plan, line.number, kSettings, [limit](Applier& a) {
        a.machine.windows().SetIdleLimit(limit);
        return std::string();
    });
    return "";
}

// ---- directives: devices ---------------------------------------------------------------

std::string ParsePresence(const Options& options, bool* present) {
    if (options.Flag("present") && options.Flag("absent")) return "a device is either present or absent";
    *present = !options.Flag("absent");
    return "";
}

const std::vector<std::string> kDriverKeys = {"driver", "driver-desc", "inf", "section", "provider", "driver-instance"};

// The installed driver of a pci-adapter or pc-card line, when it has one.
std::string ParseInstalledDriver(const Options& options, std::optional<InstalledDriver>* driver) {
    if (!options.Has("driver")) {
        for (const std::string& key : kDriverKeys) {
            if (options.Has(key))
                return Quoted(key + "=") + " describes a driver: give driver=<matching device ID> too";
        }
        for (const char* key : {"netcfg", "vxd", "ntmp"}) {
            if (options.Has(key))
                return Quoted(std::string(key) + "=") + " describes a driver: give driver=<matching device ID> too";
        }
        return "";
    }
    InstalledDriver d;
    d.matchingDeviceId = options.Get("driver");
    if (d.matchingDeviceId.empty()) return "driver= needs the matching device ID of the installed driver";
    d.driverDesc = options.Get("driver-desc");
    d.infPath = options.Get("inf");
    d.infSection = options.Get("section");
    d.providerName = options.Get("provider");
    d.netCfgInstanceId = options.Get("netcfg");
    d.deviceVxDs = options.Get("vxd");
    d.ntmpDriver = options.Get("ntmp");
    d.instance = options.Get("driver-instance");
    if (!d.instance.empty() &&
        (d.instance.size() != 4 || !std::all_of(d.instance.begin(), d.instance.end(),
                                                [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))) {
        return "driver-instance= takes four digits, e.g. 0003";
    }
    *driver = d;
    return "";
}

std::string DefineLabel(Plan& plan, const Line& line, const std::string& label) {
    if (!IsLabel(label)) {
        return Quoted(label) + " cannot label a device: use letters, digits, '-', '_' and '.' (e.g. card)";
    }
    auto it = plan.labels.find(Upper(label));
    if (it != plan.labels.end())
        return "the label " + Quoted(label) + " is already used on line " + std::to_string(it->second);
    plan.labels[Upper(label)] = line.number;
    return "";
}

void AddLabelledDevice(Plan& plan, const Line& line, const std::string& label,
                       std::function<std::string(DeviceModel&)> add) {
    AddStep(plan, line.number, kDevices, [label, add](Applier& a) {
        const std::string id = add(a.machine.devices());
        if (id.empty()) return std::string("the device could not be added");
        a.labels[Upper(label)] = id;
        a.labelNames[Upper(label)] = label;
        return std::string();
    });
}

std::string ParsePciAdapter(Plan& plan, const Line& line) {
    if (line.tokens.size() < 2 || line.tokens[1].IsOption())
        return "expected: pci-adapter <label> [absent] [vendor=168C device=0012 subsys=1022168C rev=01 desc=... "
               "driver=<matching ID> ...]";
    const std::string label = line.tokens[1].text;
    if (std::string e = DefineLabel(plan, line, label); !e.empty()) return e;
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 2,
                      {"vendor", "device", "subsys", "rev", "desc", "mfg", "instance", "ids", "driver", "driver-desc",
                       "inf", "section", "provider", "netcfg", "driver-instance"},
                      {"present", "absent"}, &o, &error))
        return error;
    PciAdapter adapter;
    if (std::string e = ParsePresence(o, &adapter.present); !e.empty()) return e;
    if (o.Has("vendor")) adapter.vendor = Upper(o.Get("vendor"));
    if (o.Has("device")) adapter.device = Upper(o.Get("device"));
    if (o.Has("subsys")) adapter.subsystem = Upper(o.Get("subsys"));
    if (o.Has("rev")) adapter.revision = Upper(o.Get("rev"));
    if (!IsHex(adapter.vendor, 4)) return "vendor= takes 4 hex digits, e.g. 168C";
    if (!IsHex(adapter.device, 4)) return "device= takes 4 hex digits, e.g. 0012";
    if (!IsHex(adapter.subsystem, 8)) return "subsys= takes 8 hex digits, e.g. 1022168C";
    if (!IsHex(adapter.revision, 2)) return "rev= takes 2 hex digits, e.g. 01";
    if (o.Has("desc")) adapter.deviceDesc = o.Get("desc");
    if (o.Has("mfg")) adapter.mfg = o.Get("mfg");
    if (o.Has("instance")) {
        adapter.instanceSuffix = o.Get("instance");
        if (adapter.instanceSuffix.empty() || adapter.instanceSuffix.find('\\') != std::string::npos)
            return "instance= takes the last part of the instance ID, without backslashes (e.g. 4&1A2B3C4D&0&10F0)";
    }
    if (o.Has("ids")) {
        adapter.hardwareIds = SplitList(o.Get("ids"));
        for (const std::string& id : adapter.hardwareIds) {
            if (id.empty()) return "ids= takes hardware IDs separated by commas, none of them empty";
        }
    }
    if (std::string e = ParseInstalledDriver(o, &adapter.driver); !e.empty()) return e;
    if (o.Has("vxd") || o.Has("ntmp")) return "vxd= and ntmp= belong to pc-card lines";
    AddLabelledDevice(plan, line, label, [adapter](DeviceModel& d) { return d.AddPciAdapter(adapter); });
    return "";
}

std::string ParsePcCard(Plan& plan, const Line& line) {
    if (line.tokens.size() < 2 || line.tokens[1].IsOption())
        return "expected: pc-card <label> [absent] [id=PCMCIA\\... desc=... instance=1 driver=<matching ID> ...]";
    const std::string label = line.tokens[1].text;
    if (std::string e = DefineLabel(plan, line, label); !e.empty()) return e;
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 2,
                      {"id", "desc", "mfg", "instance", "driver", "driver-desc", "inf", "section", "provider", "netcfg",
                       "vxd", "ntmp", "driver-instance"},
                      {"present", "absent"}, &o, &error))
        return error;
    PcCard card;
    if (std::string e = ParsePresence(o, &card.present); !e.empty()) return e;
    if (o.Has("id")) card.hardwareId = o.Get("id");
    if (card.hardwareId.empty() || card.hardwareId.find('\\') == std::string::npos)
        return "id= takes a hardware ID such as PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E";
    if (o.Has("desc")) card.deviceDesc = o.Get("desc");
    if (o.Has("mfg")) card.mfg = o.Get("mfg");
    if (o.Has("instance")) {
        card.instance = o.Get("instance");
        if (card.instance.empty() || card.instance.find('\\') != std::string::npos)
            return "instance= takes the last part of the instance ID, without backslashes (e.g. 1)";
    }
    if (std::string e = ParseInstalledDriver(o, &card.driver); !e.empty()) return e;
    AddLabelledDevice(plan, line, label, [card](DeviceModel& d) { return d.AddPcCard(card); });
    return "";
}

std::string ParseDevice(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 2, "device <instance ID> [present|absent]"); !e.empty()) return e;
    const std::string id = line.tokens[1].text;
    if (id.find('\\') == std::string::npos)
        return Quoted(id) +
               " is not a device instance ID (such as PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01\\3&61AAA01&0&58)";
    bool present = true;
    if (line.tokens.size() == 3) {
        const std::string word = Lower(line.tokens[2].text);
        if (word == "absent") {
            present = false;
        } else if (word != "present") {
            return "expected 'present' or 'absent' after the instance ID, not " + Quoted(line.tokens[2].text);
        }
    }
    AddStep(plan, line.number, kDevices, [id, present](Applier& a) {
        if (!a.machine.devices().SetPresent(id, present)) {
            std::string error;
            a.Resolve(id, &error);
            return error;
        }
        return std::string();
    });
    return "";
}

std::string ParseRestartForInf(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "restart-for-inf <INF file name>"); !e.empty()) return e;
    const std::string name = line.tokens[1].text;
    AddStep(plan, line.number, kRest, [name](Applier& a) {
        a.machine.devices().RequireRestartForInf(name);
        return std::string();
    });
    return "";
}

std::string ParseRestartForDevice(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "restart-for-device <label or instance ID>"); !e.empty()) return e;
    const std::string reference = line.tokens[1].text;
    if (std::string e = NoteDeviceReference(plan, line.number, reference); !e.empty()) return e;
    AddStep(plan, line.number, kRest, [reference](Applier& a) {
        std::string error;
        const std::string id = a.Resolve(reference, &error);
        if (id.empty()) return error;
        a.machine.devices().RequireRestartForDevice(id);
        return std::string();
    });
    return "";
}

std::string ParseDriverIndex(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 0, 0, "driver-index"); !e.empty()) return e;
    if (std::string e = Once(plan, "driver-index"); !e.empty()) return e;
    AddStep(plan, line.number, kRest, [](Applier& a) {
        if (a.machine.IsNt()) return std::string("only Windows 95, 98 and Me keep a driver index (drvidx.bin)");
        a.machine.devices().BuildDriverIndex();
        return std::string();
    });
    return "";
}

// ---- directives: services ---------------------------------------------------------------

std::string ParseAccepts(const std::string& text, DWORD* accepted) {
    *accepted = 0;
    for (const std::string& item : SplitList(text)) {
        const std::string word = Lower(item);
        if (word == "stop") {
            *accepted |= SERVICE_ACCEPT_STOP;
        } else if (word == "pause-continue") {
            *accepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
        } else if (word == "shutdown") {
            *accepted |= SERVICE_ACCEPT_SHUTDOWN;
        } else if (word != "none") {
            return "accepts= takes stop, pause-continue, shutdown or none (separated by commas), not " + Quoted(item);
        }
    }
    return "";
}

std::string ParseService(Plan& plan, const Line& line) {
    if (line.tokens.size() < 3 || line.tokens[1].IsOption() || line.tokens[2].IsOption())
        return "expected: service <name> running|stopped|paused [start-delay=<time>] [stop-delay=<time>] "
               "[accepts=stop,pause-continue] [start-error=<code>]";
    const std::string name = line.tokens[1].text;
    ServiceRunState run;
    const std::string state = Lower(line.tokens[2].text);
    if (state == "running") {
        run.state = SERVICE_RUNNING;
    } else if (state == "stopped") {
        run.state = SERVICE_STOPPED;
    } else if (state == "paused") {
        run.state = SERVICE_PAUSED;
        run.controlsAccepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
    } else {
        return "a service is 'running', 'stopped' or 'paused', not " + Quoted(line.tokens[2].text);
    }
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 3, {"start-delay", "stop-delay", "accepts", "start-error"}, {}, &o, &error))
        return error;
    if (o.Has("start-delay") && !ParseDuration(o.Get("start-delay"), &run.startDelay, &error)) return error;
    if (o.Has("stop-delay") && !ParseDuration(o.Get("stop-delay"), &run.stopDelay, &error)) return error;
    if (o.Has("accepts")) {
        if (std::string e = ParseAccepts(o.Get("accepts"), &run.controlsAccepted); !e.empty()) return e;
    }
    if (o.Has("start-error")) {
        unsigned long long code = 0;
        if (!ParseUnsigned(o.Get("start-error"), 0xFFFFFFFFull, &code) || code == 0)
            return "start-error= takes a Windows error code such as 1053";
        run.startError = static_cast<DWORD>(code);
    }
    AddStep(plan, line.number, kRest, [name, run](Applier& a) {
        ServiceManager& services = a.machine.services();
        if (!services.Available()) {
            return std::string(VersionInfo(a.machine.Version()).title) + " has no service control manager";
        }
        if (!services.Exists(name)) {
            return "registry.reg has no service " + Quoted(name) +
                   " (a key below HKLM\\SYSTEM\\CurrentControlSet\\Services with a REG_DWORD \"Type\")";
        }
        services.SetRunState(name, run);
        return std::string();
    });
    return "";
}

std::string ParseServiceLock(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 2, 2, "service-lock held-until <time>|forever"); !e.empty()) return e;
    if (!EqualNoCase(line.tokens[1].text, "held-until")) return "expected: service-lock held-until <time>|forever";
    if (std::string e = Once(plan, "service-lock"); !e.empty()) return e;
    Clock::Millis until = 0;
    if (EqualNoCase(line.tokens[2].text, "forever")) {
        until = std::numeric_limits<Clock::Millis>::max();
    } else {
        std::string error;
        if (!ParseDuration(line.tokens[2].text, &until, &error)) return error;
    }
    AddStep(plan, line.number, kRest, [until](Applier& a) {
        if (!a.machine.services().Available()) {
            return std::string(VersionInfo(a.machine.Version()).title) + " has no service control manager";
        }
        a.machine.services().HoldLockElsewhereUntil(until);
        return std::string();
    });
    return "";
}

// ---- directives: programs ------------------------------------------------------------------

std::string ParseProgram(Plan& plan, const Line& line) {
    if (line.tokens.size() < 2 || line.tokens[1].IsOption())
        return "expected: program <path or file name> [keeps-running | runs=<time>] [exit=<code>]";
    const std::string program = line.tokens[1].text;
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 2, {"runs", "exit"}, {"keeps-running"}, &o, &error)) return error;
    ProgramScript script;
    if (o.Flag("keeps-running") && o.Has("runs")) return "a program either keeps running or runs for a time";
    if (o.Flag("keeps-running")) script.runsFor = std::nullopt;
    if (o.Has("runs")) {
        Clock::Millis runs = 0;
        if (!ParseDuration(o.Get("runs"), &runs, &error)) return error;
        script.runsFor = runs;
    }
    if (o.Has("exit")) {
        unsigned long long code = 0;
        if (!ParseUnsigned(o.Get("exit"), 0xFFFFFFFFull, &code)) return "exit= takes an exit code such as 0 or 1603";
        script.exitCode = static_cast<DWORD>(code);
    }
    AddStep(plan, line.number, kRest, [program, script](Applier& a) {
        a.machine.processes().ScriptProgram(program, script);
        return std::string();
    });
    return "";
}

std::string ParseRunning(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 2, "running C:\\<path> [\"<command line>\"]"); !e.empty()) return e;
    const std::string program = line.tokens[1].text;
    if (!IsDrivePath(program)) return "a running program is named by its full path on drive C:, not " + Quoted(program);
    const std::string commandLine = line.tokens.size() == 3 ? line.tokens[2].text : "";
    AddStep(plan, line.number, kRest, [program, commandLine](Applier& a) {
        a.machine.processes().StartRunning(program, commandLine);
        return std::string();
    });
    return "";
}

std::string ParseSecurityProgram(Plan& plan, const Line& line) {
    if (line.tokens.size() < 2 || line.tokens[1].IsOption())
        return "expected: security-program C:\\<path>\\ZelmSS.exe [reply=<n>] [stays-open] [running]";
    const std::string program = line.tokens[1].text;
    if (!IsDrivePath(program))
        return "the security program is named by its full path on drive C:, not " + Quoted(program);
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 2, {"reply"}, {"stays-open", "running"}, &o, &error)) return error;
    SecurityProgramScript script;
    if (o.Has("reply")) {
        unsigned long long reply = 0;
        if (!ParseUnsigned(o.Get("reply"), 0xFFFFFFFFull, &reply)) return "reply= takes a number such as 0 or 1";
        script.reply = static_cast<LRESULT>(reply);
    }
    script.closesOnStop = !o.Flag("stays-open");
    const bool running = o.Flag("running");
    AddStep(plan, line.number, kRest, [program, script, running](Applier& a) {
        if (running) {
            RunSecurityProgram(a.machine, program, script);
        } else {
            ScriptSecurityProgram(a.machine, program, script);
        }
        return std::string();
    });
    return "";
}

// ---- directives: files and keys ---------------------------------------------------------------

std::string ParseInUse(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 1, 1, "in-use C:\\<file>"); !e.empty()) return e;
    const std::string path = line.tokens[1].text;
    if (!IsDrivePath(path)) return "expected a file of drive C: (C:\\...), not " + Quoted(path);
    AddStep(plan, line.number, kRest, [path](Applier& a) {
        FileSystem& files = a.machine.files();
        if (!files.Exists(path) || files.IsFolder(path))
            return "the drive has no file " + Quoted(path) + " (put it in drive/)";
        files.SetInUse(path, true);
        return std::string();
    });
    return "";
}

std::string ParseAttributes(Plan& plan, const Line& line) {
    if (std::string e = ExpectWords(line, 2, 2, "attributes C:\\<path> read-only,hidden,system,archive"); !e.empty())
        return e;
    const std::string path = line.tokens[1].text;
    if (!IsDrivePath(path)) return "expected a path of drive C: (C:\\...), not " + Quoted(path);
    DWORD attributes = 0;
    for (const std::string& item : SplitList(line.tokens[2].text)) {
        const std::string word = Lower(item);
        if (word == "read-only") {
            attributes |= FILE_ATTRIBUTE_READONLY;
        } else if (word == "hidden") {
            attributes |= FILE_ATTRIBUTE_HIDDEN;
        } else if (word == "system") {
            attributes |= FILE_ATTRIBUTE_SYSTEM;
        } else if (word == "archive") {
            attributes |= FILE_ATTRIBUTE_ARCHIVE;
        } else if (word != "normal") {
            return "attributes are read-only, hidden, system, archive or normal (separated by commas), not " +
                   Quoted(item);
        }
    }
    AddStep(plan, line.number, kRest, [path, attributes](Applier& a) {
        FileSystem& files = a.machine.files();
        if (!files.Exists(path)) return "the drive has no " + Quoted(path) + " (put it in drive/)";
        files.SetAttributes(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        return std::string();
    });
    return "";
}

std::string ParseKeyAccess(Plan& plan, const Line& line, KeyAccess access) {
    if (std::string e = ExpectWords(line, 1, 1, "deny-write|open-access HKLM\\<key>"); !e.empty()) return e;
    const std::string key = line.tokens[1].text;
    std::string root;
    std::vector<std::string> names;
    if (!Registry::SplitKeyPath(key, &root, &names))
        return Quoted(key) + " is not a registry key path (HKLM\\Software\\...)";
    AddStep(plan, line.number, kRest, [key, access](Applier& a) {
        if (!a.machine.registry().KeyExists(key)) return "registry.reg has no key " + Quoted(key);
        a.machine.registry().SetKeyAccess(key, access);
        return std::string();
    });
    return "";
}

std::string ParseDenyWrite(Plan& plan, const Line& line) {
    return ParseKeyAccess(plan, line, KeyAccess::DenyFullAccess);
}
std::string ParseOpenAccess(Plan& plan, const Line& line) {
    return ParseKeyAccess(plan, line, KeyAccess::OpenToEveryone);
}

// ---- directives: the user -----------------------------------------------------------------------

std::string ParseAnswerRule(Plan& plan, const Line& line, bool byCaption) {
    const char* usage = byCaption ? "answer-caption \"<caption>\" <button> [after=<time>]"
                                  : "answer \"<part of the text>\" <button> [after=<time>]";
    if (line.tokens.size() < 3 || line.tokens[1].IsOption() || line.tokens[2].IsOption())
        return std::string("expected: ") + usage;
    const std::string match = line.tokens[1].text;
    if (!byCaption && match.empty()) return "an empty text would answer every message box; give a part of its text";
    std::string error;
    const int button = ButtonOrError(line.tokens[2].text, &error);
    if (!button) return error;
    Options o;
    if (!ParseOptions(line.tokens, 3, {"after"}, {}, &o, &error)) return error;
    Clock::Millis delay = 0;
    if (o.Has("after") && !ParseDuration(o.Get("after"), &delay, &error)) return error;
    AddStep(plan, line.number, kRest, [match, button, delay, byCaption](Applier& a) {
        UserScript& user = a.machine.windows().User();
        if (byCaption) {
            user.AnswerWhenCaptionIs(match, button, delay);
        } else {
            user.AnswerWhenTextContains(match, button, delay);
        }
        return std::string();
    });
    return "";
}

std::string ParseAnswer(Plan& plan, const Line& line) { return ParseAnswerRule(plan, line, false); }
std::string ParseAnswerCaption(Plan& plan, const Line& line) { return ParseAnswerRule(plan, line, true); }

std::string ParseDeviceMove(Plan& plan, const Line& line, Clock::Millis at, bool arrive) {
    const char* usage = arrive ? "at <time> arrive <label or instance ID> [extra=<events>]"
                               : "at <time> leave <label or instance ID> [extra=<events>]";
    if (line.tokens.size() < 4 || line.tokens[3].IsOption()) return std::string("expected: ") + usage;
    const std::string reference = line.tokens[3].text;
    if (std::string e = NoteDeviceReference(plan, line.number, reference); !e.empty()) return e;
    Options o;
    std::string error;
    if (!ParseOptions(line.tokens, 4, {"extra"}, {}, &o, &error)) return error;
    std::vector<UINT> extra;
    if (o.Has("extra") && !ParseDeviceEvents(o.Get("extra"), &extra, &error)) return error;
    AddStep(plan, line.number, kRest, [reference, at, arrive, extra](Applier& a) {
        std::string problem;
        const std::string id = a.Resolve(reference, &problem);
        if (id.empty()) return problem;
        if (arrive) {
            a.machine.devices().ArriveAt(at, id, extra);
        } else {
            a.machine.devices().LeaveAt(at, id, extra);
        }
        return std::string();
    });
    return "";
}

std::string ParseAt(Plan& plan, const Line& line) {
    const char* usage =
        "at <time> click <button>|press Enter|press Escape|answer <button>|end-session [logoff]|minimise|restore|"
        "arrive <device>|leave <device>";
    if (line.tokens.size() < 3) return std::string("expected: ") + usage;
    Clock::Millis at = 0;
    std::string error;
    if (!ParseDuration(line.tokens[1].text, &at, &error)) return error;
    const std::string action = Lower(line.tokens[2].text);
    const size_t extra = line.tokens.size() - 3;

    if (action == "arrive" || action == "leave") return ParseDeviceMove(plan, line, at, action == "arrive");

    std::function<void(UserScript&)> act;
    if (action == "click") {
        if (extra != 1) return "expected: at <time> click <button text or control id>";
        const Token& target = line.tokens[3];
        unsigned long long id = 0;
        if (!target.quoted && ParseUnsigned(target.text, 0xFFFF, &id)) {
            act = [at, id](UserScript& u) { u.ClickAt(at, static_cast<int>(id)); };
        } else {
            const std::string text = target.text;
            act = [at, text](UserScript& u) { u.ClickAt(at, text); };
        }
    } else if (action == "press") {
        if (extra != 1) return "expected: at <time> press Enter|Escape";
        const std::string key = Lower(line.tokens[3].text);
        if (key == "enter") {
            act = [at](UserScript& u) { u.PressEnterAt(at); };
        } else if (key == "escape" || key == "esc") {
            act = [at](UserScript& u) { u.PressEscapeAt(at); };
        } else {
            return "the user presses Enter or Escape, not " + Quoted(line.tokens[3].text);
        }
    } else if (action == "answer") {
        if (extra != 1) return "expected: at <time> answer <button>";
        const int button = ButtonOrError(line.tokens[3].text, &error);
        if (!button) return error;
        act = [at, button](UserScript& u) { u.AnswerAt(at, button); };
    } else if (action == "end-session") {
        if (extra > 1 || (extra == 1 && !EqualNoCase(line.tokens[3].text, "logoff")))
            return "expected: at <time> end-session [logoff]";
        const bool logoff = extra == 1;
        act = [at, logoff](UserScript& u) { u.EndSessionAt(at, logoff); };
    } else if (action == "minimise" || action == "minimize") {
        if (extra != 0) return "expected: at <time> minimise";
        act = [at](UserScript& u) { u.MinimiseAt(at); };
    } else if (action == "restore") {
        if (extra != 0) return "expected: at <time> restore";
        act = [at](UserScript& u) { u.RestoreAt(at); };
    } else {
        return "unknown action " + Quoted(line.tokens[2].text) + " (" + usage + ")";
    }
    AddStep(plan, line.number, kRest, [act](Applier& a) {
        act(a.machine.windows().User());
        return std::string();
    });
    return "";
}

// ---- the parser -----------------------------------------------------------------------------------

using Parser = std::string (*)(Plan&, const Line&);

struct DirectiveRow {
    const char* name;
    Parser parse;
};

const DirectiveRow kDirectives[] = {
    {"windows", ParseWindows},
    {"windows-folder", ParseWindowsFolder},
    {"service-pack", ParseServicePack},
    {"program-path", ParseProgramPath},
    {"switches", ParseSwitches},
    {"caller", ParseCaller},
    {"newdev", ParseNewdev},
    {"idle-limit", ParseIdleLimit},
    {"device", ParseDevice},
    {"pci-adapter", ParsePciAdapter},
    {"pc-card", ParsePcCard},
    {"restart-for-inf", ParseRestartForInf},
    {"restart-for-device", ParseRestartForDevice},
    {"driver-index", ParseDriverIndex},
    {"service", ParseService},
    {"service-lock", ParseServiceLock},
    {"program", ParseProgram},
    {"running", ParseRunning},
    {"security-program", ParseSecurityProgram},
    {"in-use", ParseInUse},
    {"attributes", ParseAttributes},
    {"deny-write", ParseDenyWrite},
    {"open-access", ParseOpenAccess},
    {"answer", ParseAnswer},
    {"answer-caption", ParseAnswerCaption},
    {"at", ParseAt},
};

std::string LineError(int line, const std::string& message) {
    return "scenario.txt: line " + std::to_string(line) + ": " + message;
}

// Parses and checks the whole text; every problem found is added to
// `errors`.
Plan ParsePlan(const std::string& text, std::vector<std::string>* errors) {
    Plan plan;
    // (line, message), reported in line order.
    std::vector<std::pair<int, std::string>> found;
    auto report = [&found](int line, const std::string& message) {
        found.emplace_back(line, LineError(line, message));
    };
    const std::vector<std::string> lines = SplitLines(text);
    bool inHeader = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const std::string trimmed = Trim(lines[i]);
        if (inHeader) {
            if (!trimmed.empty() && trimmed[0] == '#') {
                std::string comment = trimmed.substr(1);
                if (!comment.empty() && comment[0] == ' ') comment.erase(0, 1);
                plan.description.push_back(comment);
                continue;
            }
            if (!trimmed.empty() || !plan.description.empty()) inHeader = false;
        }
        Line line;
        line.number = number;
        std::string error;
        if (!Tokenize(lines[i], &line.tokens, &error)) {
            report(number, error);
            continue;
        }
        if (line.tokens.empty()) continue;
        const Token& head = line.tokens[0];
        const DirectiveRow* row = nullptr;
        for (const DirectiveRow& r : kDirectives) {
            if (!head.quoted && EqualNoCase(head.text, r.name)) row = &r;
        }
        if (!row) {
            report(number, "unknown directive " + Quoted(head.text) + " (see docs/scenarios.md for the directives)");
            continue;
        }
        if (std::string problem = row->parse(plan, line); !problem.empty()) {
            report(number, problem);
        }
    }
    for (const auto& [line, label] : plan.references) {
        if (!plan.labels.count(Upper(label))) {
            report(line, "no device is labelled " + Quoted(label) +
                             " (label one with a pci-adapter or pc-card line, or give an instance ID)");
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : found) errors->push_back(std::move(entry.second));
    if (!plan.seen.count("windows")) {
        errors->push_back("scenario.txt: no 'windows' line: say which Windows the machine runs (e.g. windows xp)");
    }
    return plan;
}

// One problem a line; a file that is not a scenario at all (a binary, say)
// does not flood the screen.
std::string JoinErrors(const std::vector<std::string>& errors) {
    constexpr size_t kShown = 20;
    std::string out;
    for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
        if (!out.empty()) out += '\n';
        out += errors[i];
    }
    if (errors.size() > kShown) out += "\n... and " + std::to_string(errors.size() - kShown) + " more problems";
    return out;
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

bool ParseDuration(std::string_view text, Clock::Millis* millis, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string shown = Quoted(std::string(text));
    size_t i = 0;
    Clock::Millis whole = 0;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (++digits > 12) return fail(shown + " is too long a time");
        whole = whole * 10 + static_cast<Clock::Millis>(text[i] - '0');
        ++i;
    }
    Clock::Millis fraction = 0;
    Clock::Millis scale = 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        size_t fractionDigits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (++fractionDigits > 6) return fail(shown + " has too many decimals");
            fraction = fraction * 10 + static_cast<Clock::Millis>(text[i] - '0');
            scale *= 10;
            ++i;
        }
        if (fractionDigits == 0) return fail(shown + " is not a time (write 1.5s, 12s, 1500ms, 2m)");
    }
    if (digits == 0) return fail(shown + " is not a time (write 12s, 1500ms, 2m or 1.5s)");
    const std::string unit = Lower(text.substr(i));
    Clock::Millis unitMillis = 0;
    if (unit == "ms") {
        unitMillis = 1;
    } else if (unit == "s") {
        unitMillis = 1000;
    } else if (unit == "m" || unit == "min") {
        unitMillis = 60 * 1000;
    } else if (unit == "h") {
        unitMillis = 60 * 60 * 1000;
    } else if (unit.empty()) {
        return fail(shown + " needs a unit: ms, s, m or h (e.g. 12s)");
    } else {
        return fail(shown + " has an unknown unit " + Quoted(unit) + " (ms, s, m or h)");
    }
    if ((fraction * unitMillis) % scale != 0) return fail(shown + " is not a whole number of milliseconds");
    *millis = whole * unitMillis + fraction * unitMillis / scale;
    return true;
}

ScenarioLoad BuildScenario(const std::string& scenarioText, const std::string& registryText,
                           const std::string& driveFolder) {
    ScenarioLoad result;
    std::vector<std::string> errors;
    Plan plan = ParsePlan(scenarioText, &errors);
    if (!errors.empty()) {
        result.error = JoinErrors(errors);
        return result;
    }

    auto scenario = std::make_unique<Scenario>();
    scenario->description = plan.description;
    scenario->defaultSwitches = plan.switches.value_or("");
    scenario->machine = plan.windowsDir ? std::make_unique<Machine>(*plan.version, *plan.windowsDir)
                                        : std::make_unique<Machine>(*plan.version);
    Machine& machine = *scenario->machine;

    if (RegImportResult imported = ImportRegText(machine.registry(), registryText); !imported) {
        result.error = "registry.reg: " + imported.error;
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
    for (Phase phase : {kSettings, kDevices, kRest}) {
        for (const PlannedStep& step : plan.steps) {
            if (step.phase != phase) continue;
            if (std::string problem = step.apply(applier); !problem.empty()) {
                errors.push_back(LineError(step.line, problem));
            }
        }
    }
    if (!errors.empty()) {
        result.error = JoinErrors(errors);
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
    if (!fs::is_regular_file(root / "scenario.txt", ec) || !ReadHostFile(root / "scenario.txt", &scenarioText)) {
        result.error = "no scenario.txt in " + folder;
        return result;
    }
    std::string registryText;
    if (!fs::is_regular_file(root / "registry.reg", ec) || !ReadHostFile(root / "registry.reg", &registryText)) {
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
