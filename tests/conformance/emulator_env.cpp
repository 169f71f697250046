// The conformance tests on the emulator: every test gets a fresh emulated
// machine of the version it asks for, and must close every handle it opened.
#include <memory>
#include <string>

#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "tests/conformance/conformance_env.h"

namespace conformance {

namespace {

std::unique_ptr<sim::MachineScope> g_scope;
std::unique_ptr<sim::Machine> g_machine;

sim::WindowsVersion EmulatedVersion(Windows version) {
    switch (version) {
    case Windows::Win98SE: return sim::WindowsVersion::Win98SE;
    case Windows::WinMe: return sim::WindowsVersion::WinMe;
    case Windows::NT4: return sim::WindowsVersion::NT4;
    case Windows::Win2000: return sim::WindowsVersion::Win2000;
    case Windows::WinXP: return sim::WindowsVersion::WinXP;
    case Windows::Server2003: return sim::WindowsVersion::Server2003;
    }
    return sim::WindowsVersion::WinXP;
}

}  // namespace

bool BeginMachine(Windows version, std::string*) {
    g_scope.reset();
    g_machine = std::make_unique<sim::Machine>(EmulatedVersion(version));
    g_scope = std::make_unique<sim::MachineScope>(*g_machine);
    return true;
}

std::string EndMachine() {
    std::string leftover;
    if (g_machine) {
        auto note = [&leftover](const char* what, size_t count) {
            if (count) leftover += std::string(leftover.empty() ? "" : ", ") + std::to_string(count) + " " + what;
        };
        note("registry handles", g_machine->registry().OpenHandleCount());
        note("file or find handles", g_machine->files().OpenHandleCount());
        note("service handles", g_machine->services().OpenHandleCount());
        if (!leftover.empty()) leftover = "left open: " + leftover;
    }
    g_scope.reset();
    g_machine.reset();
    return leftover;
}

bool OnWine() { return false; }

}  // namespace conformance
