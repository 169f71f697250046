#include "sim/machine/modules.h"

#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"

// The update function of "newdev", implemented with the device model.
BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                           PBOOL rebootRequired);

namespace sim {
namespace {

// The tool's own module handle: the image base Windows usually gives a
// program.
const std::uintptr_t kSelfModule = 0x00400000;

// System libraries every supported Windows has; loading them succeeds.
const char* const kSystemLibraries[] = {"KERNEL32", "USER32", "ADVAPI32", "SETUPAPI", "CFGMGR32",
                                        "SHELL32",  "SHLWAPI", "GDI32",   "MSVCRT"};

std::string BaseName(std::string_view name) {
    std::string text(name);
    const size_t slash = text.find_last_of("\\/");
    if (slash != std::string::npos) text.erase(0, slash + 1);
    if (text.size() > 4 && EqualNoCase(text.substr(text.size() - 4), ".dll")) text.erase(text.size() - 4);
    return Upper(text);
}

}  // namespace

Modules::Modules(Machine& machine)
    : newdev(machine.Version() == WindowsVersion::Win2000 || machine.Version() == WindowsVersion::WinXP ||
                     machine.Version() == WindowsVersion::Server2003
                 ? NewdevAvailability::Present
                 : NewdevAvailability::Absent),
      machine_(machine) {}

Result<HMODULE> Modules::Load(std::string_view name) {
    const std::string base = BaseName(name);
    bool known = base == "NEWDEV" ? newdev != NewdevAvailability::Absent : false;
    for (const char* lib : kSystemLibraries) known = known || base == lib;
    if (!known) return WinError{ERROR_MOD_NOT_FOUND};
    for (auto& [handle, module] : loaded_) {
        if (module.name == base) {
            ++module.references;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    const std::uintptr_t handle = machine_.NewHandleValue() << 8;
    loaded_[handle] = {base, 1};
    return reinterpret_cast<HMODULE>(handle);
}

Result<FARPROC> Modules::Find(HMODULE module, std::string_view name) const {
    auto it = loaded_.find(reinterpret_cast<std::uintptr_t>(module));
    if (it == loaded_.end()) return WinError{ERROR_INVALID_HANDLE};
    if (it->second.name == "NEWDEV" && newdev == NewdevAvailability::Present &&
        name == "UpdateDriverForPlugAndPlayDevicesA") {
        // Through void(*)(), the generic function pointer, as GetProcAddress does.
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SimUpdateDriverForPlugAndPlayDevicesA));
    }
    return WinError{ERROR_PROC_NOT_FOUND};
}

DWORD Modules::Free(HMODULE module) {
    auto it = loaded_.find(reinterpret_cast<std::uintptr_t>(module));
    if (it == loaded_.end()) return ERROR_INVALID_HANDLE;
    if (--it->second.references == 0) loaded_.erase(it);
    return ERROR_SUCCESS;
}

HMODULE Modules::Self() const { return reinterpret_cast<HMODULE>(kSelfModule); }

size_t Modules::LoadedCount() const {
    size_t count = 0;
    for (const auto& entry : loaded_) count += static_cast<size_t>(entry.second.references);
    return count;
}

}  // namespace sim
