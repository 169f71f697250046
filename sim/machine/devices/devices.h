// The emulated device tree.
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
//   enumeration order).
//
// 9x family (98 SE, Me)
//   HKEY_DYN_DATA\Config Manager\Enum\<devnode> "HardWareKey": one node per
//       present device, named by its devnode in hex; the nodes ARE the
//       present devices
//   HKLM\Enum\<hardware key> "HardwareID", "CompatibleIDs" (comma lists),
//       "DeviceDesc", "Mfg", "Driver" = "<class>\NNNN", "Class"
//   HKLM\System\CurrentControlSet\Services\Class\<class>\NNNN the driver
//       key: "MatchingDeviceId", "DriverDesc", "InfPath", "DeviceVxDs",
//       "NTMPDriver", ...
//
// Nothing else is kept about a device: a scenario given as a .reg file and
// a list of present devices is a complete machine. What the model adds is
// behaviour: SetupAPI sets, state changes and removal, the configuration
// manager's re-enumeration, "newdev" driver updates, OEM INF staging, the
// user's source list, Windows' own new-hardware installation, devices that
// arrive or leave at a virtual time with the WM_DEVICECHANGE broadcasts
// Windows sends then, and the driver index of the 9x family.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sim/include/setupapi.h"
#include "sim/include/types.h"
#include "sim/machine/clock.h"

namespace sim {

class Machine;
class InfFile;
struct InfModel;
struct InfPlatform;

// The network adapters' class.
extern const char* const kNetClassGuid;  // "{4D36E972-E325-11CE-BFC1-08002BE10318}"

// A driver that is already installed on a device when a scenario adds it.
struct InstalledDriver {
    std::string matchingDeviceId;  // also "ComponentId" of a network adapter on NT
    std::string driverDesc;
    std::string infPath;           // e.g. "oem3.inf"
    std::string infSection;
    std::string providerName;
    std::string netCfgInstanceId;  // NT network adapters; made up when empty
    std::string deviceVxDs;        // 9x
    std::string ntmpDriver;        // 9x
    std::string instance;          // "0003"; the next free one when empty
};

// A device as a scenario describes it.
struct DeviceSpec {
    // NT: the device instance ID ("PCI\VEN_168C&...\3&61AAA01&0&58");
    // 9x: the hardware key below HKLM\Enum ("PCMCIA\...\1").
    std::string instanceId;
    std::vector<std::string> hardwareIds;
    std::vector<std::string> compatibleIds;
    std::string deviceDesc;
    std::string friendlyName;  // NT only; not written when empty
    std::string mfg;
    std::string className = "Net";
    std::string classGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
    std::optional<InstalledDriver> driver;
    bool present = true;
};

// A PCI network adapter; its IDs are made as the PCI bus makes them.
struct PciAdapter {
    std::string vendor = "168C";
    std::string device = "0012";
    std::string subsystem = "1022168C";
    std::string revision = "01";
    std::string deviceDesc = "Zelmar 802.11a/b/g Wireless Adapter";
    std::string mfg = "Zelmar";
    std::string instanceSuffix;  // "4&1A2B3C4D&0&10F0"; made up when empty
    // Replace the IDs the bus would report (first = most specific).
    std::vector<std::string> hardwareIds;
    std::optional<InstalledDriver> driver;
    bool present = true;
};

// A PC Card: "PCMCIA\<manufacturer>-<product>-<hash>".
struct PcCard {
    std::string hardwareId = "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E";
    std::string deviceDesc = "Zelmar Solvane 802.11b LAN PC Card";
    std::string mfg = "Zelmar";
    std::string instance = "1";
    std::optional<InstalledDriver> driver;
    bool present = true;
};

// A copy of an INF into the INF folder (SetupCopyOEMInfA, or a driver
// update that copied its INF there).
struct StagedInf {
    Clock::Millis time = 0;
    std::string source;         // as the caller named it
    std::string destination;    // full path of the oemN.inf
    DWORD mediaType = 0;        // SPOST_*
    std::string mediaLocation;  // recorded source location ("" for SPOST_NONE)
    bool reused = false;        // an identical oemN.inf was already there
};

// One WM_DEVICECHANGE broadcast to the tool's windows.
struct DeviceChangeBroadcast {
    Clock::Millis time = 0;
    UINT event = 0;            // DBT_*
    DWORD devnode = 0;         // for a DBT_DEVTYP_DEVNODE header; 0 otherwise
    std::string instanceId;    // the device it was about ("" when none)
};

class DeviceModel {
public:
    explicit DeviceModel(Machine& machine);
    ~DeviceModel();
    DeviceModel(const DeviceModel&) = delete;
    DeviceModel& operator=(const DeviceModel&) = delete;

    // ---- describing a machine ---------------------------------------------
    // Each writes the device's keys for the machine's family and returns its
    // instance ID (9x: its hardware key). A device added as present with no
    // driver is not installed here: that is Windows' new-hardware
    // handling, which runs when a device arrives or the tree is
    // re-enumerated.
    std::string AddDevice(const DeviceSpec& spec);
    std::string AddPciAdapter(const PciAdapter& adapter);
    std::string AddPcCard(const PcCard& card);

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

    // Installing a driver from this INF (compared by file name, the source
    // as the caller named it or its copy in the INF folder), or on this
    // device, needs a Windows restart.
    void RequireRestartForInf(const std::string& infFileName);
    void RequireRestartForDevice(const std::string& instanceId);

    // 9x: writes "drvidx.bin" and "drvdata.bin" in the INF folder, indexing
    // every INF there now. INFs added later stay hidden from new-hardware
    // installation until the index files are deleted.
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

    const std::vector<StagedInf>& StagedInfs() const { return staged_; }
    const std::vector<DeviceChangeBroadcast>& Broadcasts() const { return broadcasts_; }
    // The current user's source list, as stored in the registry.
    std::vector<std::string> UserSourceList() const;
    // The whole tree as text: one block per known device.
    std::string Dump() const;

    // Device information sets the tool holds open.
    size_t OpenHandleCount() const { return sets_.size(); }

    // ---- the Win32 side (sim/dlls/setupapi, cfgmgr32, newdev) -------
    // Each sets the machine's last error on failure, as the API does.
    HDEVINFO GetClassDevs(const GUID* classGuid, const char* enumerator, DWORD flags);
    BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
    BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type, BYTE* buffer,
                                   DWORD size, DWORD* required);
    BOOL SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, const SP_CLASSINSTALL_HEADER* params,
                               DWORD size);
    BOOL ChangeState(HDEVINFO set, SP_DEVINFO_DATA* device);
    BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device);
    BOOL DestroyDeviceInfoList(HDEVINFO set);
    BOOL CopyOemInf(const char* source, const char* mediaLocation, DWORD mediaType, DWORD copyStyle,
                    char* destination, DWORD destinationSize, DWORD* required, char** component);
    BOOL SetSourceList(DWORD flags, const char* const* list, UINT count);
    BOOL AddToSourceList(DWORD flags, const char* source);
    CONFIGRET LocateDevNode(DEVINST* devInst, const char* deviceId, ULONG flags);
    CONFIGRET Reenumerate(DEVINST devInst, ULONG flags);
    BOOL UpdateDriver(const char* hardwareId, const char* infPath, DWORD flags, BOOL* rebootRequired);

    struct DeviceInfoSet;

private:
    struct DeviceIds;
    struct DriverChoice;

    bool Nt() const;
    InfPlatform Platform() const;
    std::string EnumRoot() const;
    std::string DriverClassRoot() const;
    std::string ProfileEnumRoot(DWORD profile) const;
    std::string CmEnumRoot() const;

    // Registry reads of one device.
    std::optional<DeviceIds> ReadIds(const std::string& instanceId) const;
    std::optional<std::string> DriverValue(const std::string& instanceId) const;
    bool HasWorkingDriver(const std::string& instanceId) const;
    std::optional<DWORD> FlagValue(const std::string& path, const char* name) const;

    // 9x: the Config Manager node of a hardware key.
    std::optional<std::string> CmNodeOf(const std::string& hardwareKey) const;
    std::string NewCmNodeName();
    DWORD DevInstOf(const std::string& instanceId);

    std::string NextDriverInstance(const std::string& classKeyPath) const;
    std::string MakeGuid(const std::string& seed);
    void WriteDriver(const std::string& instanceId, const std::string& className, const std::string& classGuid,
                     const InstalledDriver& driver);

    // INFs and driver installation.
    std::vector<std::string> InfFolderInfs(bool respectIndex) const;
    std::optional<DriverChoice> BestDriver(const std::string& instanceId, const std::string& infPath) const;
    std::optional<DriverChoice> BestDriverIn(const std::string& instanceId,
                                             const std::vector<std::string>& infPaths) const;
    int CurrentDriverRank(const std::string& instanceId, long* day) const;
    bool InstallDriver(const std::string& instanceId, const DriverChoice& choice, const std::string& infName,
                       const std::string& sourceName, const char* why);
    void HandleNewHardware(const std::string& instanceId);
    void HandleAllNewHardware();
    bool RestartNeeded(const std::string& instanceId, const std::string& infName,
                       const std::string& sourceName) const;
    // Copies an INF into the INF folder as the next free oemN.inf, or finds
    // an identical copy there. Empty on failure (last error set).
    std::string StageInf(const std::string& sourcePath, DWORD mediaType, const std::string& mediaLocation,
                         const std::string& callerName, bool* reused);
    std::optional<std::string> FindIdenticalOemInf(const std::string& content) const;
    std::string NextFreeOemName() const;

    // Removal and state changes.
    void RemoveDevice(const std::string& instanceId);
    void SetPresentInternal(const std::string& instanceId, bool present);

    void Broadcast(UINT event, const std::string& instanceId, DWORD devnode);
    void BroadcastExtra(const std::string& instanceId, const std::vector<UINT>& extra);

    DeviceInfoSet* FindSet(HDEVINFO set);
    struct Element;
    Element* FindElement(DeviceInfoSet& set, const SP_DEVINFO_DATA* device);

    Machine& machine_;

    // NT: the present devices in enumeration order, and the same upper-cased
    // for look-ups.
    std::vector<std::string> present_;
    std::unordered_set<std::string> presentUpper_;

    // Devnode numbers handed out (NT; the 9x family names them in the
    // registry). 1 is the root.
    std::unordered_map<std::string, DWORD> devInsts_;
    std::unordered_map<DWORD, std::string> devInstIds_;
    DWORD nextDevInst_ = 2;
    bool rootLocated_ = false;

    std::map<std::uintptr_t, std::unique_ptr<DeviceInfoSet>> sets_;
    std::uintptr_t nextElementCookie_ = 1;

    std::set<std::string> restartInfs_;     // upper-cased file names
    std::set<std::string> restartDevices_;  // upper-cased instance IDs

    std::vector<StagedInf> staged_;
    std::vector<DeviceChangeBroadcast> broadcasts_;
    std::optional<std::vector<std::string>> temporarySources_;
    std::uint32_t guidCounter_ = 0;
    std::uint32_t pciSlot_ = 0;
    std::uint32_t nextCmNode_ = 0xC29A5A40;
};

}  // namespace sim
