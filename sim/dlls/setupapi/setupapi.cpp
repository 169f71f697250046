// SetupAPI over the emulated device tree: device information sets and their
// properties, class installer calls, OEM INF copies and source lists.
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

using sim::Current;

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    return Current().devices().GetClassDevs(classGuid, enumerator, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
    return Current().devices().EnumDeviceInfo(set, index, device);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                                       PBYTE buffer, DWORD size, PDWORD required) {
    return Current().devices().GetDeviceRegistryProperty(set, device, property, type, buffer, size, required);
}

BOOL SetupDiSetClassInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER params,
                                   DWORD size) {
    return Current().devices().SetClassInstallParams(set, device, params, size);
}

BOOL SetupDiChangeState(HDEVINFO set, PSP_DEVINFO_DATA device) { return Current().devices().ChangeState(set, device); }

BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device) {
    return Current().devices().CallClassInstaller(function, set, device);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return Current().devices().DestroyDeviceInfoList(set); }

BOOL SetupCopyOEMInfA(PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR destination,
                      DWORD destinationSize, PDWORD required, PSTR* destinationComponent) {
    return Current().devices().CopyOemInf(source, mediaLocation, mediaType, copyStyle, destination, destinationSize,
                                          required, destinationComponent);
}

BOOL SetupSetSourceListA(DWORD flags, PCSTR* list, UINT count) {
    return Current().devices().SetSourceList(flags, list, count);
}

BOOL SetupAddToSourceListA(DWORD flags, PCSTR source) { return Current().devices().AddToSourceList(flags, source); }

