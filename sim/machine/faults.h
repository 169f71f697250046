// Failures on demand: a test or a scenario asks that one Win32 call fail
// with a chosen Windows error for one object (a key, a file, a service, a
// device), once or every time. The entry points of the emulated DLLs ask
// here before they act; nothing else in the machine knows about it.
//
// A call is named as the tool calls it ("RegSetValueExA", "CopyFileA",
// "ControlService", "UpdateDriverForPlugAndPlayDevicesA"), or by a finer
// name where one function does several things ("DIF_REMOVE" for the class
// installer's removal, "SPDRP_HARDWAREID" for that property read). The
// object is written as the emulator names it elsewhere: a full registry
// path with the long root name ("HKEY_LOCAL_MACHINE\Software\X"), a full
// file path, a service name, a device instance ID; letter case is ignored.
// An empty object matches every object of that call.
//
// The device calls (sim/dlls/setupapi, cfgmgr32, newdev):
//   "SPDRP_HARDWAREID", "SPDRP_DRIVER", ... (the property's name) with the
//       device instance ID: SetupDiGetDeviceRegistryPropertyA of that
//       property of that device, size queries included, so that one
//       device's hardware-ID read fails while the rest of a walk goes on;
//   "DIF_REMOVE" with the instance ID: SetupDiCallClassInstaller's removal,
//       refused before anything changes;
//   "UpdateDriverForPlugAndPlayDevicesA" with the hardware ID asked for;
//   "SetupCopyOEMInfA" with the source as the caller wrote it;
//   "CM_Locate_DevNodeA" and "CM_Reenumerate_DevNode" with the device ID
//       ("HTREE\ROOT\0" for the root): `error` is the CONFIGRET the call
//       returns, and the last error is left alone, as these functions do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/include/types.h"

namespace sim {

struct FaultRequest {
    std::string call;
    std::string object;  // "" for any
    DWORD error = 0;     // the Windows error (or CONFIGRET) to fail with
    bool once = false;   // used up by its first match
};

class Faults {
public:
    void Add(FaultRequest request);
    // The error `call` on `object` is to fail with now, or 0. A request
    // that is used once is gone afterwards. Requests match in the order
    // they were added.
    DWORD Take(std::string_view call, std::string_view object);
    const std::vector<FaultRequest>& Pending() const { return requests_; }
    void Clear() { requests_.clear(); }

private:
    std::vector<FaultRequest> requests_;
};

}  // namespace sim
