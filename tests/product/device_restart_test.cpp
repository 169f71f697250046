// Taking an adapter out of Windows XP's own wireless configuration.
#include <gtest/gtest.h>

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_restart.h"
#include "device/device_search.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kInterfaces = "HKLM\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\";

class DeviceRestartTest : public ToolTest {
protected:
    void Use(WindowsVersion version, int profile = 2) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(profile);
    }
    void TearDown() override {
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
    }
    sim::Registry& reg() { return machine().registry(); }

    // A running adapter with its interface GUID; `flags` for its settings
    // key, none when absent.
    std::string AddAdapter(const std::string& subsystem, const std::string& guid, std::optional<DWORD> flags) {
        sim::PciAdapter adapter;
        adapter.subsystem = subsystem;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "pci\\ven_168c&dev_0012&subsys_" + subsystem;
        adapter.driver->netCfgInstanceId = guid;
        if (flags) reg().SetDword(kInterfaces + guid, "ControlFlags", *flags);
        return machine().devices().AddPciAdapter(adapter);
    }
    int Restarts() const {
        int count = 0;
        for (const auto& line : machine_const().transcript.OfKind("device")) {
            if (line.text.rfind("disable ", 0) == 0) ++count;
        }
        return count;
    }
    const sim::Machine& machine_const() const { return const_cast<DeviceRestartTest*>(this)->machine(); }

    const FoundDevice& Ready(DeviceList& list) {
        FindSupportedDevice(list);
        const FoundDevice* found = list.FindFirst(0);
        EXPECT_NE(found, nullptr);
        return *found;
    }
};

TEST_F(DeviceRestartTest, OnlyWindowsXpIsTouched) {
    for (WindowsVersion version : {WindowsVersion::Win2000, WindowsVersion::Win98SE}) {
        Use(version);
        FoundDevice record;
        record.netCfgInstanceId = "{A}";
        record.hardwareId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
        const auto before = reg().Snapshot();
        TurnOffWindowsWirelessConfig(record);
        EXPECT_EQ(reg().Snapshot(), before);
        EXPECT_EQ(machine().clock.Now(), 0u);
    }
}

TEST_F(DeviceRestartTest, TheManagedBitIsClearedWithTheTopByte) {
    for (DWORD flags : {0x8005u, 0x10008000u}) {
        Use(WindowsVersion::WinXP);
        const std::string id = AddAdapter("1022168C", "{A}", flags);
        DeviceList list;
        TurnOffWindowsWirelessConfig(Ready(list));
        EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{A}", "ControlFlags"), flags & 0x00FF7FFFu);
        EXPECT_EQ(Restarts(), 1);
        EXPECT_EQ(machine().clock.Now(), 300u);
        EXPECT_TRUE(machine().devices().IsStarted(id));
    }
}

TEST_F(DeviceRestartTest, AnUnmanagedInterfaceIsLeftAlone) {
    Use(WindowsVersion::WinXP);
    AddAdapter("1022168C", "{A}", 0x0005u);
    DeviceList list;
    const auto before = reg().Snapshot();
    TurnOffWindowsWirelessConfig(Ready(list));
    EXPECT_EQ(reg().Snapshot(), before);
    EXPECT_EQ(Restarts(), 0);
}

TEST_F(DeviceRestartTest, AnInterfaceWithoutSettingsIsRestartedButNotWritten) {
    Use(WindowsVersion::WinXP);
    AddAdapter("1022168C", "{A}", std::nullopt);
    DeviceList list;
    TurnOffWindowsWirelessConfig(Ready(list));
    EXPECT_EQ(Restarts(), 1);
    EXPECT_FALSE(reg().KeyExists(std::string(kInterfaces) + "{A}"));
}

TEST_F(DeviceRestartTest, EveryAdapterOfOneWalkIsClearedWhateverCameBefore) {
    Use(WindowsVersion::WinXP);
    AddAdapter("1022168C", "{A}", std::nullopt);  // no settings key: the walk's state must not carry over
    AddAdapter("0A007E3D", "{B}", 0x8003u);
    AddAdapter("AA007E3D", "{C}", 0x8000u);
    int state = 0;
    EXPECT_EQ(RestartAdapter(state, "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C"), 1);
    EXPECT_EQ(Restarts(), 3);  // profile 2: the whole family
    EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{B}", "ControlFlags"), 0x0003u);
    EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{C}", "ControlFlags"), 0x0000u);
    EXPECT_FALSE(reg().KeyExists(std::string(kInterfaces) + "{A}"));
}

TEST_F(DeviceRestartTest, ProfileOneRestartsOnlyTheExactHardwareId) {
    Use(WindowsVersion::WinXP, 1);
    AddAdapter("1022168C", "{A}", 0x8000u);
    AddAdapter("0A007E3D", "{B}", 0x8000u);
    int state = 0;
    EXPECT_EQ(RestartAdapter(state, "pci\\ven_168c&dev_0012&subsys_0a007e3d"), 1);
    EXPECT_EQ(Restarts(), 1);
    EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{B}", "ControlFlags"), 0u);
    EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{A}", "ControlFlags"), 0x8000u);
    EXPECT_EQ(RestartAdapter(state, "PCI\\VEN_1234&DEV_0001"), 0);
}

TEST_F(DeviceRestartTest, WritingTheFlagBackSetsTheBit) {
    Use(WindowsVersion::WinXP);
    reg().SetDword(std::string(kInterfaces) + "{A}", "ControlFlags", 0x0005u);
    int state = 1;
    WzcControlFlag(state, true, "{A}");
    EXPECT_EQ(reg().GetDword(std::string(kInterfaces) + "{A}", "ControlFlags"), 0x8005u);
    state = 0;
    WzcControlFlag(state, false, "{A}");
    EXPECT_EQ(state, 1);
    reg().DeleteValue(std::string(kInterfaces) + "{A}", "ControlFlags");
    state = 0;
    WzcControlFlag(state, false, "{A}");
    EXPECT_EQ(state, 1);  // a missing value counts as managed
    state = 0;
    WzcControlFlag(state, false, std::string(300, 'x').c_str());
    EXPECT_EQ(state, 1);
}

}  // namespace
