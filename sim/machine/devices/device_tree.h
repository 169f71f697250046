// The device tree: which devices the machine knows and which are present,
// where their keys are, and the changes Windows announces.
//
// Devices live where Windows keeps them, so that a machine is its registry
// plus the list of what is present:
//
// NT family (NT 4.0, 2000, XP)
//   HKLM\SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>
//       "HardwareID" (REG_MULTI_SZ), "CompatibleIDs", "DeviceDesc",
//       "FriendlyName", "Mfg", "Driver" = "{class GUID}\NNNN", "Class",
//       "ClassGUID", "ConfigFlags", "Service"
//   HKLM\SYSTEM\CurrentControlSet\Control\Class\{class GUID}\NNNN
//       the driver key: "InfPath", "InfSection", "MatchingDeviceId",
//       "DriverDesc", "ProviderName", "DriverDate", "DriverVersion" and, for
//       network adapters, "ComponentId" and "NetCfgInstanceId"
//   HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current\System\CurrentControlSet\Enum\<instance>
//       "CSConfigFlags": the disable of one hardware profile
//   and the ordered list of present instance IDs kept here (SetupAPI's
//   enumeration order) with the devnode numbers handed out.
//
// 9x family (98 SE, Me)
//   HKEY_DYN_DATA\Config Manager\Enum\<devnode> "HardWareKey": one node per
//       present device, named by its devnode in hex; the nodes ARE the
//       present devices (a node without "HardWareKey" is no device)
//   HKLM\Enum\<hardware key> "HardwareID", "CompatibleIDs" (comma lists),
//       "DeviceDesc", "Mfg", "Driver" = "<class>\NNNN", "Class"
//   HKLM\System\CurrentControlSet\Services\Class\<class>\NNNN the driver
//       key: "MatchingDeviceId", "DriverDesc", "InfPath", "DeviceVxDs",
//       "NTMPDriver", ...
//
// The tree owns the present list, the devnode numbers and the broadcasts
// sent; everything else is the registry's, and whoever changes the
// registry (a scenario, the tool, a restore) changes the devices. Reads
// never fail: a key or value that is missing reads as absent (nullopt, an
// empty KeyRef), and callers answer with Windows' error for that case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/devices/device_types.h"
#include "sim/machine/registry.h"

namespace sim {

class Machine;

class DeviceTree {
public:
    explicit DeviceTree(Machine& machine);
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;

    Machine& machine() const { return machine_; }
    bool Nt() const { return nt_; }

    // ---- where the family keeps things -------------------------------------
    const std::string& EnumRoot() const { return enumRoot_; }
    const std::string& ClassRoot() const { return classRoot_; }
    // The Enum key of a hardware profile; 0 is the current one.
    std::string ProfileEnumRoot(DWORD profile) const;
    static const std::string& CmEnumRoot();
    // The "Status" Windows 98 gives a started node: DN_DRIVER_LOADED,
    // DN_STARTED, DN_DISABLEABLE, DN_REMOVABLE, DN_NT_ENUMERATOR, DN_NT_DRIVER.
    static constexpr DWORD kCmStartedStatus = 0x0600600A;

    // ---- one device's keys ---------------------------------------------------
    // The device's Enum key, held by reference; empty when there is none.
    KeyRef EnumKey(std::string_view instanceId) const;
    // The driver key an Enum key's "Driver" value names; empty without one.
    KeyRef DriverKeyOf(const KeyRef& enumKey) const;
    // Full registry paths of the device's keys; nullopt without one.
    std::optional<std::string> EnumKeyPath(const std::string& instanceId) const;
    std::optional<std::string> DriverKeyPath(const std::string& instanceId) const;
    // The "Driver" value; nullopt when missing or empty.
    std::optional<std::string> DriverValue(const std::string& instanceId) const;
    bool HasWorkingDriver(const std::string& instanceId) const;
    // The ID lists of an Enum key, in the family's format.
    DeviceIds IdsOf(const KeyRef& enumKey) const;
    std::optional<DeviceIds> ReadIds(const std::string& instanceId) const;
    // Every device the registry knows (enumerator\device\instance below
    // the Enum root), in registry order.
    std::vector<std::string> KnownDevices() const;

    // ---- presence and state -----------------------------------------------
    std::vector<std::string> PresentDevices() const;
    // NT: how many devices are present (the 9x family counts its nodes).
    size_t PresentCount() const { return present_.size(); }
    bool IsPresent(const std::string& instanceId) const;
    // Disabled globally ("ConfigFlags") or in the current hardware profile.
    bool IsDisabled(const std::string& instanceId) const;
    // Present, with a driver, neither disabled nor kept from starting.
    bool IsStarted(const std::string& instanceId) const;
    // Enters or leaves the present set, without telling anyone.
    void SetPresent(const std::string& instanceId, bool present);

    // The present devices in enumeration order with their devnodes and Enum
    // keys (empty when the registry has none), without looking their paths
    // up again: what a SetupAPI set is made of.
    // The ID handed to the visitor lives as long as the tree.
    using PresentVisitor = std::function<void(const std::string& id, DWORD devInst, const KeyRef& enumKey)>;
    void VisitPresent(const PresentVisitor& visit);
    // The tree's own copy of an instance ID (the spelling first met), which
    // lives as long as the tree.
    const std::string& Intern(const std::string& instanceId) { return NodeOf(instanceId).id; }

    // The devnode of a device: NT hands numbers out on first use (1 is the
    // root); the 9x family names its Config Manager nodes by them. 0 when
    // a 9x device has no node.
    DWORD DevInstOf(const std::string& instanceId);
    // The device a devnode stands for; nullopt for none (or the root).
    std::optional<std::string> DeviceOfDevInst(DWORD devInst) const;
    // 9x: the Config Manager node of a hardware key.
    std::optional<std::string> CmNodeOf(const std::string& hardwareKey) const;

    // ---- describing a machine (device_description.cpp) ---------------------
    std::string AddDevice(const DeviceSpec& spec);
    std::string AddPciAdapter(const PciAdapter& adapter);
    std::string AddPcCard(const PcCard& card);
    // Writes a driver key for the device and points its "Driver" value at it.
    void WriteDriver(const std::string& instanceId, const std::string& className, const std::string& classGuid,
                     const InstalledDriver& driver);
    // The lowest four-digit instance free below a class key.
    std::string NextDriverInstance(const std::string& classKeyPath) const;
    // A made-up but stable interface GUID for a network adapter.
    std::string MakeGuid(const std::string& seed);

    // ---- changes (device_changes.cpp) --------------------------------------
    // Sends WM_DEVICECHANGE to the tool's windows and keeps a record.
    void Broadcast(UINT event, const std::string& instanceId, DWORD devnode);
    // Takes a device out of the present set and the registry (its Enum
    // key, its hardware-profile entry and, with DriverKey::Delete, its
    // driver key), as the class installer's DIF_REMOVE does, and announces
    // it when it was present. The utility's device-removal program keeps
    // the driver key.
    enum class DriverKey { Delete, Keep };
    void RemoveDevice(const std::string& instanceId, DriverKey driverKey = DriverKey::Delete);
    const std::vector<DeviceChangeBroadcast>& Broadcasts() const { return broadcasts_; }

private:
    // One device the tree has met: its devnode and its Enum key, kept by
    // reference and looked up again only when it was deleted.
    struct Node {
        std::string id;
        DWORD devInst = 0;
        bool present = false;
        KeyRef enumKey;
    };
    Node& NodeOf(const std::string& instanceId);
    const Node* FindNode(const std::string& instanceId) const;
    const KeyRef& FreshEnumKey(Node& node) const;
    KeyRef EnumRootKey() const;
    std::string NewCmNodeName();
    std::optional<DWORD> FlagValue(const std::string& path, const char* name) const;

    Machine& machine_;
    const bool nt_;
    const std::string enumRoot_;
    const std::string classRoot_;
    mutable KeyRef enumRootKey_;

    // Every device met, by upper-cased instance ID, and (NT) the present
    // ones in enumeration order (pointers into `nodes_`, which never loses
    // an entry).
    std::unordered_map<std::string, std::unique_ptr<Node>> nodes_;
    std::vector<Node*> present_;
    std::unordered_map<DWORD, Node*> byDevInst_;
    DWORD nextDevInst_ = 2;

    std::vector<DeviceChangeBroadcast> broadcasts_;
    std::uint32_t guidCounter_ = 0;
    std::uint32_t pciSlot_ = 0;
    std::uint32_t nextCmNode_ = 0xC29A5A40;
};

// Small text helpers the device rooms share.
namespace devices {
std::string JoinFolder(const std::string& folder, const std::string& name);
std::string FileNameOf(const std::string& path);
std::string FolderOf(const std::string& path);
bool EndsWithNoCase(const std::string& text, const std::string& end);
std::vector<std::string> SplitComma(const std::string& text);
std::string JoinComma(const std::vector<std::string>& items);
// The strings of a REG_MULTI_SZ, up to the empty string that ends it.
std::vector<std::string> SplitMultiSz(std::string_view data);
std::string MultiSz(const std::vector<std::string>& items);
// "{4D36E972-E325-11CE-BFC1-08002BE10318}" as a GUID; the null GUID when
// the text is not one.
GUID ParseGuid(std::string_view text);
}  // namespace devices

}  // namespace sim
