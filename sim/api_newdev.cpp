// "newdev": UpdateDriverForPlugAndPlayDevicesA, reached through
// GetProcAddress only (the tool never links the library).
#include "sim/api/windows.h"
#include "sim/devices.h"
#include "sim/machine.h"

BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                           PBOOL rebootRequired) {
    return sim::Current().devices().UpdateDriver(hardwareId, infPath, flags, rebootRequired);
}
