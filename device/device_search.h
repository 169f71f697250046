// The search for present supported adapters: SetupAPI on the NT family, the
// configuration manager's dynamic registry data on Windows 98 SE / Me.
#pragma once

#include "device/device_list.h"
#include "platform/winapi.h"

// Clears the list, runs the branch of the running Windows and returns the
// list's readyCount: the adapters that run a driver of the selected profile.
int FindSupportedDevice(DeviceList& list);

// The NT-family branch: every present device whose hardware IDs hold a row
// of PciAdapterIds, recorded once. Returns readyCount.
int FindDevicesBySetupApi(DeviceList& list);

// The Windows 9x branch, over HKEY_DYN_DATA "Config Manager\Enum". Does not
// clear the list. Returns readyCount.
int FindDevicesByConfigManager(DeviceList& list);

// Records the device of a 9x hardware key when it is a Zelmar device whose
// driver belongs to the profile.
void InspectEnumDevice(const char* hardwareKey, DeviceList& list);

// 1 unless the driver key names a network driver instance whose ID belongs
// to the selected profile; then 0.
int NeedsProfileDriver(const char* driverKey);

// Records a SetupAPI device at the head of the list.
void AddFromDeviceInfo(DeviceList& list, HDEVINFO set, SP_DEVINFO_DATA* device);

// Records a 9x device from its open hardware key.
void AddFromEnumKey(DeviceList& list, HKEY deviceKey, int needsDriver, const char* driverValue,
                    const char* hardwareKey);
