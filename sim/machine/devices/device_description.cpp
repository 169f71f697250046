// Describing a machine's devices: the keys a device and its installed
// driver have, written as Windows writes them for the machine's family.
// Nothing here is announced or recorded: it is the machine as it was
// before the tool started.
#include <cstdio>
#include <functional>
#include <string>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/machine.h"

namespace sim {

std::string DeviceTree::NextDriverInstance(const std::string& classKeyPath) const {
    // Sub-keys come in registry order, where four-digit names are in
    // numeric order: the first gap is the lowest free instance.
    unsigned long next = 0;
    for (const std::string& name : machine_.registry().SubKeys(classKeyPath)) {
        if (name.size() != 4 || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const unsigned long number = std::stoul(name);
        if (number > next) break;
        if (number == next) ++next;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04lu", next);
    return text;
}

std::string DeviceTree::MakeGuid(const std::string& seed) {
    const std::uint32_t hash = static_cast<std::uint32_t>(std::hash<std::string>{}(Upper(seed)));
    ++guidCounter_;
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", static_cast<unsigned>(hash),
                  static_cast<unsigned>(guidCounter_ & 0xFFFF), 0x4A3Eu, static_cast<unsigned>(0x8000 | (hash >> 20)),
                  static_cast<unsigned>((hash >> 4) & 0xFFFF), static_cast<unsigned>(0x7E3D0000u + guidCounter_));
    return text;
}

void DeviceTree::WriteDriver(const std::string& instanceId, const std::string& className, const std::string& classGuid,
                             const InstalledDriver& driver) {
    Registry& registry = machine_.registry();
    const std::string enumPath = enumRoot_ + "\\" + instanceId;
    const std::string classPart = nt_ ? classGuid : className;
    const std::string classKey = classRoot_ + "\\" + classPart;
    const std::string instance = driver.instance.empty() ? NextDriverInstance(classKey) : driver.instance;
    const std::string path = classKey + "\\" + instance;
    registry.CreateKey(path);
    const std::pair<const char*, const std::string*> texts[] = {
        {"DriverDesc", &driver.driverDesc},
        {"ProviderName", &driver.providerName},
        {"InfPath", &driver.infPath},
        {"InfSection", &driver.infSection},
        {"MatchingDeviceId", &driver.matchingDeviceId},
        {"DriverDate", &driver.driverDate},
        {"DriverVersion", &driver.driverVersion},
    };
    for (const auto& [name, text] : texts) {
        if (!text->empty()) registry.SetString(path, name, *text);
    }
    if (nt_) {
        if (EqualNoCase(classGuid, kNetClassGuid)) {
            if (!driver.matchingDeviceId.empty()) registry.SetString(path, "ComponentId", driver.matchingDeviceId);
            registry.SetString(path, "NetCfgInstanceId",
                               driver.netCfgInstanceId.empty() ? MakeGuid(instanceId) : driver.netCfgInstanceId);
        }
    } else {
        // The 9x family loads a network adapter's driver through NDIS: its
        // INF names NDIS as the device loader, the miniport (a VxD or an
        // NDIS 5 ".sys") in "DeviceVxDs" and, for an NDIS 5 miniport, in
        // "NTMPDriver" too.
        if (EqualNoCase(className, "Net")) registry.SetString(path, "DevLoader", "*ndis");
        if (!driver.deviceVxDs.empty()) registry.SetString(path, "DeviceVxDs", driver.deviceVxDs);
        if (!driver.ntmpDriver.empty()) registry.SetString(path, "NTMPDriver", driver.ntmpDriver);
    }
    registry.SetString(enumPath, "Driver", classPart + "\\" + instance);
}

std::string DeviceTree::AddDevice(const DeviceSpec& spec) {
    Registry& registry = machine_.registry();
    const std::string path = enumRoot_ + "\\" + spec.instanceId;
    registry.CreateKey(path);
    if (nt_) {
        registry.SetMultiString(path, "HardwareID", spec.hardwareIds);
        if (!spec.compatibleIds.empty()) registry.SetMultiString(path, "CompatibleIDs", spec.compatibleIds);
    } else {
        registry.SetString(path, "HardwareID", devices::JoinComma(spec.hardwareIds));
        if (!spec.compatibleIds.empty())
            registry.SetString(path, "CompatibleIDs", devices::JoinComma(spec.compatibleIds));
    }
    if (!spec.deviceDesc.empty()) registry.SetString(path, "DeviceDesc", spec.deviceDesc);
    if (!spec.friendlyName.empty()) registry.SetString(path, "FriendlyName", spec.friendlyName);
    if (!spec.mfg.empty()) registry.SetString(path, "Mfg", spec.mfg);
    if (!spec.className.empty()) registry.SetString(path, "Class", spec.className);
    if (nt_) {
        if (!spec.classGuid.empty()) registry.SetString(path, "ClassGUID", spec.classGuid);
        registry.SetDword(path, "ConfigFlags", 0);
    }
    if (spec.driver) WriteDriver(spec.instanceId, spec.className, spec.classGuid, *spec.driver);
    if (spec.present) SetPresent(spec.instanceId, true);
    return spec.instanceId;
}

std::string DeviceTree::AddPciAdapter(const PciAdapter& adapter) {
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
        if (nt_) {
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
    const int slot =
        static_cast<int>(std::hash<std::string>{}(spec.hardwareIds.front()) % 0x100) ^ static_cast<int>(pciSlot_++);
    std::string suffix = adapter.instanceSuffix;
    if (suffix.empty()) {
        char text[64];
        if (nt_) {
            std::snprintf(text, sizeof text, "4&%08X&0&%02X%02X", 0x1A2B3C00u + static_cast<unsigned>(slot & 0xFF),
                          static_cast<unsigned>(slot & 0xFF), 0xF0u);
        } else {
            std::snprintf(text, sizeof text, "BUS_02&DEV_%02X&FUNC_00", static_cast<unsigned>(slot & 0x1F));
        }
        suffix = text;
    }
    spec.instanceId = venDev + subsys + rev + "\\" + suffix;
    // Two adapters of one model in one machine: a slot not taken yet.
    while (EnumKey(spec.instanceId)) spec.instanceId += "0";
    spec.deviceDesc = adapter.deviceDesc;
    spec.mfg = adapter.mfg;
    spec.driver = adapter.driver;
    spec.present = adapter.present;
    return AddDevice(spec);
}

std::string DeviceTree::AddPcCard(const PcCard& card) {
    DeviceSpec spec;
    spec.instanceId = card.hardwareId + "\\" + card.instance;
    spec.hardwareIds = {card.hardwareId};
    spec.deviceDesc = card.deviceDesc;
    spec.mfg = card.mfg;
    spec.driver = card.driver;
    spec.present = card.present;
    return AddDevice(spec);
}

}  // namespace sim
