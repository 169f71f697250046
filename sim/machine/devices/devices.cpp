#include "sim/machine/devices/devices.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <utility>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/formats/inf.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/base/text.h"
#include "sim/machine/window_manager.h"

namespace sim {

const char* const kNetClassGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

struct DeviceModel::DeviceIds {
    std::vector<std::string> hardware;
    std::vector<std::string> compatible;
};

struct DeviceModel::DriverChoice {
    std::string infPath;  // full path of the INF the model comes from
    std::shared_ptr<const InfFile> inf;
    InfModel model;
    std::string matchedId;  // the model's ID that matched the device
    int rank = INT_MAX;
    long day = 0;
};

struct DeviceModel::Element {
    std::string id;
    DWORD devInst = 0;
    std::uintptr_t cookie = 0;
    bool removed = false;
    std::optional<SP_PROPCHANGE_PARAMS> propChange;
};

struct DeviceModel::DeviceInfoSet {
    std::vector<Element> elements;
    std::unordered_map<std::uintptr_t, size_t> byCookie;
    std::optional<SP_PROPCHANGE_PARAMS> propChange;  // for the set as a whole
};

namespace {

constexpr DWORD kNtRootDevInst = 1;
constexpr DWORD kWin9xRootDevInst = 0xC0001000;
constexpr const char* kRootDeviceId = "HTREE\\ROOT\\0";
constexpr const char* kSourceListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
constexpr const char* kSourceListValue = "Installation Sources";
constexpr const char* kCatRootGuid = "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
constexpr size_t kMaxDeviceIdLength = 200;  // MAX_DEVICE_ID_LEN

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && EqualNoCase(text.substr(text.size() - end.size()), end);
}

std::vector<std::string> SplitComma(const std::string& text) {
    std::vector<std::string> out;
    std::string item;
    for (char c : text) {
        if (c == ',') {
            if (!Trim(item).empty()) out.push_back(Trim(item));
            item.clear();
        } else {
            item += c;
        }
    }
    if (!Trim(item).empty()) out.push_back(Trim(item));
    return out;
}

std::string JoinComma(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ',';
        out += item;
    }
    return out;
}

std::string MultiSz(const std::vector<std::string>& items) {
    std::string data;
    for (const std::string& item : items) data += item + '\0';
    data += '\0';
    return data;
}

std::string DwordBytes(DWORD value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// "{4D36E972-E325-11CE-BFC1-08002BE10318}" as a GUID; the null GUID when
// the text is not one.
GUID ParseGuid(const std::string& text) {
    GUID guid = {};
    unsigned int d[11] = {};
    if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                    &d[6], &d[7], &d[8], &d[9], &d[10]) != 11) {
        return guid;
    }
    guid.Data1 = d[0];
    guid.Data2 = static_cast<WORD>(d[1]);
    guid.Data3 = static_cast<WORD>(d[2]);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<BYTE>(d[3 + i]);
    return guid;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

const char* EventName(UINT event) {
    switch (event) {
        case DBT_DEVNODES_CHANGED:
            return "DBT_DEVNODES_CHANGED";
        case DBT_DEVICEARRIVAL:
            return "DBT_DEVICEARRIVAL";
        case DBT_DEVICEQUERYREMOVE:
            return "DBT_DEVICEQUERYREMOVE";
        case DBT_DEVICEREMOVECOMPLETE:
            return "DBT_DEVICEREMOVECOMPLETE";
        default:
            return "event";
    }
}

// The registry value behind each registry-backed device property.
const char* PropertyValueName(DWORD property) {
    switch (property) {
        case SPDRP_DEVICEDESC:
            return "DeviceDesc";
        case SPDRP_HARDWAREID:
            return "HardwareID";
        case SPDRP_COMPATIBLEIDS:
            return "CompatibleIDs";
        case SPDRP_SERVICE:
            return "Service";
        case SPDRP_CLASS:
            return "Class";
        case SPDRP_CLASSGUID:
            return "ClassGUID";
        case SPDRP_DRIVER:
            return "Driver";
        case SPDRP_CONFIGFLAGS:
            return "ConfigFlags";
        case SPDRP_MFG:
            return "Mfg";
        case SPDRP_FRIENDLYNAME:
            return "FriendlyName";
        case SPDRP_LOCATION_INFORMATION:
            return "LocationInformation";
        case SPDRP_CAPABILITIES:
            return "Capabilities";
        case SPDRP_UI_NUMBER:
            return "UINumber";
        case SPDRP_UPPERFILTERS:
            return "UpperFilters";
        case SPDRP_LOWERFILTERS:
            return "LowerFilters";
        default:
            return nullptr;
    }
}

}  // namespace

DeviceModel::DeviceModel(Machine& machine) : machine_(machine) {}

DeviceModel::~DeviceModel() = default;

// ---- paths -------------------------------------------------------------------

bool DeviceModel::Nt() const { return machine_.IsNt(); }

InfPlatform DeviceModel::Platform() const {
    InfPlatform platform;
    const VersionRow& row = machine_.VersionDetails();
    platform.nt = Nt();
    platform.major = row.major;
    platform.minor = row.minor;
    platform.modelDecorations =
        machine_.Version() == WindowsVersion::WinXP || machine_.Version() == WindowsVersion::Server2003;
    return platform;
}

std::string DeviceModel::EnumRoot() const {
    return Nt() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum" : "HKEY_LOCAL_MACHINE\\Enum";
}

std::string DeviceModel::DriverClassRoot() const {
    return Nt() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class"
                : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class";
}

std::string DeviceModel::ProfileEnumRoot(DWORD profile) const {
    if (!Nt()) {
        char number[16];
        std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(profile == 0 ? 1 : profile));
        return std::string("HKEY_LOCAL_MACHINE\\Config\\") + number + "\\Enum";
    }
    std::string name = "Current";
    if (profile != 0) {
        char number[16];
        std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(profile));
        name = number;
    }
    return "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\" + name +
           "\\System\\CurrentControlSet\\Enum";
}

std::string DeviceModel::CmEnumRoot() const { return "HKEY_DYN_DATA\\Config Manager\\Enum"; }

std::string DeviceModel::InfFolder() const { return Join(machine_.WindowsDir(), "inf"); }

std::optional<std::string> DeviceModel::EnumKeyPath(const std::string& instanceId) const {
    if (instanceId.empty()) return std::nullopt;
    const std::string path = EnumRoot() + "\\" + instanceId;
    if (!machine_.registry().KeyExists(path)) return std::nullopt;
    return path;
}

std::optional<std::string> DeviceModel::DriverValue(const std::string& instanceId) const {
    if (instanceId.empty()) return std::nullopt;
    std::optional<std::string> value = machine_.registry().GetString(EnumRoot() + "\\" + instanceId, "Driver");
    if (!value || value->empty()) return std::nullopt;
    return value;
}

std::optional<std::string> DeviceModel::DriverKeyPath(const std::string& instanceId) const {
    const std::optional<std::string> driver = DriverValue(instanceId);
    if (!driver) return std::nullopt;
    const std::string path = DriverClassRoot() + "\\" + *driver;
    if (!machine_.registry().KeyExists(path)) return std::nullopt;
    return path;
}

bool DeviceModel::HasWorkingDriver(const std::string& instanceId) const {
    return DriverKeyPath(instanceId).has_value();
}

std::optional<DWORD> DeviceModel::FlagValue(const std::string& path, const char* name) const {
    return machine_.registry().GetDword(path, name);
}

std::optional<DeviceModel::DeviceIds> DeviceModel::ReadIds(const std::string& instanceId) const {
    const std::string path = EnumRoot() + "\\" + instanceId;
    if (!machine_.registry().KeyExists(path)) return std::nullopt;
    DeviceIds ids;
    for (int which = 0; which < 2; ++which) {
        std::optional<RegValue> value = machine_.registry().GetValue(path, which == 0 ? "HardwareID" : "CompatibleIDs");
        if (!value) continue;
        std::vector<std::string>& out = which == 0 ? ids.hardware : ids.compatible;
        if (value->type == REG_MULTI_SZ) {
            size_t start = 0;
            while (start < value->data.size()) {
                size_t end = value->data.find('\0', start);
                if (end == std::string::npos) end = value->data.size();
                if (end == start) break;
                out.push_back(value->data.substr(start, end - start));
                start = end + 1;
            }
        } else {
            std::string text = value->data;
            if (!text.empty() && text.back() == '\0') text.pop_back();
            out = SplitComma(text);
        }
    }
    return ids;
}

// ---- the present set -------------------------------------------------------

std::optional<std::string> DeviceModel::CmNodeOf(const std::string& hardwareKey) const {
    const Registry& registry = machine_.registry();
    for (const std::string& node : registry.SubKeys(CmEnumRoot())) {
        std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + node, "HardWareKey");
        if (key && EqualNoCase(*key, hardwareKey)) return node;
    }
    return std::nullopt;
}

std::string DeviceModel::NewCmNodeName() {
    const Registry& registry = machine_.registry();
    for (;;) {
        const std::string name = Hex(nextCmNode_, 8);
        nextCmNode_ += 0x100;
        if (!registry.KeyExists(CmEnumRoot() + "\\" + name)) return name;
    }
}

std::vector<std::string> DeviceModel::PresentDevices() const {
    if (Nt()) return present_;
    std::vector<std::string> out;
    const Registry& registry = machine_.registry();
    for (const std::string& node : registry.SubKeys(CmEnumRoot())) {
        std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + node, "HardWareKey");
        if (key && !key->empty()) out.push_back(*key);
    }
    return out;
}

bool DeviceModel::IsPresent(const std::string& instanceId) const {
    if (Nt()) return presentUpper_.count(Upper(instanceId)) != 0;
    return CmNodeOf(instanceId).has_value();
}

bool DeviceModel::IsDisabled(const std::string& instanceId) const {
    const std::string enumPath = EnumRoot() + "\\" + instanceId;
    const DWORD global = FlagValue(enumPath, "ConfigFlags").value_or(0);
    const DWORD profile = FlagValue(ProfileEnumRoot(0) + "\\" + instanceId, "CSConfigFlags").value_or(0);
    return (global & CONFIGFLAG_DISABLED) != 0 || (profile & CSCONFIGFLAG_DISABLED) != 0;
}

bool DeviceModel::IsStarted(const std::string& instanceId) const {
    if (!IsPresent(instanceId) || !HasWorkingDriver(instanceId) || IsDisabled(instanceId)) return false;
    const DWORD profile = FlagValue(ProfileEnumRoot(0) + "\\" + instanceId, "CSConfigFlags").value_or(0);
    return (profile & CSCONFIGFLAG_DO_NOT_START) == 0;
}

void DeviceModel::SetPresentInternal(const std::string& instanceId, bool present) {
    if (Nt()) {
        const std::string upper = Upper(instanceId);
        const bool now = presentUpper_.count(upper) != 0;
        if (present && !now) {
            present_.push_back(instanceId);
            presentUpper_.insert(upper);
        } else if (!present && now) {
            presentUpper_.erase(upper);
            present_.erase(std::remove_if(present_.begin(), present_.end(),
                                          [&](const std::string& id) { return EqualNoCase(id, instanceId); }),
                           present_.end());
        }
        return;
    }
    const std::optional<std::string> node = CmNodeOf(instanceId);
    if (present && !node) {
        const std::string path = CmEnumRoot() + "\\" + NewCmNodeName();
        Registry& registry = machine_.registry();
        registry.SetString(path, "HardWareKey", instanceId);
        registry.SetValue(path, "Problem", REG_BINARY, DwordBytes(0));
        registry.SetValue(path, "Status", REG_BINARY, DwordBytes(0x0600600A));
    } else if (!present && node) {
        machine_.registry().DeleteKeyTree(CmEnumRoot() + "\\" + *node);
    }
}

bool DeviceModel::SetPresent(const std::string& instanceId, bool present) {
    if (!EnumKeyPath(instanceId)) return false;
    SetPresentInternal(instanceId, present);
    return true;
}

DWORD DeviceModel::DevInstOf(const std::string& instanceId) {
    if (!Nt()) {
        const std::optional<std::string> node = CmNodeOf(instanceId);
        unsigned long long value = 0;
        if (node && ParseNumber("0x" + *node, value)) return static_cast<DWORD>(value);
        return 0;
    }
    const std::string upper = Upper(instanceId);
    auto it = devInsts_.find(upper);
    if (it != devInsts_.end()) return it->second;
    const DWORD value = nextDevInst_++;
    devInsts_.emplace(upper, value);
    devInstIds_.emplace(value, instanceId);
    return value;
}

// ---- describing a machine -------------------------------------------------

std::string DeviceModel::NextDriverInstance(const std::string& classKeyPath) const {
    std::set<unsigned long> used;
    for (const std::string& name : machine_.registry().SubKeys(classKeyPath)) {
        unsigned long long number = 0;
        if (name.size() == 4 && ParseNumber(name, number)) used.insert(static_cast<unsigned long>(number));
    }
    unsigned long next = 0;
    while (used.count(next)) ++next;
    char text[16];
    std::snprintf(text, sizeof text, "%04lu", next);
    return text;
}

std::string DeviceModel::MakeGuid(const std::string& seed) {
    const std::uint32_t hash = static_cast<std::uint32_t>(std::hash<std::string>{}(Upper(seed)));
    ++guidCounter_;
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", static_cast<unsigned>(hash),
                  static_cast<unsigned>(guidCounter_ & 0xFFFF), 0x4A3Eu, static_cast<unsigned>(0x8000 | (hash >> 20)),
                  static_cast<unsigned>((hash >> 4) & 0xFFFF), static_cast<unsigned>(0x7E3D0000u + guidCounter_));
    return text;
}

void DeviceModel::WriteDriver(const std::string& instanceId, const std::string& className, const std::string& classGuid,
                              const InstalledDriver& driver) {
    Registry& registry = machine_.registry();
    const std::string enumPath = EnumRoot() + "\\" + instanceId;
    const std::string classPart = Nt() ? classGuid : className;
    const std::string classKey = DriverClassRoot() + "\\" + classPart;
    const std::string instance = driver.instance.empty() ? NextDriverInstance(classKey) : driver.instance;
    const std::string path = classKey + "\\" + instance;
    registry.CreateKey(path);
    if (!driver.driverDesc.empty()) registry.SetString(path, "DriverDesc", driver.driverDesc);
    if (!driver.providerName.empty()) registry.SetString(path, "ProviderName", driver.providerName);
    if (!driver.infPath.empty()) registry.SetString(path, "InfPath", driver.infPath);
    if (!driver.infSection.empty()) registry.SetString(path, "InfSection", driver.infSection);
    if (!driver.matchingDeviceId.empty()) registry.SetString(path, "MatchingDeviceId", driver.matchingDeviceId);
    if (Nt()) {
        if (EqualNoCase(classGuid, kNetClassGuid)) {
            if (!driver.matchingDeviceId.empty()) registry.SetString(path, "ComponentId", driver.matchingDeviceId);
            registry.SetString(path, "NetCfgInstanceId",
                               driver.netCfgInstanceId.empty() ? MakeGuid(instanceId) : driver.netCfgInstanceId);
        }
    } else {
        if (!driver.deviceVxDs.empty()) registry.SetString(path, "DeviceVxDs", driver.deviceVxDs);
        if (!driver.ntmpDriver.empty()) registry.SetString(path, "NTMPDriver", driver.ntmpDriver);
    }
    registry.SetString(enumPath, "Driver", classPart + "\\" + instance);
}

std::string DeviceModel::AddDevice(const DeviceSpec& spec) {
    Registry& registry = machine_.registry();
    const std::string path = EnumRoot() + "\\" + spec.instanceId;
    registry.CreateKey(path);
    if (Nt()) {
        registry.SetMultiString(path, "HardwareID", spec.hardwareIds);
        if (!spec.compatibleIds.empty()) registry.SetMultiString(path, "CompatibleIDs", spec.compatibleIds);
    } else {
        registry.SetString(path, "HardwareID", JoinComma(spec.hardwareIds));
        if (!spec.compatibleIds.empty()) registry.SetString(path, "CompatibleIDs", JoinComma(spec.compatibleIds));
    }
    if (!spec.deviceDesc.empty()) registry.SetString(path, "DeviceDesc", spec.deviceDesc);
    if (!spec.friendlyName.empty()) registry.SetString(path, "FriendlyName", spec.friendlyName);
    if (!spec.mfg.empty()) registry.SetString(path, "Mfg", spec.mfg);
    if (!spec.className.empty()) registry.SetString(path, "Class", spec.className);
    if (Nt()) {
        if (!spec.classGuid.empty()) registry.SetString(path, "ClassGUID", spec.classGuid);
        registry.SetDword(path, "ConfigFlags", 0);
    }
    if (spec.driver) WriteDriver(spec.instanceId, spec.className, spec.classGuid, *spec.driver);
    if (spec.present) SetPresentInternal(spec.instanceId, true);
    return spec.instanceId;
}

std::string DeviceModel::AddPciAdapter(const PciAdapter& adapter) {
    const std::string venDev = "PCI\\VEN_" + adapter.vendor + "&DEV_" + adapter.device;
    const std::string subsys = adapter.subsystem.empty() ? "" : "&SUBSYS_" + adapter.subsystem;
    const std::string rev = adapter.revision.empty() ? "" : "&REV_" + adapter.revision;
    DeviceSpec spec;
    if (!adapter.hardwareIds.empty()) {
        spec.hardwareIds = adapter.hardwareIds;
    } else {
        if (!subsys.empty()) {
            if (!rev.empty()) spec.hardwareIds.push_back(venDev + subsys + rev);
            spec.hardwareIds.push_back(venDev + subsys);
        }
        if (Nt()) {
            spec.hardwareIds.push_back(venDev + "&CC_020000");
            spec.hardwareIds.push_back(venDev + "&CC_0200");
        } else {
            if (!rev.empty()) spec.hardwareIds.push_back(venDev + rev);
            spec.hardwareIds.push_back(venDev);
        }
        if (!rev.empty()) spec.compatibleIds.push_back(venDev + rev);
        spec.compatibleIds.push_back(venDev);
        spec.compatibleIds.push_back("PCI\\VEN_" + adapter.vendor + "&CC_020000");
        spec.compatibleIds.push_back("PCI\\VEN_" + adapter.vendor + "&CC_0200");
        spec.compatibleIds.push_back("PCI\\VEN_" + adapter.vendor);
        spec.compatibleIds.push_back("PCI\\CC_020000");
        spec.compatibleIds.push_back("PCI\\CC_0200");
    }
    // The instance: the bus's own part of the ID, unique per slot.
    const int slot = static_cast<int>(std::hash<std::string>{}(spec.hardwareIds.front()) % 0x100) ^
                     static_cast<int>(pciSlot_++);
    std::string suffix = adapter.instanceSuffix;
    if (suffix.empty()) {
        char text[64];
        if (Nt()) {
            std::snprintf(text, sizeof text, "4&%08X&0&%02X%02X", 0x1A2B3C00u + static_cast<unsigned>(slot & 0xFF),
                          static_cast<unsigned>(slot & 0xFF), 0xF0u);
        } else {
            std::snprintf(text, sizeof text, "BUS_02&DEV_%02X&FUNC_00", static_cast<unsigned>(slot & 0x1F));
        }
        suffix = text;
    }
    spec.instanceId = venDev + subsys + rev + "\\" + suffix;
    // Two adapters of one model in one machine: a slot not taken yet.
    while (EnumKeyPath(spec.instanceId)) spec.instanceId += "0";
    spec.deviceDesc = adapter.deviceDesc;
    spec.mfg = adapter.mfg;
    spec.driver = adapter.driver;
    spec.present = adapter.present;
    return AddDevice(spec);
}

std::string DeviceModel::AddPcCard(const PcCard& card) {
    DeviceSpec spec;
    spec.instanceId = card.hardwareId + "\\" + card.instance;
    spec.hardwareIds = {card.hardwareId};
    spec.deviceDesc = card.deviceDesc;
    spec.mfg = card.mfg;
    spec.driver = card.driver;
    spec.present = card.present;
    return AddDevice(spec);
}

void DeviceModel::RequireRestartForInf(const std::string& infFileName) { restartInfs_.insert(Upper(infFileName)); }

void DeviceModel::RequireRestartForDevice(const std::string& instanceId) { restartDevices_.insert(Upper(instanceId)); }

bool DeviceModel::RestartNeeded(const std::string& instanceId, const std::string& infName,
                                const std::string& sourceName) const {
    return restartDevices_.count(Upper(instanceId)) || restartInfs_.count(Upper(FileNameOf(infName))) ||
           restartInfs_.count(Upper(FileNameOf(sourceName)));
}

// ---- arrival and removal ----------------------------------------------------

void DeviceModel::Broadcast(UINT event, const std::string& instanceId, DWORD devnode) {
    DeviceChangeBroadcast entry;
    entry.time = machine_.clock.Now();
    entry.event = event;
    entry.devnode = devnode;
    entry.instanceId = instanceId;
    broadcasts_.push_back(entry);

    // The message is sent from outside the tool's thread: the header it
    // points to lives until the message has been delivered.
    LPARAM data = 0;
    std::shared_ptr<DEV_BROADCAST_DEVNODE> header;
    if (devnode != 0) {
        header = std::make_shared<DEV_BROADCAST_DEVNODE>();
        header->dbcd_size = sizeof(DEV_BROADCAST_DEVNODE);
        header->dbcd_devicetype = DBT_DEVTYP_DEVNODE;
        header->dbcd_devnode = devnode;
        data = reinterpret_cast<LPARAM>(header.get());
    }
    std::string text = std::string("WM_DEVICECHANGE ") + EventName(event);
    if (devnode != 0) text += " devnode " + Hex(devnode, 8);
    if (!instanceId.empty()) text += " (" + instanceId + ")";
    machine_.Record("device", text);
    machine_.windows().BroadcastDeviceChange(event, data, header);
}

void DeviceModel::BroadcastExtra(const std::string& instanceId, const std::vector<UINT>& extra) {
    for (UINT event : extra) Broadcast(event, instanceId, 0);
}

bool DeviceModel::Arrive(const std::string& instanceId, const std::vector<UINT>& extraEvents) {
    if (!EnumKeyPath(instanceId) || IsPresent(instanceId)) return false;
    SetPresentInternal(instanceId, true);
    machine_.Record("device", "arrive " + instanceId);
    if (machine_.Version() == WindowsVersion::NT4) {
        // NT 4.0 has no Plug and Play: a device that appears is neither
        // installed nor announced; only a later search sees it.
    } else if (Nt()) {
        // The PnP manager reports the new devnode, then installs a driver
        // for it when one is at hand, which changes the tree again.
        Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
        const bool hadDriver = HasWorkingDriver(instanceId);
        HandleNewHardware(instanceId);
        if (!hadDriver && HasWorkingDriver(instanceId)) Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
    } else {
        // The bus enumerator of the 9x family (the PC Card socket) hands the
        // new node to the configuration manager, which installs its driver
        // from the INFs its driver index knows, then announces the node.
        HandleNewHardware(instanceId);
        Broadcast(DBT_DEVICEARRIVAL, instanceId, DevInstOf(instanceId));
    }
    BroadcastExtra(instanceId, extraEvents);
    return true;
}

bool DeviceModel::Leave(const std::string& instanceId, const std::vector<UINT>& extraEvents) {
    if (!EnumKeyPath(instanceId) || !IsPresent(instanceId)) return false;
    const DWORD devnode = DevInstOf(instanceId);
    SetPresentInternal(instanceId, false);
    machine_.Record("device", "leave " + instanceId);
    if (machine_.Version() == WindowsVersion::NT4) {
        // No Plug and Play: nothing is announced.
    } else if (Nt()) {
        Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
    } else {
        Broadcast(DBT_DEVICEREMOVECOMPLETE, instanceId, devnode);
    }
    BroadcastExtra(instanceId, extraEvents);
    return true;
}

Clock::EventId DeviceModel::ArriveAt(Clock::Millis when, const std::string& instanceId,
                                     const std::vector<UINT>& extraEvents) {
    return machine_.clock.Schedule(when, [this, instanceId, extraEvents] { Arrive(instanceId, extraEvents); });
}

Clock::EventId DeviceModel::LeaveAt(Clock::Millis when, const std::string& instanceId,
                                    const std::vector<UINT>& extraEvents) {
    return machine_.clock.Schedule(when, [this, instanceId, extraEvents] { Leave(instanceId, extraEvents); });
}

void DeviceModel::RemoveDevice(const std::string& instanceId) {
    Registry& registry = machine_.registry();
    const DWORD devnode = Nt() ? 0 : DevInstOf(instanceId);
    const bool wasPresent = IsPresent(instanceId);
    if (const std::optional<std::string> driverKey = DriverKeyPath(instanceId)) registry.DeleteKeyTree(*driverKey);
    SetPresentInternal(instanceId, false);
    const std::string enumPath = EnumRoot() + "\\" + instanceId;
    registry.DeleteKeyTree(enumPath);
    // The device's key goes with its last instance.
    const std::string parent = FolderOf(enumPath);
    if (FolderOf(parent) != EnumRoot() && registry.KeyExists(parent) && registry.SubKeys(parent).empty() &&
        registry.ValueNames(parent).empty()) {
        registry.DeleteKeyTree(parent);
    }
    const std::string profilePath = ProfileEnumRoot(0) + "\\" + instanceId;
    if (registry.KeyExists(profilePath)) registry.DeleteKeyTree(profilePath);
    machine_.Record("device", "remove " + instanceId);
    if (wasPresent) {
        if (Nt()) {
            Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
        } else {
            Broadcast(DBT_DEVICEREMOVECOMPLETE, instanceId, devnode);
        }
    }
}

// ---- INFs and driver installation -----------------------------------------

std::vector<std::string> DeviceModel::InfFolderInfs(bool respectIndex) const {
    const FileSystem& files = machine_.files();
    std::vector<std::string> folders = {InfFolder()};
    if (!Nt()) folders.push_back(Join(InfFolder(), "OTHER"));
    std::vector<std::string> out;
    std::vector<std::string> relative;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!files.IsFolder(folders[i])) continue;
        for (const std::string& name : files.List(folders[i])) {
            const std::string path = Join(folders[i], name);
            if (!EndsWithNoCase(name, ".inf") || files.IsFolder(path)) continue;
            out.push_back(path);
            relative.push_back(i == 0 ? name : Join("OTHER", name));
        }
    }
    if (!respectIndex) return out;
    const std::string indexPath = Join(InfFolder(), "drvidx.bin");
    const std::optional<std::string> index = files.ReadFile(indexPath);
    if (!index || !files.Exists(Join(InfFolder(), "drvdata.bin"))) return out;
    // The index in effect: only the INFs it lists are seen.
    std::set<std::string> listed;
    std::istringstream lines(*index);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string name = Trim(line);
        if (EndsWithNoCase(name, ".inf")) listed.insert(Upper(name));
    }
    std::vector<std::string> visible;
    for (size_t i = 0; i < out.size(); ++i) {
        if (listed.count(Upper(relative[i]))) visible.push_back(out[i]);
    }
    return visible;
}

void DeviceModel::BuildDriverIndex() {
    std::string index = "DRVIDX\r\n";
    size_t count = 0;
    const std::string infFolder = InfFolder();
    for (const std::string& path : InfFolderInfs(false)) {
        std::string relative = path.substr(infFolder.size());
        if (!relative.empty() && relative.front() == '\\') relative.erase(0, 1);
        index += relative + "\r\n";
        ++count;
    }
    machine_.files().WriteFile(Join(infFolder, "drvidx.bin"), index);
    machine_.files().WriteFile(Join(infFolder, "drvdata.bin"), "DRVDATA " + std::to_string(count) + " INF files\r\n");
    machine_.Record("device", "driver index built (" + std::to_string(count) + " INF files)");
}

namespace {

struct LoadedInf {
    std::string path;
    std::shared_ptr<const InfFile> inf;
};

std::vector<LoadedInf> LoadInfs(const FileSystem& files, const std::vector<std::string>& paths) {
    std::vector<LoadedInf> out;
    for (const std::string& path : paths) {
        std::optional<std::string> text = files.ReadFile(path);
        if (!text) continue;
        out.push_back({path, std::make_shared<const InfFile>(InfFile::Parse(*text))});
    }
    return out;
}

// How well a model's IDs fit a device's IDs, as SetupAPI ranks drivers:
// lower is better; INT_MAX when they do not fit at all.
int Rank(const std::vector<std::string>& hardware, const std::vector<std::string>& compatible,
         const std::vector<std::string>& modelIds, std::string* matched) {
    int best = INT_MAX;
    for (size_t j = 0; j < modelIds.size(); ++j) {
        for (int list = 0; list < 2; ++list) {
            const std::vector<std::string>& ids = list == 0 ? hardware : compatible;
            for (size_t k = 0; k < ids.size(); ++k) {
                if (!EqualNoCase(ids[k], modelIds[j])) continue;
                const int rank =
                    (list == 1 ? 0x1000 : 0) + (j > 0 ? 0x2000 : 0) + static_cast<int>(std::min<size_t>(k, 0xFFF));
                if (rank < best) {
                    best = rank;
                    if (matched) *matched = modelIds[j];
                }
            }
        }
    }
    return best;
}

}  // namespace

std::optional<DeviceModel::DriverChoice> DeviceModel::BestDriverIn(const std::string& instanceId,
                                                                   const std::vector<std::string>& infPaths) const {
    const std::optional<DeviceIds> ids = ReadIds(instanceId);
    if (!ids) return std::nullopt;
    const InfPlatform platform = Platform();
    std::optional<DriverChoice> best;
    for (const LoadedInf& loaded : LoadInfs(machine_.files(), infPaths)) {
        for (const InfModel& model : loaded.inf->Models(platform)) {
            std::vector<std::string> modelIds = {model.hardwareId};
            modelIds.insert(modelIds.end(), model.compatibleIds.begin(), model.compatibleIds.end());
            std::string matched;
            const int rank = Rank(ids->hardware, ids->compatible, modelIds, &matched);
            if (rank == INT_MAX) continue;
            const long day = loaded.inf->DriverDay();
            if (best && (rank > best->rank || (rank == best->rank && day <= best->day))) continue;
            DriverChoice choice;
            choice.infPath = loaded.path;
            choice.inf = loaded.inf;
            choice.model = model;
            choice.matchedId = matched;
            choice.rank = rank;
            choice.day = day;
            best = std::move(choice);
        }
    }
    return best;
}

std::optional<DeviceModel::DriverChoice> DeviceModel::BestDriver(const std::string& instanceId,
                                                                 const std::string& infPath) const {
    return BestDriverIn(instanceId, {infPath});
}

int DeviceModel::CurrentDriverRank(const std::string& instanceId, long* day) const {
    *day = 0;
    const std::optional<std::string> driverKey = DriverKeyPath(instanceId);
    const std::optional<DeviceIds> ids = ReadIds(instanceId);
    if (!driverKey || !ids) return INT_MAX;
    const std::string matching = machine_.registry().GetString(*driverKey, "MatchingDeviceId").value_or("");
    const std::string date = machine_.registry().GetString(*driverKey, "DriverDate").value_or("");
    int month = 0;
    int dayOfMonth = 0;
    int year = 0;
    if (std::sscanf(date.c_str(), "%d-%d-%d", &month, &dayOfMonth, &year) == 3) {
        InfFile probe = InfFile::Parse("[Version]\nDriverVer=" + std::to_string(month) + "/" +
                                       std::to_string(dayOfMonth) + "/" + std::to_string(year) + "\n");
        *day = probe.DriverDay();
    }
    if (matching.empty()) return INT_MAX - 1;
    const int rank = Rank(ids->hardware, ids->compatible, {matching}, nullptr);
    return rank == INT_MAX ? INT_MAX - 1 : rank;
}

bool DeviceModel::InstallDriver(const std::string& instanceId, const DriverChoice& choice, const std::string& infName,
                                const std::string& sourceName, const char* why) {
    Registry& registry = machine_.registry();
    const InfFile& inf = *choice.inf;
    const InfPlatform platform = Platform();
    const std::string enumPath = EnumRoot() + "\\" + instanceId;

    std::string className = inf.ClassName();
    if (className.empty()) className = registry.GetString(enumPath, "Class").value_or("Net");
    std::string classGuid = inf.ClassGuid();
    if (classGuid.empty())
        classGuid =
            EqualNoCase(className, "Net") ? kNetClassGuid : registry.GetString(enumPath, "ClassGUID").value_or("");
    const std::string classPart = Nt() ? classGuid : className;
    const std::string classKey = DriverClassRoot() + "\\" + classPart;

    // An installed driver's key is replaced in place when it is of the same
    // class; a network adapter keeps its interface GUID.
    std::string instance;
    std::string netCfgInstanceId;
    if (const std::optional<std::string> oldKey = DriverKeyPath(instanceId)) {
        const std::string oldValue = *DriverValue(instanceId);
        const size_t slash = oldValue.find_last_of('\\');
        if (slash != std::string::npos && EqualNoCase(oldValue.substr(0, slash), classPart)) {
            instance = oldValue.substr(slash + 1);
            netCfgInstanceId = registry.GetString(*oldKey, "NetCfgInstanceId").value_or("");
        }
        registry.DeleteKeyTree(*oldKey);
    }
    if (instance.empty()) instance = NextDriverInstance(classKey);
    const std::string path = classKey + "\\" + instance;
    registry.CreateKey(path);

    std::string section = inf.InstallSectionFor(choice.model.installSection, platform);
    if (section.empty()) section = choice.model.installSection;
    const std::string matching = Nt() ? Lower(choice.matchedId) : choice.matchedId;

    registry.SetString(path, "InfPath", infName);
    registry.SetString(path, "InfSection", choice.model.installSection);
    if (Nt() && section.size() > choice.model.installSection.size()) {
        registry.SetString(path, "InfSectionExt", section.substr(choice.model.installSection.size()));
    }
    if (!inf.Provider().empty()) registry.SetString(path, "ProviderName", inf.Provider());
    if (!inf.DriverDate().empty()) registry.SetString(path, "DriverDate", inf.DriverDate());
    if (!inf.DriverVersion().empty()) registry.SetString(path, "DriverVersion", inf.DriverVersion());
    registry.SetString(path, "MatchingDeviceId", matching);
    registry.SetString(path, "DriverDesc", choice.model.description);
    if (Nt() && EqualNoCase(classGuid, kNetClassGuid)) {
        registry.SetString(path, "ComponentId", matching);
        registry.SetString(path, "NetCfgInstanceId",
                           netCfgInstanceId.empty() ? MakeGuid(instanceId) : netCfgInstanceId);
        if (std::optional<std::string> characteristics = inf.Value(section, "Characteristics")) {
            unsigned long long value = 0;
            if (ParseNumber(*characteristics, value))
                registry.SetDword(path, "Characteristics", static_cast<DWORD>(value));
        }
        if (std::optional<std::string> busType = inf.Value(section, "BusType")) {
            registry.SetString(path, "BusType", *busType);
        }
    }
    for (const InfFile::RegEntry& entry : inf.DriverKeyValues(section)) {
        const std::string target = entry.subKey.empty() ? path : path + "\\" + entry.subKey;
        registry.SetValue(target, entry.name, entry.type, entry.data);
    }

    registry.SetString(enumPath, "Driver", classPart + "\\" + instance);
    registry.SetString(enumPath, "Class", className);
    if (Nt()) registry.SetString(enumPath, "ClassGUID", classGuid);
    registry.SetString(enumPath, "Mfg", choice.model.manufacturer);
    registry.SetString(enumPath, "DeviceDesc", choice.model.description);
    if (Nt()) {
        if (const InfSection* services = inf.Section(section + ".Services")) {
            for (const InfLine& line : services->lines) {
                if (line.hasKey && EqualNoCase(line.key, "AddService") && !line.fields.empty()) {
                    registry.SetString(enumPath, "Service", line.fields[0]);
                }
            }
        }
    }

    machine_.Record("device", std::string("install ") + instanceId + ": " + infName + " [" + section + "] " +
                                  choice.model.description + " (" + why + ")");
    if (IsStarted(instanceId)) machine_.Record("device", "start " + instanceId);
    return RestartNeeded(instanceId, infName, sourceName);
}

void DeviceModel::HandleNewHardware(const std::string& instanceId) {
    if (!IsPresent(instanceId) || HasWorkingDriver(instanceId)) return;
    const std::optional<DriverChoice> choice = BestDriverIn(instanceId, InfFolderInfs(!Nt()));
    if (!choice) return;
    const std::string infName = FileNameOf(choice->infPath);
    InstallDriver(instanceId, *choice, infName, infName, "new hardware");
}

void DeviceModel::HandleAllNewHardware() {
    std::vector<std::string> waiting;
    for (const std::string& id : PresentDevices()) {
        if (!HasWorkingDriver(id)) waiting.push_back(id);
    }
    if (waiting.empty()) return;
    const std::vector<std::string> infs = InfFolderInfs(!Nt());
    for (const std::string& id : waiting) {
        const std::optional<DriverChoice> choice = BestDriverIn(id, infs);
        if (!choice) continue;
        const std::string infName = FileNameOf(choice->infPath);
        InstallDriver(id, *choice, infName, infName, "new hardware");
    }
}

std::optional<std::string> DeviceModel::FindIdenticalOemInf(const std::string& content) const {
    const FileSystem& files = machine_.files();
    for (const std::string& name : files.List(InfFolder())) {
        if (!StartsWithNoCase(name, "oem") || !EndsWithNoCase(name, ".inf")) continue;
        const std::string digits = name.substr(3, name.size() - 7);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string path = Join(InfFolder(), name);
        std::optional<std::string> existing = files.ReadFile(path);
        if (existing && *existing == content) return path;
    }
    return std::nullopt;
}

std::string DeviceModel::NextFreeOemName() const {
    std::set<std::string> taken;
    for (const std::string& name : machine_.files().List(InfFolder())) taken.insert(Upper(name));
    for (unsigned n = 0;; ++n) {
        const std::string name = "oem" + std::to_string(n) + ".inf";
        if (!taken.count(Upper(name))) return name;
    }
}

std::string DeviceModel::StageInf(const std::string& sourcePath, DWORD mediaType, const std::string& mediaLocation,
                                  const std::string& callerName, bool* reused) {
    FileSystem& files = machine_.files();
    *reused = false;
    const std::optional<std::string> content = files.ReadFile(sourcePath);
    if (!content) {
        machine_.lastError = ERROR_FILE_NOT_FOUND;
        return "";
    }
    std::string destination;
    if (std::optional<std::string> existing = FindIdenticalOemInf(*content)) {
        destination = *existing;
        *reused = true;
    } else {
        if (!files.IsFolder(InfFolder())) files.CreateFolder(InfFolder());
        destination = Join(InfFolder(), NextFreeOemName());
        if (!files.WriteFile(destination, *content)) {
            machine_.lastError = ERROR_ACCESS_DENIED;
            return "";
        }
    }
    // The precompiled companion keeps where the files came from.
    const std::string pnf = destination.substr(0, destination.size() - 4) + ".PNF";
    files.WriteFile(pnf, "PNF\r\nSource=" + sourcePath + "\r\nMediaType=" + std::to_string(mediaType) +
                             "\r\nMediaLocation=" + mediaLocation + "\r\n");
    // Windows 2000 / XP install the INF's catalog beside it as oemN.CAT.
    if (Nt()) {
        const InfFile inf = InfFile::Parse(*content);
        const std::string catalog = inf.CatalogFile();
        const std::string catalogSource = Join(FolderOf(sourcePath), catalog);
        if (!catalog.empty() && files.Exists(catalogSource)) {
            const std::string name = FileNameOf(destination);
            const std::string target = Join(Join(Join(machine_.SystemDir(), "CatRoot"), kCatRootGuid),
                                            name.substr(0, name.size() - 4) + ".CAT");
            files.WriteFile(target, files.ReadFile(catalogSource).value_or(""));
        }
    }

    StagedInf staged;
    staged.time = machine_.clock.Now();
    staged.source = callerName;
    staged.destination = destination;
    staged.mediaType = mediaType;
    staged.mediaLocation = mediaLocation;
    staged.reused = *reused;
    staged_.push_back(staged);
    machine_.Record("device", "SetupCopyOEMInf " + callerName + " -> " + FileNameOf(destination) +
                                  (*reused ? " (same INF already there)" : "") + ", media type " +
                                  std::to_string(mediaType) +
                                  (mediaLocation.empty() ? std::string() : ", location " + mediaLocation));
    return destination;
}

// ---- SetupAPI: device information sets ---------------------------------

DeviceModel::DeviceInfoSet* DeviceModel::FindSet(HDEVINFO set) {
    auto it = sets_.find(reinterpret_cast<std::uintptr_t>(set));
    return it == sets_.end() ? nullptr : it->second.get();
}

DeviceModel::Element* DeviceModel::FindElement(DeviceInfoSet& set, const SP_DEVINFO_DATA* device) {
    if (!device) return nullptr;
    auto it = set.byCookie.find(device->Reserved);
    return it == set.byCookie.end() ? nullptr : &set.elements[it->second];
}

HDEVINFO DeviceModel::GetClassDevs(const GUID* classGuid, const char* enumerator, DWORD flags) {
    if (!(flags & DIGCF_ALLCLASSES) && !classGuid) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    Registry& registry = machine_.registry();
    std::string filter = enumerator ? enumerator : "";
    bool instanceFilter = false;
    if (!filter.empty() && !(flags & DIGCF_DEVICEINTERFACE)) {
        instanceFilter = filter.find('\\') != std::string::npos;
        if (!instanceFilter && !registry.KeyExists(EnumRoot() + "\\" + filter)) {
            machine_.lastError = ERROR_INVALID_DATA;
            return INVALID_HANDLE_VALUE;
        }
    }

    std::vector<std::string> candidates;
    if (flags & DIGCF_DEVICEINTERFACE) {
        // Device interfaces are not part of the model: the set is empty.
    } else if (flags & DIGCF_PRESENT) {
        candidates = PresentDevices();
    } else {
        for (const std::string& bus : registry.SubKeys(EnumRoot())) {
            for (const std::string& device : registry.SubKeys(EnumRoot() + "\\" + bus)) {
                for (const std::string& instance : registry.SubKeys(EnumRoot() + "\\" + bus + "\\" + device)) {
                    candidates.push_back(bus + "\\" + device + "\\" + instance);
                }
            }
        }
    }

    // 9x devnodes are the Config Manager nodes' names: read them once.
    std::unordered_map<std::string, DWORD> cmDevnodes;
    if (!Nt()) {
        for (const std::string& node : registry.SubKeys(CmEnumRoot())) {
            std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + node, "HardWareKey");
            unsigned long long value = 0;
            if (key && ParseNumber("0x" + node, value)) cmDevnodes[Upper(*key)] = static_cast<DWORD>(value);
        }
    }

    auto owned = std::make_unique<DeviceInfoSet>();
    const bool classFilter = !(flags & DIGCF_ALLCLASSES) && classGuid;
    owned->elements.reserve(candidates.size());
    for (const std::string& id : candidates) {
        if (!filter.empty()) {
            if (instanceFilter ? !EqualNoCase(id, filter) : !StartsWithNoCase(id, filter + "\\")) continue;
        }
        if (classFilter) {
            const std::string guid = registry.GetString(EnumRoot() + "\\" + id, "ClassGUID").value_or("");
            if (!SameGuid(ParseGuid(guid), *classGuid)) continue;
        }
        if (flags & DIGCF_PROFILE) {
            const DWORD cs = FlagValue(ProfileEnumRoot(0) + "\\" + id, "CSConfigFlags").value_or(0);
            if (cs & CSCONFIGFLAG_DO_NOT_CREATE) continue;
        }
        Element element;
        element.id = id;
        if (Nt()) {
            element.devInst = DevInstOf(id);
        } else {
            auto devnode = cmDevnodes.find(Upper(id));
            element.devInst = devnode == cmDevnodes.end() ? 0 : devnode->second;
        }
        element.cookie = nextElementCookie_++;
        owned->byCookie.emplace(element.cookie, owned->elements.size());
        owned->elements.push_back(std::move(element));
    }
    const std::uintptr_t handle = machine_.NewHandleValue();
    sets_[handle] = std::move(owned);
    return reinterpret_cast<HDEVINFO>(handle);
}

BOOL DeviceModel::EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
    DeviceInfoSet* found = FindSet(set);
    if (!found) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!device) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        machine_.lastError = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (index >= found->elements.size()) {
        machine_.lastError = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    const Element& element = found->elements[index];
    const std::string guid =
        Nt() ? machine_.registry().GetString(EnumRoot() + "\\" + element.id, "ClassGUID").value_or("")
             : (EqualNoCase(machine_.registry().GetString(EnumRoot() + "\\" + element.id, "Class").value_or(""), "Net")
                    ? std::string(kNetClassGuid)
                    : std::string());
    device->ClassGuid = ParseGuid(guid);
    device->DevInst = element.devInst;
    device->Reserved = element.cookie;
    return TRUE;
}

BOOL DeviceModel::GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                            BYTE* buffer, DWORD size, DWORD* required) {
    DeviceInfoSet* found = FindSet(set);
    if (!found) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    Element* element = device && device->cbSize == sizeof(SP_DEVINFO_DATA) ? FindElement(*found, device) : nullptr;
    if (!element) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!buffer && size != 0) {
        machine_.lastError = ERROR_INVALID_DATA;
        return FALSE;
    }
    if (property >= SPDRP_MAXIMUM_PROPERTY || property == 3 || property == 5 || property == 6) {
        machine_.lastError = ERROR_INVALID_REG_PROPERTY;
        return FALSE;
    }
    if (element->removed || !EnumKeyPath(element->id)) {
        machine_.lastError = ERROR_NO_SUCH_DEVINST;
        return FALSE;
    }

    DWORD valueType = REG_SZ;
    std::string data;
    const std::string enumPath = EnumRoot() + "\\" + element->id;
    if (property == SPDRP_ENUMERATOR_NAME) {
        data = element->id.substr(0, element->id.find('\\')) + '\0';
    } else {
        const char* name = PropertyValueName(property);
        std::optional<RegValue> value = name ? machine_.registry().GetValue(enumPath, name) : std::nullopt;
        if (!value) {
            machine_.lastError = ERROR_INVALID_DATA;
            return FALSE;
        }
        valueType = value->type;
        data = value->data;
        // The 9x family keeps ID lists as comma-separated text; SetupAPI
        // hands them out as multi-strings.
        if (!Nt() && (property == SPDRP_HARDWAREID || property == SPDRP_COMPATIBLEIDS) && valueType != REG_MULTI_SZ) {
            std::string text = data;
            if (!text.empty() && text.back() == '\0') text.pop_back();
            data = MultiSz(SplitComma(text));
            valueType = REG_MULTI_SZ;
        }
    }
    const DWORD length = static_cast<DWORD>(data.size());
    if (type) *type = valueType;
    if (required) *required = length;
    if (!buffer || size < length) {
        machine_.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (length) std::memcpy(buffer, data.data(), length);
    return TRUE;
}

BOOL DeviceModel::SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, const SP_CLASSINSTALL_HEADER* params,
                                        DWORD size) {
    DeviceInfoSet* found = FindSet(set);
    if (!found) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    Element* element = nullptr;
    if (device) {
        if (device->cbSize != sizeof(SP_DEVINFO_DATA)) {
            machine_.lastError = ERROR_INVALID_USER_BUFFER;
            return FALSE;
        }
        element = FindElement(*found, device);
        if (!element) {
            machine_.lastError = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
    }
    if (params && params->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        machine_.lastError = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if ((params && size < sizeof(SP_CLASSINSTALL_HEADER)) || (!params && size != 0)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::optional<SP_PROPCHANGE_PARAMS>& slot = element ? element->propChange : found->propChange;
    if (!params) {
        slot.reset();
        return TRUE;
    }
    if (params->InstallFunction != DIF_PROPERTYCHANGE) return TRUE;
    if (size != sizeof(SP_PROPCHANGE_PARAMS)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    SP_PROPCHANGE_PARAMS change;
    std::memcpy(&change, params, sizeof change);
    const DWORD state = change.StateChange;
    if (state != DICS_ENABLE && state != DICS_DISABLE && state != DICS_PROPCHANGE && state != DICS_START &&
        state != DICS_STOP) {
        machine_.lastError = ERROR_INVALID_FLAGS;
        return FALSE;
    }
    if (change.Scope != DICS_FLAG_GLOBAL && change.Scope != DICS_FLAG_CONFIGSPECIFIC) {
        machine_.lastError = ERROR_INVALID_FLAGS;
        return FALSE;
    }
    if ((state == DICS_START || state == DICS_STOP) && change.Scope != DICS_FLAG_CONFIGSPECIFIC) {
        machine_.lastError = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    slot = change;
    return TRUE;
}

BOOL DeviceModel::ChangeState(HDEVINFO set, SP_DEVINFO_DATA* device) {
    DeviceInfoSet* found = FindSet(set);
    if (!found) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        machine_.lastError = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    Element* element = FindElement(*found, device);
    if (!element || !element->propChange) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (element->removed || !EnumKeyPath(element->id)) {
        machine_.lastError = ERROR_NO_SUCH_DEVINST;
        return FALSE;
    }
    const SP_PROPCHANGE_PARAMS change = *element->propChange;
    const std::string& id = element->id;
    Registry& registry = machine_.registry();
    const bool global = change.Scope == DICS_FLAG_GLOBAL;
    const std::string flagsPath = global ? EnumRoot() + "\\" + id : ProfileEnumRoot(change.HwProfile) + "\\" + id;
    const char* flagsName = global ? "ConfigFlags" : "CSConfigFlags";
    const DWORD before = FlagValue(flagsPath, flagsName).value_or(0);
    DWORD after = before;
    std::string what;
    switch (change.StateChange) {
        case DICS_DISABLE:
            after |= global ? CONFIGFLAG_DISABLED : CSCONFIGFLAG_DISABLED;
            what = "disable";
            break;
        case DICS_ENABLE:
            after &= ~static_cast<DWORD>(global ? CONFIGFLAG_DISABLED : CSCONFIGFLAG_DISABLED);
            what = "enable";
            break;
        case DICS_STOP:
            after |= CSCONFIGFLAG_DO_NOT_START;
            what = "stop";
            break;
        case DICS_START:
            after &= ~static_cast<DWORD>(CSCONFIGFLAG_DO_NOT_START);
            what = "start";
            break;
        default:
            what = "restart";
            break;
    }
    if (change.StateChange != DICS_PROPCHANGE) {
        // NT keeps the flags as REG_DWORD, the 9x family as 4 binary bytes.
        if (Nt()) {
            registry.SetDword(flagsPath, flagsName, after);
        } else {
            registry.SetValue(flagsPath, flagsName, REG_BINARY, DwordBytes(after));
        }
    }
    std::string scope = global ? "global" : "config-specific, profile " + std::to_string(change.HwProfile);
    machine_.Record("device", what + " " + id + " (" + scope + ")" + (IsStarted(id) ? ", started" : ", not started"));
    if (Nt() && IsPresent(id)) Broadcast(DBT_DEVNODES_CHANGED, id, 0);
    return TRUE;
}

BOOL DeviceModel::CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device) {
    DeviceInfoSet* found = FindSet(set);
    if (!found) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (function == DIF_PROPERTYCHANGE) return ChangeState(set, device);
    if (function != DIF_REMOVE) {
        machine_.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    Element* element = FindElement(*found, device);
    if (!element) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (element->removed || !EnumKeyPath(element->id)) {
        machine_.lastError = ERROR_NO_SUCH_DEVINST;
        return FALSE;
    }
    // The element stays in the set, so that a walk by index goes on with
    // the next device; the devnode behind it is gone.
    RemoveDevice(element->id);
    element->removed = true;
    return TRUE;
}

BOOL DeviceModel::DestroyDeviceInfoList(HDEVINFO set) {
    auto it = sets_.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == sets_.end()) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    sets_.erase(it);
    return TRUE;
}

// ---- SetupAPI: OEM INFs and source lists ------------------------------------

BOOL DeviceModel::CopyOemInf(const char* source, const char* mediaLocation, DWORD mediaType, DWORD copyStyle,
                             char* destination, DWORD destinationSize, DWORD* required, char** component) {
    if (!source || mediaType >= SPOST_MAX || (!destination && destinationSize > 0)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const DWORD knownStyles =
        SP_COPY_DELETESOURCE | SP_COPY_REPLACEONLY | SP_COPY_NOOVERWRITE | SP_COPY_OEMINF_CATALOG_ONLY;
    if (copyStyle & ~knownStyles) {
        machine_.lastError = ERROR_INVALID_FLAGS;
        return FALSE;
    }
    FileSystem& files = machine_.files();

    // A bare file name is looked for in the INF folder, then the system folder.
    std::string sourcePath = source;
    if (sourcePath.find_first_of("\\/") == std::string::npos) {
        sourcePath = Join(InfFolder(), source);
        if (!files.Exists(sourcePath)) sourcePath = Join(machine_.SystemDir(), source);
    }
    DWORD attributes = 0;
    const DWORD checked = files.Win32GetAttributes(sourcePath.c_str(), &attributes);
    if (checked == ERROR_INVALID_NAME || checked == ERROR_FILENAME_EXCED_RANGE) {
        machine_.lastError = checked;
        return FALSE;
    }
    if (checked != ERROR_SUCCESS || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        machine_.lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    const std::string content = files.ReadFile(sourcePath).value_or("");

    std::string location;
    if (mediaType == SPOST_PATH) {
        location = mediaLocation ? mediaLocation : FolderOf(sourcePath) + "\\";
    } else if (mediaType == SPOST_URL) {
        location = mediaLocation ? mediaLocation : "";
    }

    // Hands out a destination name as the function's outputs.
    auto report = [&](const std::string& path) -> bool {
        const DWORD length = static_cast<DWORD>(path.size() + 1);
        if (required) *required = length;
        if (!destination) return true;
        if (destinationSize < length) return false;
        std::memcpy(destination, path.c_str(), length);
        if (component) *component = destination + (path.find_last_of('\\') + 1);
        return true;
    };

    const std::optional<std::string> existing = FindIdenticalOemInf(content);
    if (copyStyle & SP_COPY_OEMINF_CATALOG_ONLY) {
        if (existing) {
            if (!report(*existing)) {
                machine_.lastError = ERROR_INSUFFICIENT_BUFFER;
                return FALSE;
            }
        } else {
            if (required) *required = 1;
            if (destination && destinationSize) destination[0] = '\0';
        }
        return TRUE;
    }
    if (!existing && (copyStyle & SP_COPY_REPLACEONLY)) {
        machine_.lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    if (existing && (copyStyle & SP_COPY_NOOVERWRITE)) {
        machine_.lastError = report(*existing) ? ERROR_FILE_EXISTS : ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }

    bool reused = false;
    const std::string staged = StageInf(sourcePath, mediaType, location, source, &reused);
    if (staged.empty()) return FALSE;
    // The INF is in place even when the caller's buffer is too small.
    if (!report(staged)) {
        machine_.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (copyStyle & SP_COPY_DELETESOURCE) files.Remove(sourcePath);
    return TRUE;
}

namespace {

// Which stored list a source-list call means; 0 for a bad combination.
enum class SourceList { None, System, User, Temporary };

SourceList ListOf(DWORD flags) {
    const DWORD which = flags & (SRCLIST_SYSTEM | SRCLIST_USER | SRCLIST_TEMPORARY | SRCLIST_SYSIFADMIN);
    switch (which) {
        case SRCLIST_SYSTEM:
        case SRCLIST_SYSIFADMIN:  // the tool runs as an administrator
            return SourceList::System;
        case SRCLIST_USER:
            return SourceList::User;
        case SRCLIST_TEMPORARY:
            return SourceList::Temporary;
        default:
            return SourceList::None;
    }
}

// A trailing platform folder ("\i386") is dropped from a source path
// unless the caller asks to keep it.
std::string StripPlatform(const std::string& path, DWORD flags) {
    if (flags & SRCLIST_NOSTRIPPLATFORM) return path;
    for (const char* platform : {"\\i386", "\\x86"}) {
        if (EndsWithNoCase(path, platform)) return path.substr(0, path.size() - std::strlen(platform));
    }
    return path;
}

std::string SourceListPath(SourceList list) {
    return std::string(list == SourceList::System ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + kSourceListKey;
}

}  // namespace

std::vector<std::string> DeviceModel::UserSourceList() const {
    return machine_.registry().GetMultiString(SourceListPath(SourceList::User), kSourceListValue).value_or(
        std::vector<std::string>{});
}

BOOL DeviceModel::SetSourceList(DWORD flags, const char* const* list, UINT count) {
    const SourceList which = ListOf(flags);
    if (which == SourceList::None || (!list && count > 0)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::vector<std::string> items;
    for (UINT i = 0; i < count; ++i) {
        if (!list[i]) {
            machine_.lastError = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
        items.push_back(StripPlatform(list[i], flags));
    }
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : "; ") + item;
    if (which == SourceList::Temporary) {
        temporarySources_ = items;
        machine_.Record("device", "SetupSetSourceList temporary: " + text);
        return TRUE;
    }
    // Setting a stored list ends a temporary one.
    temporarySources_.reset();
    machine_.registry().SetMultiString(SourceListPath(which), kSourceListValue, items);
    machine_.Record("device", std::string("SetupSetSourceList ") + (which == SourceList::User ? "user" : "system") +
                                  ": " + text);
    return TRUE;
}

BOOL DeviceModel::AddToSourceList(DWORD flags, const char* source) {
    const SourceList which = ListOf(flags);
    if (which == SourceList::None || !source) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const std::string item = StripPlatform(source, flags);
    auto insert = [&](std::vector<std::string>& items) {
        items.erase(
            std::remove_if(items.begin(), items.end(), [&](const std::string& s) { return EqualNoCase(s, item); }),
            items.end());
        if (flags & SRCLIST_APPEND) {
            items.push_back(item);
        } else {
            items.insert(items.begin(), item);
        }
    };
    // While a temporary list is in use, it is the only list that changes.
    if (temporarySources_ || which == SourceList::Temporary) {
        if (!temporarySources_) temporarySources_.emplace();
        insert(*temporarySources_);
        machine_.Record("device", "SetupAddToSourceList temporary: " + item);
        return TRUE;
    }
    Registry& registry = machine_.registry();
    std::vector<std::string> items =
        registry.GetMultiString(SourceListPath(which), kSourceListValue).value_or(std::vector<std::string>{});
    insert(items);
    registry.SetMultiString(SourceListPath(which), kSourceListValue, items);
    machine_.Record("device", std::string("SetupAddToSourceList ") + (which == SourceList::User ? "user" : "system") +
                                  ": " + item);
    return TRUE;
}

// ---- the configuration manager -----------------------------------------------

CONFIGRET DeviceModel::LocateDevNode(DEVINST* devInst, const char* deviceId, ULONG flags) {
    if (!devInst) return CR_INVALID_POINTER;
    *devInst = 0;
    if (flags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) return CR_INVALID_FLAG;
    if (!deviceId || !*deviceId || EqualNoCase(deviceId, kRootDeviceId)) {
        *devInst = Nt() ? kNtRootDevInst : kWin9xRootDevInst;
        rootLocated_ = true;
        machine_.Record("device", "CM_Locate_DevNodeA(root)");
        return CR_SUCCESS;
    }
    const std::string id = deviceId;
    if (id.size() >= kMaxDeviceIdLength || id.find('\\') == std::string::npos) return CR_INVALID_DEVICE_ID;
    if (!EnumKeyPath(id)) return CR_NO_SUCH_DEVNODE;
    if (!IsPresent(id) && !(flags & CM_LOCATE_DEVNODE_PHANTOM)) return CR_NO_SUCH_DEVNODE;
    const DWORD value = DevInstOf(id);
    if (value == 0) return CR_NO_SUCH_DEVNODE;
    *devInst = value;
    return CR_SUCCESS;
}

CONFIGRET DeviceModel::Reenumerate(DEVINST devInst, ULONG flags) {
    if (flags & ~static_cast<ULONG>(CM_REENUMERATE_BITS)) return CR_INVALID_FLAG;
    const DWORD root = Nt() ? kNtRootDevInst : kWin9xRootDevInst;
    if (devInst == root && rootLocated_) {
        machine_.Record("device", "CM_Reenumerate_DevNode(root)");
        // The 9x family searches its driver index, rebuilding it first when
        // it is missing.
        if (!Nt()) {
            const FileSystem& files = machine_.files();
            if (!files.Exists(Join(InfFolder(), "drvidx.bin")) || !files.Exists(Join(InfFolder(), "drvdata.bin"))) {
                BuildDriverIndex();
            }
        }
        HandleAllNewHardware();
        return CR_SUCCESS;
    }
    // A device's own devnode: only that device is looked at again.
    for (const std::string& id : PresentDevices()) {
        if (devInst != 0 && DevInstOf(id) == devInst) {
            machine_.Record("device", "CM_Reenumerate_DevNode(" + id + ")");
            HandleNewHardware(id);
            return CR_SUCCESS;
        }
    }
    return CR_INVALID_DEVNODE;
}

// ---- "newdev" -----------------------------------------------------------------

BOOL DeviceModel::UpdateDriver(const char* hardwareId, const char* infPath, DWORD flags, BOOL* rebootRequired) {
    if (flags & ~static_cast<DWORD>(INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE)) {
        machine_.lastError = ERROR_INVALID_FLAGS;
        return FALSE;
    }
    if (!hardwareId || !*hardwareId || std::strlen(hardwareId) >= kMaxDeviceIdLength || !infPath) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    FileSystem& files = machine_.files();
    DWORD attributes = 0;
    if (files.Win32GetAttributes(infPath, &attributes) != ERROR_SUCCESS || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        machine_.lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    const std::string path = infPath;
    machine_.Record("device", std::string("UpdateDriverForPlugAndPlayDevices ") + hardwareId + " " + path +
                                  ((flags & INSTALLFLAG_FORCE) ? " (force)" : ""));

    bool matchedAny = false;
    int installed = 0;
    bool restart = false;
    std::string infName;  // the INF's name in the INF folder, once it is there
    for (const std::string& id : PresentDevices()) {
        const std::optional<DeviceIds> ids = ReadIds(id);
        if (!ids) continue;
        const auto carries = [&](const std::vector<std::string>& list) {
            return std::any_of(list.begin(), list.end(),
                               [&](const std::string& s) { return EqualNoCase(s, hardwareId); });
        };
        if (!carries(ids->hardware) && !carries(ids->compatible)) continue;
        matchedAny = true;
        const std::optional<DriverChoice> choice = BestDriver(id, path);
        if (!choice) continue;  // the INF has no driver for this device
        if (!(flags & INSTALLFLAG_FORCE)) {
            long currentDay = 0;
            const int current = CurrentDriverRank(id, &currentDay);
            if (current < choice->rank || (current == choice->rank && currentDay >= choice->day)) continue;
        }
        if (infName.empty()) {
            if (EqualNoCase(FolderOf(path), InfFolder())) {
                infName = FileNameOf(path);
            } else if (flags & INSTALLFLAG_READONLY) {
                const std::optional<std::string> existing = FindIdenticalOemInf(files.ReadFile(path).value_or(""));
                infName = existing ? FileNameOf(*existing) : FileNameOf(path);
            } else {
                bool reused = false;
                const std::string staged = StageInf(path, SPOST_PATH, FolderOf(path) + "\\", path, &reused);
                if (staged.empty()) return FALSE;
                infName = FileNameOf(staged);
            }
        }
        restart = InstallDriver(id, *choice, infName, path, "UpdateDriverForPlugAndPlayDevices") || restart;
        ++installed;
    }
    if (!matchedAny) {
        machine_.lastError = ERROR_NO_SUCH_DEVINST;
        return FALSE;
    }
    if (installed == 0) {
        machine_.lastError = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    if (Nt()) Broadcast(DBT_DEVNODES_CHANGED, "", 0);
    if (rebootRequired) {
        *rebootRequired = restart ? TRUE : FALSE;
    } else if (restart) {
        // Without the caller's flag Windows asks the user itself.
        machine_.Record("device", "restart prompt after driver update");
    }
    machine_.lastError = ERROR_SUCCESS;
    return TRUE;
}

// ---- the whole tree as text -------------------------------------------------

std::string DeviceModel::Dump() const {
    const Registry& registry = machine_.registry();
    std::vector<std::string> known;
    for (const std::string& bus : registry.SubKeys(EnumRoot())) {
        for (const std::string& device : registry.SubKeys(EnumRoot() + "\\" + bus)) {
            for (const std::string& instance : registry.SubKeys(EnumRoot() + "\\" + bus + "\\" + device)) {
                known.push_back(bus + "\\" + device + "\\" + instance);
            }
        }
    }
    std::ostringstream out;
    for (const std::string& id : known) {
        const std::string path = EnumRoot() + "\\" + id;
        out << id << (IsPresent(id) ? " [present" : " [not present") << (IsStarted(id) ? ", started" : "")
            << (IsDisabled(id) ? ", disabled" : "") << "]\n";
        if (std::optional<DeviceIds> ids = ReadIds(id)) {
            for (const std::string& hw : ids->hardware) out << "  hardware ID   " << hw << "\n";
            for (const std::string& c : ids->compatible) out << "  compatible ID " << c << "\n";
        }
        for (const char* name : {"DeviceDesc", "FriendlyName", "Mfg", "Class", "Driver"}) {
            if (std::optional<std::string> value = registry.GetString(path, name)) {
                out << "  " << name << " = " << *value << "\n";
            }
        }
        if (std::optional<std::string> driverKey = DriverKeyPath(id)) {
            for (const char* name : {"MatchingDeviceId", "DriverDesc", "InfPath", "InfSection", "NetCfgInstanceId"}) {
                if (std::optional<std::string> value = registry.GetString(*driverKey, name)) {
                    out << "    " << name << " = " << *value << "\n";
                }
            }
        } else {
            out << "  (no driver)\n";
        }
    }
    return out.str();
}

}  // namespace sim
