// The configuration manager (CfgMgr32) over the emulated device model:
// locating device nodes and re-enumerating them.
//
// These functions answer with a CONFIGRET and never set the last error: a
// failure is written to the transcript's "failure" channel with its
// CONFIGRET as the error. Failures on demand name the device ID
// ("HTREE\ROOT\0" for the root) and give the CONFIGRET to return.
#include <string>

#include "sim/base/text.h"
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

using sim::Current;
namespace dll = sim::dll;

namespace {

constexpr const char* kLocate = "CM_Locate_DevNodeA";
constexpr const char* kReenumerate = "CM_Reenumerate_DevNode";
constexpr const char* kRootDeviceId = "HTREE\\ROOT\\0";

CONFIGRET Failed(const char* call, const std::string& object, CONFIGRET result) {
    dll::FailQuietly(call, object, result);
    return result;
}

}  // namespace

CONFIGRET CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags) {
    const std::string id = deviceId ? deviceId : "";
    const std::string object = id.empty() ? kRootDeviceId : id;
    if (!devInst) return Failed(kLocate, object, CR_INVALID_POINTER);
    *devInst = 0;
    if (flags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) return Failed(kLocate, object, CR_INVALID_FLAG);
    if (const DWORD injected = dll::Injected(kLocate, object)) return injected;
    const sim::DeviceModel::Located located = Current().devices().Locate(id, (flags & CM_LOCATE_DEVNODE_PHANTOM) != 0);
    if (located.result != CR_SUCCESS) return Failed(kLocate, object, located.result);
    *devInst = located.devInst;
    return CR_SUCCESS;
}

CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) {
    sim::DeviceModel& devices = Current().devices();
    std::string object = devices.DeviceIdOf(devInst);
    if (object.empty()) object = "devnode " + sim::Hex(devInst, 8);
    if (flags & ~static_cast<ULONG>(CM_REENUMERATE_BITS)) return Failed(kReenumerate, object, CR_INVALID_FLAG);
    if (const DWORD injected = dll::Injected(kReenumerate, object)) return injected;
    const CONFIGRET result = devices.Reenumerate(devInst);
    if (result != CR_SUCCESS) return Failed(kReenumerate, object, result);
    return CR_SUCCESS;
}
