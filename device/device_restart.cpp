#include "device/device_restart.h"

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_walk.h"
#include "device/hardware_tables.h"
#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

constexpr DWORD kManagedBit = 0x8000;
constexpr DWORD kClearMask = 0x00FF7FFF;

// Whether one hardware ID of a device names an adapter to restart (the
// comparison ignores case).
bool MatchesAdapter(const char* id, const char* hardwareId) {
    if (ProductProfile == kPciProfile) {
        const std::string head(id, BoundedLength(id, kPciFamilyPrefixLength));
        return SameText(head.c_str(), PciFamilyPrefix);
    }
    return hardwareId && SameText(id, hardwareId);
}

// Disables or enables one device in the current hardware profile.
void ChangeDeviceState(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD stateChange) {
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = stateChange;
    params.Scope = DICS_FLAG_CONFIGSPECIFIC;
    params.HwProfile = 0;
    ::SetupDiSetClassInstallParamsA(set, device, &params.ClassInstallHeader, sizeof params);
    ::SetupDiChangeState(set, device);
}

}  // namespace

void Trace(const char*) {}

void TurnOffWindowsWirelessConfig(const FoundDevice& record) {
    if (CurrentWindowsKind != KindWinXP) return;
    int state = 0;
    WzcControlFlag(state, false, record.netCfgInstanceId.c_str());
    if (state != 0) {
        Trace("Setting Windows XP Config On\n");
        int restartState = 0;
        RestartAdapter(restartState, record.hardwareId.c_str());
    } else {
        Trace("Windows XP Config is already off\n");
    }
}

void WzcControlFlag(int& state, bool write, const char* interfaceGuid) {
    char path[kPathSize];
    UniqueRegKey key;
    if (!ComposeText(path, sizeof path, "SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\%s",
                     interfaceGuid ? interfaceGuid : "") ||
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) {
        // No settings for the interface: the service manages it. Nothing is
        // written; the state says "managed" in either mode.
        state = 1;
        return;
    }
    DWORD flags = 0;
    DWORD size = sizeof flags;
    if (::RegQueryValueExA(key.Get(), "ControlFlags", nullptr, nullptr, reinterpret_cast<BYTE*>(&flags), &size) !=
            ERROR_SUCCESS ||
        size != sizeof flags) {
        flags = kManagedBit;
    }
    if (write) {
        flags = state != 0 ? (flags | kManagedBit) : (flags & kClearMask);
        ::RegSetValueExA(key.Get(), "ControlFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof flags);
    } else {
        state = (flags & kManagedBit) ? 1 : 0;
    }
}

int RestartAdapter(int& state, const char* hardwareId) {
    int result = 0;
    // Each adapter's flag is written from the state asked for, never from
    // what an earlier adapter of the walk left behind.
    const int requested = state;
    ForEachPresentDevice([&](HDEVINFO set, SP_DEVINFO_DATA* device, const HardwareIdList& ids) {
        bool matches = false;
        for (const std::string_view id : ids) {
            if ((matches = MatchesAdapter(id.data(), hardwareId))) break;
        }
        if (!matches) return;

        char driver[kPathSize] = {};
        if (!::SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(driver),
                                                 sizeof driver, nullptr))
            return;
        driver[sizeof driver - 1] = '\0';
        char classKey[kPathSize];
        char interfaceGuid[kPathSize];
        if (!ComposeText(classKey, sizeof classKey, "SYSTEM\\CurrentControlSet\\Control\\Class\\%s", driver) ||
            !RegQueryString(HKEY_LOCAL_MACHINE, classKey, "NetCfgInstanceId", interfaceGuid, sizeof interfaceGuid))
            return;

        ChangeDeviceState(set, device, DICS_DISABLE);
        ::Sleep(300);
        int adapterState = requested;
        WzcControlFlag(adapterState, true, interfaceGuid);
        state = adapterState;
        ChangeDeviceState(set, device, DICS_ENABLE);
        result = 1;
    });
    return result;
}
