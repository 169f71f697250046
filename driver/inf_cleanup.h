// Deleting the driver package's files from Windows' folders after the
// uninstall job removed an adapter: the INF copy Windows made, the package
// INF and driver image, and on Windows 98 SE the package catalog.
#pragma once

#include <string>

#include "device/device_list.h"

// Reads "InfPath" of the adapter's driver instance key (below the network
// class key of the running Windows) into `infName`. Must run before the
// device is removed: the key goes with it. 1 when read; 0 otherwise, and
// then `infName` is left as it was.
int ReadInstalledInfName(std::string& infName, const FoundDevice& record);

// Deletes, below the Windows folder: the stored INF copy "inf\<infName>"
// (a name that holds a path separator, a drive or ".." is refused, so that
// no registry value can reach outside the INF folder); the package INF and
// (for the PCI adapters) driver image, through DeleteFileNowOrAtBoot and
// else plainly; and on Windows 98 SE the package catalog. The package is
// the dual-band one when the hardware ID holds one of its IDs, else the
// 802.11a one. Missing files are passed over.
void RemoveInstalledInf(std::string infName, std::string hardwareId);

// Whether `name` is a plain file name: no folder, no drive, no "..".
bool IsPlainFileName(const char* name);
