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

// A machine of `count` present devices: one supported adapter running the
// profile's driver, the rest other vendors' PCI devices with drivers.
std::unique_ptr<sim::Machine> MakeMachine(sim::WindowsVersion version, int count) {
    auto machine = std::make_unique<sim::Machine>(version);
    sim::DeviceModel& devices = machine->devices();
    for (int i = 0; i < count - 1; ++i) {
        char device[8];
        char subsystem[16];
        std::snprintf(device, sizeof device, "%04X", i & 0xFFFF);
        std::snprintf(subsystem, sizeof subsystem, "%08X", 0x10000000u + static_cast<unsigned>(i));
        sim::PciAdapter other;
        other.vendor = "8086";
        other.device = device;
        other.subsystem = subsystem;
        other.deviceDesc = "Other device";
        other.instanceSuffix = "3&" + std::string(subsystem) + "&0&00";
        other.driver = sim::InstalledDriver{};
        other.driver->matchingDeviceId = "pci\\ven_8086&dev_" + std::string(device);
        devices.AddPciAdapter(other);
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
    }
    state.SetComplexityN(count);
    state.counters["devices"] = count;
}

BENCHMARK(FindSupportedDeviceOnXp)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
