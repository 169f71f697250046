// Writing a standard machine's devices: their Enum keys, driver keys,
// class keys, hardware-profile entries and presence, as Windows keeps them
// on each family. Written before anything else, without recording.
#include "sim/machine/devices/standard_devices.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace sim {

namespace standard {

namespace {

const DeviceClass kClasses[] = {
    {"Computer", "{4D36E966-E325-11CE-BFC1-08002BE10318}", "Computer"},
    {"System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}", "System devices"},
    {"Processor", "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}", "Processors"},
    {"hdc", "{4D36E96A-E325-11CE-BFC1-08002BE10318}", "IDE ATA/ATAPI controllers"},
    {"DiskDrive", "{4D36E967-E325-11CE-BFC1-08002BE10318}", "Disk drives"},
    {"CDROM", "{4D36E965-E325-11CE-BFC1-08002BE10318}", "DVD/CD-ROM drives"},
    {"fdc", "{4D36E969-E325-11CE-BFC1-08002BE10318}", "Floppy disk controllers"},
    {"FloppyDisk", "{4D36E980-E325-11CE-BFC1-08002BE10318}", "Floppy disk drives"},
    {"Display", "{4D36E968-E325-11CE-BFC1-08002BE10318}", "Display adapters"},
    {"Monitor", "{4D36E96E-E325-11CE-BFC1-08002BE10318}", "Monitors"},
    {"Keyboard", "{4D36E96B-E325-11CE-BFC1-08002BE10318}", "Keyboards"},
    {"Mouse", "{4D36E96F-E325-11CE-BFC1-08002BE10318}", "Mice and other pointing devices"},
    {"Ports", "{4D36E978-E325-11CE-BFC1-08002BE10318}", "Ports (COM & LPT)"},
    {"USB", "{36FC9E60-C465-11CF-8056-444553540000}", "Universal Serial Bus controllers"},
    {"HIDClass", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}", "Human Interface Devices"},
    {"HID", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}", "Human Interface Devices"},
    {"MEDIA", "{4D36E96C-E325-11CE-BFC1-08002BE10318}", "Sound, video and game controllers"},
    {"Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}", "Network adapters"},
    {"NetTrans", "{4D36E975-E325-11CE-BFC1-08002BE10318}", "Network Protocol"},
    {"NetClient", "{4D36E973-E325-11CE-BFC1-08002BE10318}", "Network Client"},
    {"Printer", "{4D36E979-E325-11CE-BFC1-08002BE10318}", "Printers"},
    {"Volume", "{71A27CDD-812A-11D0-BEC7-08002BE2092F}", "Storage volumes"},
    {"LegacyDriver", "{8ECC055D-047F-11D1-A537-0000F8753ED1}", "Non-Plug and Play Drivers"},
    {"Unknown", "{4D36E97E-E325-11CE-BFC1-08002BE10318}", "Other devices"},
};

// The drivers Windows installed with itself: their provider and date.
struct InboxDrivers {
    const char* provider;
    const char* date;
    const char* version;
};

InboxDrivers InboxDriversOf(WindowsVersion version) {
    switch (version) {
        case WindowsVersion::Win98SE:
            return {"Microsoft", "4-23-1999", "4.10.2222"};
        case WindowsVersion::WinMe:
            return {"Microsoft", "6-8-2000", "4.90.3000"};
        case WindowsVersion::Win2000:
            return {"Microsoft", "6-6-2001", "5.0.2195.6655"};
        default:
            return {"Microsoft", "7-1-2001", "5.1.2600.0"};
    }
}

// A node of a legacy driver has a "Control" key of its own while it runs.
void WriteLegacyNode(Registry& registry, const std::string& path, const Device& device) {
    registry.SetDword(path, "Legacy", 1);
    const std::string control = path + "\\Control";
    if (device.present) {
        registry.SetDword(control, "*NewlyCreated*", 0);
        registry.SetString(control, "ActiveService", device.service);
    }
    // The device key counts its instances.
    registry.SetDword(path.substr(0, path.find_last_of('\\')), "NextInstance", 1);
}

}  // namespace

const DeviceClass* FindClass(const std::string& name) {
    for (const DeviceClass& c : kClasses) {
        if (EqualNoCase(name, c.name)) return &c;
    }
    return nullptr;
}

std::vector<std::string> SplitBars(const char* text) {
    std::vector<std::string> out;
    std::string item;
    for (const char* p = text; *p; ++p) {
        if (*p == '|') {
            out.push_back(item);
            item.clear();
        } else {
            item += *p;
        }
    }
    if (!item.empty() || !out.empty()) out.push_back(item);
    return out;
}

}  // namespace standard

namespace {

// What writing a kind's standard devices did, kept for the next machine of
// that kind: the registry before and after, and the present list. Writing
// them key by key costs far more than putting the finished tree in place,
// and tests make many machines.
struct Furnished {
    RegistrySnapshot before;
    RegistrySnapshot after;
    std::vector<std::string> present;   // NT, in enumeration order
    std::vector<std::string> standard;  // upper-cased, sorted
};

std::mutex g_furnishedLock;
std::map<WindowsVersion, Furnished> g_furnished;

}  // namespace

void DeviceModel::AddStandardDevices() {
    Registry& registry = machine_.registry();
    RegistrySnapshot before = registry.Snapshot();
    {
        // The same kind from the same start: the same devices.
        std::lock_guard<std::mutex> lock(g_furnishedLock);
        auto it = g_furnished.find(machine_.Version());
        if (it != g_furnished.end() && it->second.before == before) {
            registry.Restore(it->second.after);
            for (const std::string& id : it->second.present) tree_->SetPresent(id, true);
            standard_ = it->second.standard;
            return;
        }
    }
    WriteStandardDevices();
    Furnished furnished{std::move(before), registry.Snapshot(),
                        tree_->Nt() ? tree_->PresentDevices() : std::vector<std::string>{}, standard_};
    std::lock_guard<std::mutex> lock(g_furnishedLock);
    g_furnished[machine_.Version()] = std::move(furnished);
}

void DeviceModel::WriteStandardDevices() {
    using standard::Device;
    DeviceTree& tree = *tree_;
    Registry& registry = machine_.registry();
    const bool nt = tree.Nt();
    const std::vector<Device> devices =
        nt ? standard::NtDevices(machine_.Version()) : standard::NineXDevices(machine_.Version());
    const standard::InboxDrivers inbox = standard::InboxDriversOf(machine_.Version());

    // Driver instances are handed out per class in the order Windows met
    // the devices; the network class starts at 0001 on NT (see the header).
    std::map<std::string, int> nextInstance;
    if (nt) nextInstance["Net"] = 1;
    for (const Device& device : devices) {
        const standard::DeviceClass* deviceClass = standard::FindClass(device.className);
        const std::string path = tree.EnumRoot() + "\\" + device.id;
        registry.CreateKey(path);
        if (device.hasHardwareIds) {
            if (nt) {
                registry.SetMultiString(path, "HardwareID", device.hardwareIds);
            } else {
                registry.SetString(path, "HardwareID", devices::JoinComma(device.hardwareIds));
            }
        }
        if (!device.compatibleIds.empty()) {
            if (nt) {
                registry.SetMultiString(path, "CompatibleIDs", device.compatibleIds);
            } else {
                registry.SetString(path, "CompatibleIDs", devices::JoinComma(device.compatibleIds));
            }
        }
        if (!device.service.empty()) registry.SetString(path, "Service", device.service);
        if (!device.desc.empty()) registry.SetString(path, "DeviceDesc", device.desc);
        if (!device.mfg.empty()) registry.SetString(path, "Mfg", device.mfg);
        if (deviceClass) {
            registry.SetString(path, "Class", deviceClass->name);
            if (nt) registry.SetString(path, "ClassGUID", deviceClass->guid);
        }
        if (nt) {
            registry.SetDword(path, "ConfigFlags", device.configFlags);
        } else {
            registry.SetValue(path, "ConfigFlags", REG_BINARY, Le32(device.configFlags));
        }
        if (device.legacy) standard::WriteLegacyNode(registry, path, device);

        if (!device.inf.empty() && deviceClass) {
            InstalledDriver driver;
            driver.matchingDeviceId = device.matching;
            driver.driverDesc = device.desc;
            driver.infPath = device.inf;
            driver.infSection = device.section;
            driver.providerName = inbox.provider;
            driver.driverDate = inbox.date;
            driver.driverVersion = inbox.version;
            driver.netCfgInstanceId = device.netCfgInstanceId;
            driver.deviceVxDs = device.deviceVxDs;
            char instance[16];
            std::snprintf(instance, sizeof instance, "%04d", nextInstance[deviceClass->name]++);
            driver.instance = instance;
            tree.WriteDriver(device.id, deviceClass->name, deviceClass->guid, driver);
            const std::string classKey = tree.ClassRoot() + "\\" + (nt ? deviceClass->guid : deviceClass->name);
            registry.SetString(classKey, "", deviceClass->title);
            if (nt) registry.SetString(classKey, "Class", deviceClass->name);
            if (!device.devLoader.empty()) {
                registry.SetString(classKey + "\\" + instance, "DevLoader", device.devLoader);
            }
        }
        if (device.profileDisabled) {
            registry.SetDword(tree.ProfileEnumRoot(0) + "\\" + device.id, "CSConfigFlags", CSCONFIGFLAG_DISABLED);
        }
        if (device.present) {
            if (nt) {
                tree.SetPresent(device.id, true);
            } else {
                const std::string node = DeviceTree::CmEnumRoot() + "\\" + device.cmNode;
                registry.SetString(node, "HardWareKey", device.id);
                registry.SetValue(node, "Problem", REG_BINARY, Le32(0));
                registry.SetValue(node, "Status", REG_BINARY, Le32(DeviceTree::kCmStartedStatus));
            }
        }
        standard_.push_back(Upper(device.id));
    }
    if (!nt) {
        for (const std::string& name : standard::NineXNodesWithoutDevice()) {
            const std::string node = DeviceTree::CmEnumRoot() + "\\" + name;
            registry.SetValue(node, "Problem", REG_BINARY, Le32(0));
            registry.SetValue(node, "Status", REG_BINARY, Le32(DeviceTree::kCmStartedStatus));
        }
    }
    std::sort(standard_.begin(), standard_.end());
}

}  // namespace sim
