// Changes to the device tree that Windows announces: WM_DEVICECHANGE
// broadcasts (the tree keeps their record; the headers they point to live
// until the window manager has delivered them) and the removal of a device
// with its keys. Removal takes what is there and passes over what is not:
// nothing here fails.
#include <memory>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

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

}  // namespace

void DeviceTree::Broadcast(UINT event, const std::string& instanceId, DWORD devnode) {
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

void DeviceTree::RemoveDevice(const std::string& instanceId, DriverKey driverKey) {
    Registry& registry = machine_.registry();
    const DWORD devnode = nt_ ? 0 : DevInstOf(instanceId);
    const bool wasPresent = IsPresent(instanceId);
    const std::optional<std::string> driverPath = DriverKeyPath(instanceId);
    if (driverPath && driverKey == DriverKey::Delete) registry.DeleteKeyTree(*driverPath);
    SetPresent(instanceId, false);
    const std::string enumPath = enumRoot_ + "\\" + instanceId;
    registry.DeleteKeyTree(enumPath);
    // The device's key goes with its last instance.
    const std::string parent = devices::FolderOf(enumPath);
    if (devices::FolderOf(parent) != enumRoot_ && registry.KeyExists(parent) && registry.SubKeys(parent).empty() &&
        registry.ValueNames(parent).empty()) {
        registry.DeleteKeyTree(parent);
    }
    const std::string profilePath = ProfileEnumRoot(0) + "\\" + instanceId;
    if (registry.KeyExists(profilePath)) registry.DeleteKeyTree(profilePath);
    machine_.Record("device", "remove " + instanceId);
    if (wasPresent) Broadcast(nt_ ? DBT_DEVNODES_CHANGED : DBT_DEVICEREMOVECOMPLETE, instanceId, devnode);
}

}  // namespace sim
