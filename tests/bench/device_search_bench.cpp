// The device search over machines of many present devices: its cost must
// grow linearly with the number of devices.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/process_state.h"
#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_search.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

namespace {

// The classes the other devices' drivers belong to: display adapters,
// system devices, storage controllers and network adapters. Spread over
// four classes no class outgrows the 9999 driver instances Windows has.
struct DriverClass {
    const char* name;
    const char* guid;
};
constexpr DriverClass kClasses[] = {
    {"Display", "{4D36E968-E325-11CE-BFC1-08002BE10318}"},
    {"System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
    {"hdc", "{4D36E96A-E325-11CE-BFC1-08002BE10318}"},
    {"Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}"},
};
constexpr int kClassCount = sizeof kClasses / sizeof kClasses[0];
// Driver instances below this are left to the machine's own devices.
constexpr int kFirstInstance = 1000;

// A standard Windows XP machine with `count` more present devices: one
// supported adapter running the profile's driver, the rest other vendors'
// PCI devices with drivers.
std::unique_ptr<sim::Machine> MakeMachine(sim::WindowsVersion version, int count) {
    auto machine = std::make_unique<sim::Machine>(version);
    sim::DeviceModel& devices = machine->devices();
    for (int i = 0; i < count - 1; ++i) {
        char device[8];
        char subsystem[16];
        char instance[16];
        std::snprintf(device, sizeof device, "%04X", i & 0xFFFF);
        std::snprintf(subsystem, sizeof subsystem, "%08X", 0x10000000u + static_cast<unsigned>(i));
        std::snprintf(instance, sizeof instance, "%04d", kFirstInstance + i / kClassCount);
        const DriverClass& driverClass = kClasses[i % kClassCount];
        const std::string venDev = "PCI\\VEN_8086&DEV_" + std::string(device);
        sim::DeviceSpec other;
        other.instanceId = venDev + "&SUBSYS_" + subsystem + "&REV_01\\3&" + subsystem + "&0&00";
        other.hardwareIds = {venDev + "&SUBSYS_" + subsystem + "&REV_01", venDev + "&SUBSYS_" + subsystem,
                             venDev + "&CC_030000", venDev + "&CC_0300"};
        other.compatibleIds = {venDev + "&REV_01", venDev, "PCI\\VEN_8086&CC_030000", "PCI\\VEN_8086", "PCI\\CC_0300"};
        other.deviceDesc = "Other device";
        other.mfg = "Other vendor";
        other.className = driverClass.name;
        other.classGuid = driverClass.guid;
        other.driver = sim::InstalledDriver{};
        other.driver->matchingDeviceId = "pci\\ven_8086&dev_" + std::string(device);
        other.driver->instance = instance;
        devices.AddDevice(other);
    }
    sim::PciAdapter ours;
    ours.driver = sim::InstalledDriver{};
    ours.driver->matchingDeviceId = "pci\\ven_168c&dev_0012&subsys_1022168c";
    devices.AddPciAdapter(ours);
    return machine;
}

void FindSupportedDeviceOnXp(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<sim::Machine> machine = MakeMachine(sim::WindowsVersion::WinXP, count);
    sim::MachineScope scope(*machine);
    ResetProcessState();
    InitWindowsKind();
    SelectProductProfile(kPciProfile);
    DeviceList list;
    for (auto _ : state) {
        const int ready = FindSupportedDevice(list);
        benchmark::DoNotOptimize(ready);
        if (ready != 1) state.SkipWithError("the supported adapter was not found");
        // Each search writes its failed calls (the size queries) to the
        // transcript; dropping them keeps every iteration alike.
        state.PauseTiming();
        machine->transcript.Clear();
        state.ResumeTiming();
    }
    state.SetComplexityN(count);
    // The machine's own devices are searched too.
    state.counters["present"] = static_cast<double>(machine->devices().PresentDevices().size());
}

BENCHMARK(FindSupportedDeviceOnXp)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
