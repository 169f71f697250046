// "newdev": UpdateDriverForPlugAndPlayDevicesA, reached through
// GetProcAddress only (the tool never links the library).
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                           PBOOL rebootRequired) {
    return sim::Current().devices().UpdateDriver(hardwareId, infPath, flags, rebootRequired);
}
