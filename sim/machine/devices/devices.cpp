// The device model's face: describing and inspecting a machine, arrivals
// and departures (tree and driver store together), the configuration
// manager's devnodes, and the whole tree as text.
#include "sim/machine/devices/devices.h"

#include <algorithm>
#include <sstream>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_sets.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/devices/driver_store.h"
#include "sim/machine/devices/source_list.h"
#include "sim/machine/machine.h"

namespace sim {

namespace {

constexpr DWORD kNtRootDevInst = 1;
constexpr DWORD kWin9xRootDevInst = 0xC0001000;
constexpr const char* kRootDeviceId = "HTREE\\ROOT\\0";
constexpr size_t kMaxDeviceIdLength = 200;  // MAX_DEVICE_ID_LEN

}  // namespace

DeviceModel::DeviceModel(Machine& machine)
    : machine_(machine),
      tree_(std::make_unique<DeviceTree>(machine)),
      drivers_(std::make_unique<DriverStore>(machine, *tree_)),
      sets_(std::make_unique<DeviceSets>(machine, *tree_)),
      sources_(std::make_unique<SourceLists>(machine)) {}

DeviceModel::~DeviceModel() = default;

// ---- describing and inspecting ------------------------------------------------

std::string DeviceModel::AddDevice(const DeviceSpec& spec) { return tree_->AddDevice(spec); }
std::string DeviceModel::AddPciAdapter(const PciAdapter& adapter) { return tree_->AddPciAdapter(adapter); }
std::string DeviceModel::AddPcCard(const PcCard& card) { return tree_->AddPcCard(card); }

bool DeviceModel::IsStandardDevice(const std::string& instanceId) const {
    return std::binary_search(standard_.begin(), standard_.end(), Upper(instanceId));
}

bool DeviceModel::SetPresent(const std::string& instanceId, bool present) {
    if (!tree_->EnumKey(instanceId)) return false;
    tree_->SetPresent(instanceId, present);
    return true;
}

void DeviceModel::RequireRestartForInf(const std::string& infFileName) { drivers_->RequireRestartForInf(infFileName); }
void DeviceModel::RequireRestartForDevice(const std::string& instanceId) {
    drivers_->RequireRestartForDevice(instanceId);
}
void DeviceModel::BuildDriverIndex() { drivers_->BuildDriverIndex(); }

std::vector<std::string> DeviceModel::PresentDevices() const { return tree_->PresentDevices(); }
bool DeviceModel::IsPresent(const std::string& instanceId) const { return tree_->IsPresent(instanceId); }
bool DeviceModel::IsStarted(const std::string& instanceId) const { return tree_->IsStarted(instanceId); }
bool DeviceModel::IsDisabled(const std::string& instanceId) const { return tree_->IsDisabled(instanceId); }
std::optional<std::string> DeviceModel::EnumKeyPath(const std::string& instanceId) const {
    return tree_->EnumKeyPath(instanceId);
}
std::optional<std::string> DeviceModel::DriverKeyPath(const std::string& instanceId) const {
    return tree_->DriverKeyPath(instanceId);
}
std::string DeviceModel::InfFolder() const { return drivers_->InfFolder(); }
const std::vector<StagedInf>& DeviceModel::StagedInfs() const { return drivers_->StagedInfs(); }
const std::vector<DeviceChangeBroadcast>& DeviceModel::Broadcasts() const { return tree_->Broadcasts(); }
std::vector<std::string> DeviceModel::UserSourceList() const { return sources_->UserList(); }
size_t DeviceModel::OpenHandleCount() const { return sets_->OpenCount(); }

// ---- arrival and departure ---------------------------------------------------

bool DeviceModel::Arrive(const std::string& instanceId, const std::vector<UINT>& extraEvents) {
    if (!tree_->EnumKey(instanceId) || tree_->IsPresent(instanceId)) return false;
    tree_->SetPresent(instanceId, true);
    machine_.Record("device", "arrive " + instanceId);
    if (machine_.Version() == WindowsVersion::NT4) {
        // NT 4.0 has no Plug and Play: a device that appears is neither
        // installed nor announced; only a later search sees it.
    } else if (tree_->Nt()) {
        // The PnP manager reports the new devnode, then installs a driver
        // for it when one is at hand, which changes the tree again.
        tree_->Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
        const bool hadDriver = tree_->HasWorkingDriver(instanceId);
        drivers_->HandleNewHardware(instanceId);
        if (!hadDriver && tree_->HasWorkingDriver(instanceId)) tree_->Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
    } else {
        // The bus enumerator of the 9x family (the PC Card socket) hands the
        // new node to the configuration manager, which installs its driver
        // from the INFs its driver index knows, then announces the node.
        drivers_->HandleNewHardware(instanceId);
        tree_->Broadcast(DBT_DEVICEARRIVAL, instanceId, tree_->DevInstOf(instanceId));
    }
    for (UINT event : extraEvents) tree_->Broadcast(event, instanceId, 0);
    return true;
}

bool DeviceModel::Leave(const std::string& instanceId, const std::vector<UINT>& extraEvents) {
    if (!tree_->EnumKey(instanceId) || !tree_->IsPresent(instanceId)) return false;
    const DWORD devnode = tree_->DevInstOf(instanceId);
    tree_->SetPresent(instanceId, false);
    machine_.Record("device", "leave " + instanceId);
    if (machine_.Version() == WindowsVersion::NT4) {
        // No Plug and Play: nothing is announced.
    } else if (tree_->Nt()) {
        tree_->Broadcast(DBT_DEVNODES_CHANGED, instanceId, 0);
    } else {
        tree_->Broadcast(DBT_DEVICEREMOVECOMPLETE, instanceId, devnode);
    }
    for (UINT event : extraEvents) tree_->Broadcast(event, instanceId, 0);
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

// ---- the configuration manager -----------------------------------------------

DeviceModel::Located DeviceModel::Locate(const std::string& deviceId, bool phantom) {
    Located located;
    if (deviceId.empty() || EqualNoCase(deviceId, kRootDeviceId)) {
        located.devInst = tree_->Nt() ? kNtRootDevInst : kWin9xRootDevInst;
        rootLocated_ = true;
        machine_.Record("device", "CM_Locate_DevNodeA(root)");
        return located;
    }
    if (deviceId.size() >= kMaxDeviceIdLength || deviceId.find('\\') == std::string::npos) {
        located.result = CR_INVALID_DEVICE_ID;
        return located;
    }
    if (!tree_->EnumKey(deviceId) || (!tree_->IsPresent(deviceId) && !phantom)) {
        located.result = CR_NO_SUCH_DEVNODE;
        return located;
    }
    located.devInst = tree_->DevInstOf(deviceId);
    if (located.devInst == 0) located.result = CR_NO_SUCH_DEVNODE;
    return located;
}

CONFIGRET DeviceModel::Reenumerate(DWORD devInst) {
    const DWORD root = tree_->Nt() ? kNtRootDevInst : kWin9xRootDevInst;
    if (devInst == root && rootLocated_) {
        machine_.Record("device", "CM_Reenumerate_DevNode(root)");
        // The 9x family searches its driver index, rebuilding it first when
        // it is missing.
        if (!tree_->Nt() && !drivers_->DriverIndexComplete()) drivers_->BuildDriverIndex();
        drivers_->HandleAllNewHardware();
        return CR_SUCCESS;
    }
    // A device's own devnode: only that device is looked at again.
    const std::optional<std::string> id = tree_->DeviceOfDevInst(devInst);
    if (!id || !tree_->IsPresent(*id)) return CR_INVALID_DEVNODE;
    machine_.Record("device", "CM_Reenumerate_DevNode(" + *id + ")");
    drivers_->HandleNewHardware(*id);
    return CR_SUCCESS;
}

std::string DeviceModel::DeviceIdOf(DWORD devInst) const {
    if (devInst == (tree_->Nt() ? kNtRootDevInst : kWin9xRootDevInst)) return kRootDeviceId;
    return tree_->DeviceOfDevInst(devInst).value_or("");
}

// ---- the whole tree as text -------------------------------------------------

std::string DeviceModel::Dump() const {
    const Registry& registry = machine_.registry();
    std::ostringstream out;
    for (const std::string& id : tree_->KnownDevices()) {
        const std::string path = tree_->EnumRoot() + "\\" + id;
        out << id << (IsPresent(id) ? " [present" : " [not present") << (IsStarted(id) ? ", started" : "")
            << (IsDisabled(id) ? ", disabled" : "") << "]\n";
        if (std::optional<DeviceIds> ids = tree_->ReadIds(id)) {
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
