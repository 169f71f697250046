// The emulated devices of one machine: the rooms that make them up, and the
// face scenarios and tests use to describe and inspect a machine.
//
//   device_tree.h    devices known and present, their Enum keys, hardware
//                    profile flags, devnodes, 9x Config Manager nodes,
//                    WM_DEVICECHANGE broadcasts and removal
//   driver_store.h   the INF folder, oemN.inf staging, driver ranking and
//                    installation, new hardware, the 9x driver index
//   device_sets.h    SetupAPI device information sets, properties,
//                    class-install parameters, state changes, DIF_REMOVE
//   source_list.h    the setup source lists
//   standard_devices.h  the devices a fresh machine of each kind carries
//
// The model owns the rooms; the registry and the drive hold what the rooms
// describe. Nothing here knows a Win32 buffer: the entry points in
// sim/dlls/setupapi, cfgmgr32 and newdev check arguments, turn handles into
// model objects, ask for failures on demand and copy results out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/errors.h"
#include "sim/include/types.h"
#include "sim/machine/clock.h"
#include "sim/machine/devices/device_types.h"

namespace sim {

class DeviceSets;
class DeviceTree;
class DriverStore;
class Machine;
class SourceLists;

class DeviceModel {
public:
    explicit DeviceModel(Machine& machine);
    ~DeviceModel();
    DeviceModel(const DeviceModel&) = delete;
    DeviceModel& operator=(const DeviceModel&) = delete;

    DeviceTree& tree() { return *tree_; }
    DriverStore& drivers() { return *drivers_; }
    DeviceSets& sets() { return *sets_; }
    SourceLists& sources() { return *sources_; }

    // ---- describing a machine ---------------------------------------------
    // Each writes the device's keys for the machine's family and returns its
    // instance ID (9x: its hardware key). A device added as present with no
    // driver is not installed here: that is Windows' new-hardware
    // handling, which runs when a device arrives or the tree is
    // re-enumerated.
    std::string AddDevice(const DeviceSpec& spec);
    std::string AddPciAdapter(const PciAdapter& adapter);
    std::string AddPcCard(const PcCard& card);

    // The devices a real machine of this kind carries (standard_devices.cpp);
    // a machine built with Furnishing::Standard has them from the start.
    void AddStandardDevices();
    // Whether a device is one of those (the run's report leaves them out).
    bool IsStandardDevice(const std::string& instanceId) const;

    // Makes a device present or not present at once, without notifying
    // anyone (a machine as it was before the tool started). False for a
    // device the registry does not know.
    bool SetPresent(const std::string& instanceId, bool present);

    // A device arriving or leaving now, as hardware does: it enters or
    // leaves the present set, new hardware is handled (NT), and the
    // WM_DEVICECHANGE messages Windows sends are broadcast, followed by any
    // `extraEvents` a scenario asks for (lParam 0).
    bool Arrive(const std::string& instanceId, const std::vector<UINT>& extraEvents = {});
    bool Leave(const std::string& instanceId, const std::vector<UINT>& extraEvents = {});
    // The same at a virtual time, as clock events.
    Clock::EventId ArriveAt(Clock::Millis when, const std::string& instanceId,
                            const std::vector<UINT>& extraEvents = {});
    Clock::EventId LeaveAt(Clock::Millis when, const std::string& instanceId,
                           const std::vector<UINT>& extraEvents = {});

    // Installing a driver from this INF (compared by file name), or on this
    // device, needs a Windows restart.
    void RequireRestartForInf(const std::string& infFileName);
    void RequireRestartForDevice(const std::string& instanceId);

    // 9x: writes "drvidx.bin" and "drvdata.bin" in the INF folder, indexing
    // every INF there now.
    void BuildDriverIndex();

    // ---- what the machine looks like ------------------------------------
    std::vector<std::string> PresentDevices() const;
    bool IsPresent(const std::string& instanceId) const;
    // Present, with a driver, and disabled neither globally nor in the
    // current hardware profile.
    bool IsStarted(const std::string& instanceId) const;
    bool IsDisabled(const std::string& instanceId) const;
    // Full registry paths of the device's keys; nullopt without one.
    std::optional<std::string> EnumKeyPath(const std::string& instanceId) const;
    std::optional<std::string> DriverKeyPath(const std::string& instanceId) const;
    // The INF folder ("C:\WINDOWS\inf").
    std::string InfFolder() const;

    const std::vector<StagedInf>& StagedInfs() const;
    const std::vector<DeviceChangeBroadcast>& Broadcasts() const;
    // The current user's source list, as stored in the registry.
    std::vector<std::string> UserSourceList() const;
    // The whole tree as text: one block per known device.
    std::string Dump() const;

    // Device information sets the tool holds open.
    size_t OpenHandleCount() const;

    // ---- the configuration manager (sim/dlls/cfgmgr32) ----------------------
    struct Located {
        CONFIGRET result = 0;
        DWORD devInst = 0;
    };
    // The devnode of a device ID; the root for an empty ID or the root's.
    Located Locate(const std::string& deviceId, bool phantom);
    // Looks at a devnode again: the located root means the whole tree
    // (new hardware everywhere; the 9x family rebuilds a missing driver
    // index first), a device's own devnode means that device.
    CONFIGRET Reenumerate(DWORD devInst);
    // The device ID a devnode stands for ("HTREE\ROOT\0" for the root);
    // empty for none.
    std::string DeviceIdOf(DWORD devInst) const;

private:
    void WriteStandardDevices();

    Machine& machine_;
    std::unique_ptr<DeviceTree> tree_;
    std::unique_ptr<DriverStore> drivers_;
    std::unique_ptr<DeviceSets> sets_;
    std::unique_ptr<SourceLists> sources_;
    std::vector<std::string> standard_;  // upper-cased instance IDs, sorted
    bool rootLocated_ = false;
};

}  // namespace sim
