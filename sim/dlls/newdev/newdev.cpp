// "newdev": UpdateDriverForPlugAndPlayDevicesA, reached through
// GetProcAddress only (the tool never links the library; sim/machine/modules
// hands this function out).
//
// The entry point checks its flags and arguments, asks for a failure on
// demand (named by the hardware ID), lets the driver store install, and
// reports the restart answer. Every failure sets the last error and goes to
// the transcript's "failure" channel; success sets the last error to 0, as
// Windows does.
#include <cstring>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/devices/driver_store.h"
#include "sim/machine/machine.h"

namespace {

constexpr const char* kUpdate = "UpdateDriverForPlugAndPlayDevicesA";
constexpr size_t kMaxDeviceIdLength = 200;  // MAX_DEVICE_ID_LEN
constexpr DWORD kKnownFlags = INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE;

}  // namespace

BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL rebootRequired) {
    namespace dll = sim::dll;
    const std::string object = hardwareId ? hardwareId : "";
    if (flags & ~kKnownFlags) {
        dll::Fail(kUpdate, object, ERROR_INVALID_FLAGS);
        return FALSE;
    }
    if (!hardwareId || !*hardwareId || std::strlen(hardwareId) >= kMaxDeviceIdLength || !infPath) {
        dll::Fail(kUpdate, object, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::Machine& machine = sim::Current();
    if (const DWORD error = dll::Injected(kUpdate, object)) {
        machine.lastError = error;
        return FALSE;
    }
    sim::DriverStore::UpdateRequest request;
    request.hardwareId = hardwareId;
    request.infPath = infPath;
    request.force = (flags & INSTALLFLAG_FORCE) != 0;
    request.readOnly = (flags & INSTALLFLAG_READONLY) != 0;
    request.callerTakesRestart = rebootRequired != nullptr;
    const sim::DriverStore::UpdateResult result = machine.devices().drivers().UpdateDriver(request);
    if (result.error) {
        dll::Fail(kUpdate, object, result.error);
        return FALSE;
    }
    if (rebootRequired) *rebootRequired = result.restart ? TRUE : FALSE;
    machine.lastError = ERROR_SUCCESS;
    return TRUE;
}
