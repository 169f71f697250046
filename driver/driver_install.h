// Installing the driver package for an inserted adapter: by hardware ID
// through "newdev" on Windows 2000 / XP (or staging the package INFs for
// Windows' own new-hardware handling), by re-enumerating the device tree
// elsewhere.
#pragma once

#include "device/device_list.h"
#include "platform/winapi.h"

// "newdev"'s driver update, looked up at run time: the tool never links the
// library, which Windows 98 SE / Me and NT 4.0 do not have.
typedef BOOL(WINAPI* UpdateDriverFunction)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);
extern const char* const kNewdevLibrary;  // "newdev"
// "UpdateDriverForPlugAndPlayDevicesA" of the loaded library, or null.
UpdateDriverFunction FindUpdateDriver(HMODULE newdev);

// Sets *rebootRequired to 0 first (when given); on Windows 2000 / XP a
// driver update may set it to non-zero.
void InstallDriverPackage(DeviceList& list, BOOL* rebootRequired);

// "netzl11a.inf" for the 802.11a adapters' IDs (whole string, case
// ignored), "ntzl11ab.inf" for every other ID.
const char* SelectPackageInf(const char* hardwareId);

void InstallByHardwareId(DeviceList& list, BOOL* rebootRequired);

// Copies the profile's INF and "netzl11a.inf" into Windows' store of OEM
// INFs, recording the install folder as where the driver files lie.
void StageOemInfs();

// Deletes the driver index files and re-enumerates the whole device tree.
// 1 when the tree was re-enumerated.
int RescanDevices(BOOL* rebootRequired);

// Composes "<Windows folder>\<sub>\<name>" with a single backslash after a
// Windows folder that is a drive root. False, with an empty `out`, when it
// does not fit in `size` bytes or the folder cannot be had.
bool ComposeWindowsPath(char* out, size_t size, const char* sub, const char* name);
