// Libraries the tool loads at run time (LoadLibraryA / GetProcAddress /
// FreeLibrary), and the tool's own module. The operations give back a value
// or the Windows error (sim/machine/result.h); sim/dlls/kernel32/modules.cpp
// sets the last error.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "sim/include/types.h"
#include "sim/machine/result.h"

namespace sim {

class Machine;

// Whether the machine has the "newdev" library with its update function:
// Windows 2000 and XP have both; older Windows have no such library.
enum class NewdevAvailability { Present, Absent, LacksUpdateFunction };

class Modules {
public:
    explicit Modules(Machine& machine);

    NewdevAvailability newdev;
    // Where the tool's own program lies on the emulated drive.
    std::string programPath = "C:\\Program Files\\Zelmar\\Tavarin\\tavsetup.exe";

    // A library by file name, with or without folder and ".dll";
    // ERROR_MOD_NOT_FOUND when the machine lacks it. Loading it again
    // counts one more reference.
    Result<HMODULE> Load(std::string_view name);
    // An exported function by name: ERROR_INVALID_HANDLE for a module that
    // is not loaded, ERROR_PROC_NOT_FOUND for a name it does not export.
    Result<FARPROC> Find(HMODULE module, std::string_view name) const;
    // Drops one reference; ERROR_INVALID_HANDLE for a module not loaded.
    DWORD Free(HMODULE module);
    HMODULE Self() const;
    // Libraries loaded and not yet freed (one count per successful load).
    size_t LoadedCount() const;

private:
    Machine& machine_;
    struct Loaded {
        std::string name;  // upper-cased base name, e.g. "NEWDEV"
        int references = 0;
    };
    std::map<std::uintptr_t, Loaded> loaded_;
};

}  // namespace sim
