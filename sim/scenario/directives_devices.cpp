// Directives about devices: devices registry.reg describes (device), new
// PCI adapters and PC Cards with their labels and installed drivers,
// arrivals and departures during the run, restarts a driver install needs,
// and the 9x family's driver index. A label is checked once the whole text
// is read; a device the machine lacks is refused when the plan is applied.
#include <algorithm>
#include <cctype>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

const sim::Word<UINT> kDeviceEvents[] = {
    {"DBT_DEVNODES_CHANGED", DBT_DEVNODES_CHANGED},
    {"DBT_DEVICEARRIVAL", DBT_DEVICEARRIVAL},
    {"DBT_DEVICEQUERYREMOVE", DBT_DEVICEQUERYREMOVE},
    {"DBT_DEVICEREMOVECOMPLETE", DBT_DEVICEREMOVECOMPLETE},
};

const sim::Word<bool> kPresence[] = {
    {"present", true},
    {"absent", false},
};

constexpr unsigned long long kMostEvent = 0xFFFF;  // a WPARAM event code a broadcast carries

std::vector<UINT> DeviceEvents(const std::string& list) {
    std::vector<UINT> events;
    for (const std::string& item : SplitList(list)) {
        if (const sim::Word<UINT>* event = FindWord(kDeviceEvents, item)) {
            events.push_back(event->value);
        } else if (const auto number = Unsigned(item, kMostEvent)) {
            events.push_back(static_cast<UINT>(*number));
        } else {
            Refuse(Quoted(item) + " is not a device event (" +
                   ListWords(kDeviceEvents, WordList::Plain, {"a number"}) + ")");
        }
    }
    return events;
}

bool Present(const Options& options) {
    if (options.Flag("present") && options.Flag("absent")) Refuse("a device is either present or absent");
    return !options.Flag("absent");
}

const std::vector<std::string> kDriverKeys = {"driver", "driver-desc", "inf",  "section", "provider",
                                              "driver-instance", "netcfg", "vxd", "ntmp"};

bool IsDriverInstance(const std::string& text) {
    return text.size() == 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The installed driver of a pci-adapter or pc-card line, when it has one.
std::optional<InstalledDriver> ReadInstalledDriver(const Options& options) {
    if (!options.Has("driver")) {
        for (const std::string& key : kDriverKeys) {
            if (options.Has(key)) Refuse(Quoted(key + "=") + " describes a driver: give driver=<matching device ID> too");
        }
        return std::nullopt;
    }
    InstalledDriver d;
    d.matchingDeviceId = options.Get("driver");
    if (d.matchingDeviceId.empty()) Refuse("driver= needs the matching device ID of the installed driver");
    d.driverDesc = options.Get("driver-desc");
    d.infPath = options.Get("inf");
    d.infSection = options.Get("section");
    d.providerName = options.Get("provider");
    d.netCfgInstanceId = options.Get("netcfg");
    d.deviceVxDs = options.Get("vxd");
    d.ntmpDriver = options.Get("ntmp");
    d.instance = options.Get("driver-instance");
    if (!d.instance.empty() && !IsDriverInstance(d.instance)) Refuse("driver-instance= takes four digits, e.g. 0003");
    return d;
}

void DefineLabel(Plan& plan, const Line& line, const std::string& label) {
    if (!IsLabel(label)) {
        Refuse(Quoted(label) + " cannot label a device: use letters, digits, '-', '_' and '.' (e.g. card)");
    }
    auto it = plan.labels.find(Upper(label));
    if (it != plan.labels.end()) {
        Refuse("the label " + Quoted(label) + " is already used on line " + std::to_string(it->second));
    }
    plan.labels[Upper(label)] = line.number;
}

void AddLabelledDevice(Plan& plan, const Line& line, const std::string& label,
                       std::function<std::string(DeviceModel&)> add) {
    AddStep(plan, line, kDevices, [label, add](Applier& a) {
        const std::string id = add(a.machine.devices());
        if (id.empty()) Refuse("the device could not be added");
        a.labels[Upper(label)] = id;
        a.labelNames[Upper(label)] = label;
    });
}

// instance= on an adapter or card: the last part of the instance ID.
std::string InstanceSuffix(const Options& options, const char* example) {
    const std::string suffix = options.Get("instance");
    if (suffix.empty() || suffix.find('\\') != std::string::npos) {
        Refuse(std::string("instance= takes the last part of the instance ID, without backslashes (e.g. ") + example +
               ")");
    }
    return suffix;
}

}  // namespace

void ReadPciAdapter(Plan& plan, const Line& line) {
    RequireWords(line, 1,
                 "pci-adapter <label> [absent] [vendor=168C device=0012 subsys=1022168C rev=01 desc=... "
                 "driver=<matching ID> ...]");
    const std::string label = line.Word(1);
    DefineLabel(plan, line, label);
    const Options o = ReadOptions(line, 2,
                                  {"vendor", "device", "subsys", "rev", "desc", "mfg", "instance", "ids", "driver",
                                   "driver-desc", "inf", "section", "provider", "netcfg", "vxd", "ntmp",
                                   "driver-instance"},
                                  {"present", "absent"});
    PciAdapter adapter;
    adapter.present = Present(o);
    if (o.Has("vendor")) adapter.vendor = Upper(o.Get("vendor"));
    if (o.Has("device")) adapter.device = Upper(o.Get("device"));
    if (o.Has("subsys")) adapter.subsystem = Upper(o.Get("subsys"));
    if (o.Has("rev")) adapter.revision = Upper(o.Get("rev"));
    if (!IsHex(adapter.vendor, 4)) Refuse("vendor= takes 4 hex digits, e.g. 168C");
    if (!IsHex(adapter.device, 4)) Refuse("device= takes 4 hex digits, e.g. 0012");
    if (!IsHex(adapter.subsystem, 8)) Refuse("subsys= takes 8 hex digits, e.g. 1022168C");
    if (!IsHex(adapter.revision, 2)) Refuse("rev= takes 2 hex digits, e.g. 01");
    if (o.Has("desc")) adapter.deviceDesc = o.Get("desc");
    if (o.Has("mfg")) adapter.mfg = o.Get("mfg");
    if (o.Has("instance")) adapter.instanceSuffix = InstanceSuffix(o, "4&1A2B3C4D&0&10F0");
    if (o.Has("ids")) {
        adapter.hardwareIds = SplitList(o.Get("ids"));
        for (const std::string& id : adapter.hardwareIds) {
            if (id.empty()) Refuse("ids= takes hardware IDs separated by commas, none of them empty");
        }
    }
    adapter.driver = ReadInstalledDriver(o);
    AddLabelledDevice(plan, line, label, [adapter](DeviceModel& d) { return d.AddPciAdapter(adapter); });
}

void ReadPcCard(Plan& plan, const Line& line) {
    RequireWords(line, 1, "pc-card <label> [absent] [id=PCMCIA\\... desc=... instance=1 driver=<matching ID> ...]");
    const std::string label = line.Word(1);
    DefineLabel(plan, line, label);
    const Options o = ReadOptions(line, 2,
                                  {"id", "desc", "mfg", "instance", "driver", "driver-desc", "inf", "section",
                                   "provider", "netcfg", "vxd", "ntmp", "driver-instance"},
                                  {"present", "absent"});
    PcCard card;
    card.present = Present(o);
    if (o.Has("id")) card.hardwareId = o.Get("id");
    if (card.hardwareId.empty() || card.hardwareId.find('\\') == std::string::npos)
        Refuse("id= takes a hardware ID such as PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    if (o.Has("desc")) card.deviceDesc = o.Get("desc");
    if (o.Has("mfg")) card.mfg = o.Get("mfg");
    if (o.Has("instance")) card.instance = InstanceSuffix(o, "1");
    card.driver = ReadInstalledDriver(o);
    AddLabelledDevice(plan, line, label, [card](DeviceModel& d) { return d.AddPcCard(card); });
}

void ReadDevice(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 2, "device <instance ID> [present|absent]");
    const std::string id = line.Word(1);
    if (id.find('\\') == std::string::npos) {
        Refuse(Quoted(id) +
               " is not a device instance ID (such as PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01\\3&61AAA01&0&58)");
    }
    const bool present =
        line.Words() == 2 ? Choose(kPresence, line.Word(2), "expected ", WordList::Quoted, " after the instance ID")
                          : true;
    AddStep(plan, line, kDevices, [id, present](Applier& a) {
        if (!a.machine.devices().SetPresent(id, present)) a.Resolve(id);
    });
}

void ReadRestartForInf(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "restart-for-inf <INF file name>");
    const std::string name = line.Word(1);
    AddStep(plan, line, kRest, [name](Applier& a) { a.machine.devices().RequireRestartForInf(name); });
}

void ReadRestartForDevice(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "restart-for-device <label or instance ID>");
    const std::string reference = line.Word(1);
    NoteDeviceReference(plan, line, reference);
    AddStep(plan, line, kRest,
            [reference](Applier& a) { a.machine.devices().RequireRestartForDevice(a.Resolve(reference)); });
}

void ReadDriverIndex(Plan& plan, const Line& line) {
    ExpectWords(line, 0, 0, "driver-index");
    Once(plan, "driver-index");
    AddStep(plan, line, kRest, [](Applier& a) {
        if (a.machine.IsNt()) Refuse("only Windows 95, 98 and Me keep a driver index (drvidx.bin)");
        a.machine.devices().BuildDriverIndex();
    });
}

void ReadDeviceMove(Plan& plan, const Line& line, Clock::Millis at, bool arrive) {
    RequireWords(line, 3,
                 arrive ? "at <time> arrive <label or instance ID> [extra=<events>]"
                        : "at <time> leave <label or instance ID> [extra=<events>]");
    const std::string reference = line.Word(3);
    NoteDeviceReference(plan, line, reference);
    const Options o = ReadOptions(line, 4, {"extra"}, {});
    const std::vector<UINT> extra = o.Has("extra") ? DeviceEvents(o.Get("extra")) : std::vector<UINT>{};
    AddStep(plan, line, kRest, [reference, at, arrive, extra](Applier& a) {
        const std::string id = a.Resolve(reference);
        if (arrive) {
            a.machine.devices().ArriveAt(at, id, extra);
        } else {
            a.machine.devices().LeaveAt(at, id, extra);
        }
    });
}

}  // namespace sim::loader
