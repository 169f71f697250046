// What scenarios and tests say about devices, and what the device rooms
// report back: plain values, shared by every room of sim/machine/devices.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/clock.h"

namespace sim {

// The network adapters' class.
extern const char* const kNetClassGuid;  // "{4D36E972-E325-11CE-BFC1-08002BE10318}"

// A driver that is already installed on a device when a scenario adds it.
struct InstalledDriver {
    std::string matchingDeviceId;  // also "ComponentId" of a network adapter on NT
    std::string driverDesc;
    std::string infPath;  // e.g. "oem3.inf"
    std::string infSection;
    std::string providerName;
    std::string driverDate;        // "m-d-yyyy", as Windows stores it; not written when empty
    std::string driverVersion;     // not written when empty
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

// A device's ID lists as the registry holds them (REG_MULTI_SZ on NT,
// comma-separated text on the 9x family).
struct DeviceIds {
    std::vector<std::string> hardware;
    std::vector<std::string> compatible;
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
    UINT event = 0;          // DBT_*
    DWORD devnode = 0;       // for a DBT_DEVTYP_DEVNODE header; 0 otherwise
    std::string instanceId;  // the device it was about ("" when none)
};

}  // namespace sim
