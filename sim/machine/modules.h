// Libraries the tool loads at run time (LoadLibraryA / GetProcAddress /
// FreeLibrary), and the tool's own module.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "sim/include/types.h"

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

    HMODULE Load(const char* name);
    FARPROC Find(HMODULE module, const char* name) const;
    bool Free(HMODULE module);
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
