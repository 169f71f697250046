#include "device/device_search.h"

#include <cstring>
#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_walk.h"
#include "device/hardware_tables.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

// Every property of a recorded device is read into a buffer of this size.
constexpr DWORD kPropertySize = 512;
// Values of the 9x device keys are read into buffers of this size.
constexpr DWORD kValueSize = 255;


// A text property of a device; empty when it cannot be read.
std::string ReadTextProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    char buffer[kPropertySize] = {};
    if (!::SetupDiGetDeviceRegistryPropertyA(set, device, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer, nullptr)) {
        return std::string();
    }
    return std::string(buffer, BoundedLength(buffer, sizeof buffer));
}

// A text value of an open key read into `size` bytes; empty when it cannot
// be read.
std::string ReadValueText(HKEY key, const char* name, DWORD size) {
    std::string buffer(size, '\0');
    DWORD length = size;
    if (::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&buffer[0]), &length) != ERROR_SUCCESS)
        return std::string();
    if (length > size) length = size;
    return std::string(buffer.data(), BoundedLength(buffer.data(), length));
}

}  // namespace

int FindSupportedDevice(DeviceList& list) {
    list.Clear();
    if (CurrentWindowsKind == KindWinNT4 || CurrentWindowsKind == KindWin2000 || CurrentWindowsKind == KindWinXP)
        return FindDevicesBySetupApi(list);
    return FindDevicesByConfigManager(list);
}

int FindDevicesBySetupApi(DeviceList& list) {
    // A device is recorded once, at its first hardware ID that is a row of
    // the PCI list, whatever the profile.
    ForEachPresentDevice([&list](HDEVINFO set, SP_DEVINFO_DATA* device, const HardwareIdList& ids) {
        for (const std::string_view id : ids) {
            if (IsTableRow(PciAdapterIds, id)) {
                AddFromDeviceInfo(list, set, device);
                return;
            }
        }
    });
    return list.readyCount;
}

void AddFromDeviceInfo(DeviceList& list, HDEVINFO set, SP_DEVINFO_DATA* device) {
    std::string netCfgInstanceId;
    const std::string driver = ReadTextProperty(set, device, SPDRP_DRIVER);
    char classKey[kPathSize];
    if (!driver.empty() &&
        ComposeText(classKey, sizeof classKey, "SYSTEM\\CurrentControlSet\\Control\\Class\\%s", driver.c_str())) {
        char value[kPathSize];
        if (RegQueryString(HKEY_LOCAL_MACHINE, classKey, "NetCfgInstanceId", value, sizeof value))
            netCfgInstanceId = value;
    }

    char ids[kPropertySize] = {};
    std::string hardwareId;
    if (::SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                            sizeof ids, nullptr)) {
        hardwareId.assign(ids, BoundedLength(ids, sizeof ids));
    }

    const std::string driverKey = ReadTextProperty(set, device, SPDRP_DRIVER);
    const int needsDriver = NeedsProfileDriver(driverKey.c_str());

    std::string name;
    if (needsDriver == 0) {
        name = ReadTextProperty(set, device, SPDRP_FRIENDLYNAME);
        if (name.empty()) name = ReadTextProperty(set, device, SPDRP_DEVICEDESC);
    } else {
        name = ReadTextProperty(set, device, SPDRP_DEVICEDESC);
    }

    FoundDevice* record = list.AddRecord(name, hardwareId, needsDriver);
    if (!record) return;
    record->driverKey = driverKey;
    record->netCfgInstanceId = netCfgInstanceId;
    if (needsDriver == 0) ++list.readyCount;
}

int NeedsProfileDriver(const char* driverKey) {
    if (!driverKey || !*driverKey) return 1;
    const bool nt5 = IsWin2000OrXP(CurrentWindowsKind);
    UniqueRegKey classKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NetClassKeyOfCurrentWindows(), 0, KEY_READ, classKey.Receive()) !=
        ERROR_SUCCESS)
        return 1;
    char id[kValueSize];
    if (!RegQueryString(classKey.Get(), LastPathComponent(driverKey), nt5 ? "ComponentId" : "MatchingDeviceId", id,
                        sizeof id))
        return 1;
    return IsProfileHardwareId(id) ? 0 : 1;
}

int FindDevicesByConfigManager(DeviceList& list) {
    UniqueRegKey nodes;
    if (::RegOpenKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum", 0, KEY_READ, nodes.Receive()) != ERROR_SUCCESS)
        return list.readyCount;

    const SupportedIdTable& table = ProductProfile == kPcCardProfile ? PcCardSearchIds : PciAdapterIds;
    for (DWORD index = 0;; ++index) {
        char name[kPathSize];
        DWORD nameSize = sizeof name;
        const LONG enumerated =
            ::RegEnumKeyExA(nodes.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (enumerated == ERROR_NO_MORE_ITEMS) break;
        if (enumerated != ERROR_SUCCESS) continue;

        UniqueRegKey node;
        if (::RegOpenKeyExA(nodes.Get(), name, 0, KEY_READ, node.Receive()) != ERROR_SUCCESS) continue;
        char hardwareKey[kValueSize];
        if (!RegQueryString(node.Get(), nullptr, "HardWareKey", hardwareKey, sizeof hardwareKey)) continue;
        node.Reset();

        // Every row found in the key leads to an inspection of its own.
        const std::string upperKey = UpperAscii(hardwareKey);
        for (int row = 0; row < table.count; ++row) {
            if (upperKey.find(UpperAscii(table.rows[row])) != std::string::npos) InspectEnumDevice(hardwareKey, list);
        }
    }
    return list.readyCount;
}

void InspectEnumDevice(const char* hardwareKey, DeviceList& list) {
    UniqueRegKey enumKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, enumKey.Receive()) != ERROR_SUCCESS) return;
    UniqueRegKey device;
    if (::RegOpenKeyExA(enumKey.Get(), hardwareKey, 0, KEY_READ, device.Receive()) != ERROR_SUCCESS) return;

    char mfg[kValueSize];
    if (!RegQueryString(device.Get(), nullptr, "Mfg", mfg, sizeof mfg) || !std::strstr(mfg, "Zelmar")) return;
    char driver[kValueSize];
    if (!RegQueryString(device.Get(), nullptr, "Driver", driver, sizeof driver) || NeedsProfileDriver(driver) != 0)
        return;
    AddFromEnumKey(list, device.Get(), 0, driver, hardwareKey);
}

void AddFromEnumKey(DeviceList& list, HKEY deviceKey, int needsDriver, const char* driverValue,
                    const char* hardwareKey) {
    const std::string name = ReadValueText(deviceKey, "DeviceDesc", kPropertySize);

    std::string hardwareId;
    UniqueRegKey classKey;
    if (driverValue &&
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NetClassKey9x, 0, KEY_READ, classKey.Receive()) == ERROR_SUCCESS) {
        UniqueRegKey instance;
        if (::RegOpenKeyExA(classKey.Get(), LastPathComponent(driverValue), 0, KEY_READ, instance.Receive()) ==
            ERROR_SUCCESS) {
            hardwareId = ReadValueText(instance.Get(), "MatchingDeviceId", kPropertySize);
        }
    }

    FoundDevice* record = list.AddRecord(name, hardwareId, needsDriver);
    if (!record) return;
    record->enumKey = hardwareKey ? hardwareKey : "";
    record->driverKey = driverValue ? driverValue : "";
    ++list.readyCount;
}
