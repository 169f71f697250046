// The configuration manager (CfgMgr32) over the emulated device tree:
// locating device nodes and re-enumerating them.
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

using sim::Current;

CONFIGRET CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags) {
    return Current().devices().LocateDevNode(devInst, deviceId, flags);
}

CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) {
    return Current().devices().Reenumerate(devInst, flags);
}

