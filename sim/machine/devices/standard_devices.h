// The devices a real machine of each kind carries, so that every search,
// restart and removal the tool makes runs among them and not in an empty
// tree. A machine built with Furnishing::Standard (sim/machine/machine.h)
// has them before anything else is added; they are part of the machine
// before a run and never part of its changes.
//
// Windows 2000 / XP: an ACPI desktop of its time (Intel 845 chipset with an
// ICH4 south bridge): system devices, PCI bridges and controllers, USB
// host controllers and hubs with a mouse, IDE channels, a disk and a DVD
// drive, floppy, volumes, display and monitor, keyboard, mouse, ports, a
// wired network adapter, WAN miniports, audio, software devices. Most have
// a driver under Control\Class; the untidy parts of real machines too:
//   - ROOT\LEGACY_* nodes of non-Plug and Play drivers: no "HardwareID" at
//     all, so SPDRP_HARDWAREID answers ERROR_INVALID_DATA;
//   - ROOT\UNKNOWN\0000, left by an installer that failed: its "HardwareID"
//     is present but holds only the terminator of an empty list, which
//     SetupAPI hands out as it is (one NUL, success);
//   - devices no longer present (a USB stick once plugged in), a COM port
//     disabled in the current hardware profile, and network class instance
//     0000 free (the adapter the machine came with was replaced), so a new
//     adapter's driver takes 0000 as on such a machine.
// Windows NT 4.0: the Enum tree of a machine without Plug and Play: the
// ROOT\LEGACY_* nodes of its drivers and services, none with hardware IDs.
// Windows 98 SE / Me: HKLM\Enum entries and HKEY_DYN_DATA "Config
// Manager\Enum" nodes for a PnP-BIOS desktop (Intel 440BX), with drivers
// under Services\Class; some Config Manager nodes have no "HardWareKey"
// (the tree's root and nodes Windows keeps for itself), and some HKLM\Enum
// entries have no node (devices not present).
//
// None of them is a Zelmar adapter or carries an ID of the tool's tables.
#pragma once

#include <string>
#include <vector>

#include "sim/machine/version.h"

namespace sim::standard {

// One device of a standard machine.
struct Device {
    std::string id;                        // NT: instance ID; 9x: hardware key below HKLM\Enum
    bool hasHardwareIds = true;            // false: no "HardwareID" value at all
    std::vector<std::string> hardwareIds;  // empty with hasHardwareIds: only the terminator
    std::vector<std::string> compatibleIds;
    std::string desc;
    std::string mfg;
    std::string className;  // "" for none
    std::string service;    // NT "Service"
    // The installed driver; no driver when `inf` is empty.
    std::string inf;
    std::string section;
    std::string matching;          // "MatchingDeviceId"
    std::string netCfgInstanceId;  // NT network adapters
    std::string devLoader;         // 9x "DevLoader"
    std::string deviceVxDs;        // 9x "DeviceVxDs" of a network adapter's driver
    bool present = true;
    bool legacy = false;           // NT: a non-Plug and Play driver's node
    bool profileDisabled = false;  // disabled in the current hardware profile
    unsigned configFlags = 0;
    std::string cmNode;  // 9x: the Config Manager node's name (hex devnode)
};

// A device class: its key name on the 9x family, GUID on NT, and the name
// the class key's default value gives it.
struct DeviceClass {
    const char* name;
    const char* guid;
    const char* title;
};

// The class of that name; null for one no standard machine uses.
const DeviceClass* FindClass(const std::string& name);

// The machines (standard_devices_nt.cpp, standard_devices_9x.cpp).
std::vector<Device> NtDevices(WindowsVersion version);
std::vector<Device> NineXDevices(WindowsVersion version);
// 9x: Config Manager nodes that are no device (no "HardWareKey").
std::vector<std::string> NineXNodesWithoutDevice();

// "A|B|C" as a list.
std::vector<std::string> SplitBars(const char* text);

}  // namespace sim::standard
