// The search for present supported adapters on both Windows families.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_search.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

class DeviceSearchTest : public ToolTest {
protected:
    void Use(WindowsVersion version, int profile) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(profile);
    }
    void TearDown() override {
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
    }
    sim::DeviceModel& devices() { return machine().devices(); }

    // A PCI adapter running a driver installed under `componentId`.
    std::string AddRunning(const std::string& device, const std::string& subsystem, const std::string& componentId,
                           const std::string& friendlyName = "") {
        sim::PciAdapter adapter;
        adapter.device = device;
        adapter.subsystem = subsystem;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = componentId;
        adapter.driver->netCfgInstanceId = "{GUID-" + subsystem + "}";
        const std::string id = devices().AddPciAdapter(adapter);
        if (!friendlyName.empty()) {
            machine().registry().SetString(*devices().EnumKeyPath(id), "FriendlyName", friendlyName);
        }
        return id;
    }
};

TEST_F(DeviceSearchTest, AnAdapterWithoutDriverIsRecordedAsNeedingOne) {
    Use(WindowsVersion::WinXP, 2);
    sim::PciAdapter adapter;
    devices().AddPciAdapter(adapter);
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 0);
    EXPECT_EQ(list.count, 1);
    EXPECT_EQ(list.FindFirst(0), nullptr);
    const FoundDevice* found = list.FindFirst(1);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, adapter.deviceDesc);
    EXPECT_EQ(found->hardwareId, "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(found->driverKey, "");
    EXPECT_EQ(found->netCfgInstanceId, "");
    EXPECT_EQ(found->enumKey, "");
}

TEST_F(DeviceSearchTest, ProfileTwoTakesEveryDriverOfTheFamilyPrefix) {
    Use(WindowsVersion::WinXP, 2);
    AddRunning("0012", "1022168C", "pci\\ven_8086&dev_1229");  // another vendor's driver
    AddRunning("0007", "01107E3D", "pci\\ven_168c&dev_9999", "Zelmar 802.11a #2");
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 1);
    EXPECT_EQ(list.count, 2);
    const FoundDevice* ready = list.FindFirst(0);
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(ready->name, "Zelmar 802.11a #2");  // the friendly name
    EXPECT_EQ(ready->netCfgInstanceId, "{GUID-01107E3D}");
    EXPECT_EQ(ready->driverKey.substr(0, 39), "{4D36E972-E325-11CE-BFC1-08002BE10318}\\");
    // That device carries rows 6 and 11 of the table, and is recorded once.
    const FoundDevice* other = list.FindFirst(1);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->name, "Zelmar 802.11a/b/g Wireless Adapter");  // the description, not a friendly name
}

TEST_F(DeviceSearchTest, TheReadyDeviceFoundLastComesFirst) {
    Use(WindowsVersion::Win2000, 2);
    AddRunning("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c");
    AddRunning("0012", "0A007E3D", "pci\\ven_168c&dev_0012&subsys_0a007e3d");
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 2);
    EXPECT_EQ(list.FindFirst(0)->netCfgInstanceId, "{GUID-0A007E3D}");
    // Every search starts from an empty list.
    EXPECT_EQ(FindSupportedDevice(list), 2);
    EXPECT_EQ(list.count, 2);
}

TEST_F(DeviceSearchTest, ProfileOneOnTheNtFamilyNeverFindsAPcCard) {
    Use(WindowsVersion::WinXP, 1);
    sim::PcCard card;
    card.driver = sim::InstalledDriver{};
    card.driver->matchingDeviceId = "pcmcia\\zelmar-solvane_802.11b/lan_pc_card-5d2e";
    devices().AddPcCard(card);
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 0);
    EXPECT_EQ(list.count, 0);
}

TEST_F(DeviceSearchTest, NtFourReadsTheNinexStyleNetworkClassKey) {
    Use(WindowsVersion::NT4, 2);
    const std::string id = AddRunning("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c");
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 0);  // "ComponentId" is not where NT 4.0 looks
    const std::string driver = *machine().registry().GetString(*devices().EnumKeyPath(id), "Driver");
    machine().registry().SetString("HKLM\\System\\CurrentControlSet\\Services\\Class\\Net\\" +
                                       driver.substr(driver.find('\\') + 1),
                                   "MatchingDeviceId", "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C");
    EXPECT_EQ(FindSupportedDevice(list), 1);
}

TEST_F(DeviceSearchTest, TheMachinesOwnNodesWithoutIdsAreSkippedOnTheWayToTheAdapter) {
    Use(WindowsVersion::WinXP, 2);
    const std::string adapter = AddRunning("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c");
    // A standard XP machine enumerates its legacy driver nodes (no
    // "HardwareID": ERROR_INVALID_DATA) and ROOT\UNKNOWN\0000 (a list of
    // one NUL) before the adapter.
    const std::vector<std::string> present = devices().PresentDevices();
    const auto at = [&](const std::string& id) {
        return std::find(present.begin(), present.end(), id) - present.begin();
    };
    ASSERT_LT(at("ROOT\\LEGACY_BEEP\\0000"), at(adapter));
    ASSERT_LT(at("ROOT\\UNKNOWN\\0000"), at(adapter));
    ASSERT_LT(at(adapter), static_cast<std::ptrdiff_t>(present.size()));
    DeviceList list;
    // Catches device_walk.cpp ReadHardwareIds ending the walk on
    // ERROR_INVALID_DATA instead of skipping the node, and taking the
    // one-NUL list of ROOT\UNKNOWN (required size 1) for a failure.
    EXPECT_EQ(FindSupportedDevice(list), 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.Head()->netCfgInstanceId, "{GUID-1022168C}");
}

class ConfigManagerSearchTest : public DeviceSearchTest {
protected:
    // A 9x device with a driver of the given ID and maker.
    std::string Add9x(const std::string& hardwareKey, const std::string& matching, const std::string& mfg) {
        sim::DeviceSpec spec;
        spec.instanceId = hardwareKey;
        spec.hardwareIds = {hardwareKey.substr(0, hardwareKey.rfind('\\'))};
        spec.deviceDesc = "Card " + hardwareKey;
        spec.mfg = mfg;
        spec.driver = sim::InstalledDriver{};
        spec.driver->matchingDeviceId = matching;
        return devices().AddDevice(spec);
    }
};

TEST_F(ConfigManagerSearchTest, EveryTableRowInTheKeyRecordsTheDeviceAgain) {
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe}) {
        Use(version, 2);
        const std::string key = "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01\\BUS_02&DEV_0B&FUNC_00";
        Add9x(key, "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D", "Zelmar Corporation");
        DeviceList list;
        EXPECT_EQ(FindSupportedDevice(list), 3);
        EXPECT_EQ(list.count, 3);
        const FoundDevice* found = list.FindFirst(0);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->name, "Card " + key);
        EXPECT_EQ(found->hardwareId, "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D");
        EXPECT_EQ(found->enumKey, key);
        // The machine's Dial-Up Adapter holds the first network instance.
        EXPECT_EQ(found->driverKey, "Net\\0001");
        EXPECT_EQ(found->netCfgInstanceId, "");
        EXPECT_EQ(list.FindFirst(1), nullptr);
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
    }
}

TEST_F(ConfigManagerSearchTest, OnlyZelmarDevicesWithTheProfilesDriverAreRecorded) {
    Use(WindowsVersion::Win98SE, 1);
    Add9x("PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\\1", "pcmcia\\zelmar-solvane_802.11b/lan_pc_card-5d2e",
          "Zelmar");
    Add9x("PCMCIA\\INTERSIL-HFA384X/IEEE-CA62\\1", "pcmcia\\intersil-hfa384x/ieee-ca62", "Intersil");
    Add9x("PCMCIA\\ACTIONTEC-1668-0101\\1", "PCMCIA\\ACTIONTEC-1668-0101", "Zelmar");  // searched, not a profile ID
    Add9x("PCMCIA\\ZELMAR-SOLVANE_802.11B-9999\\1", "PCMCIA\\ZELMAR-SOLVANE_802.11B-9999", "zelmar");
    DeviceList list;
    EXPECT_EQ(FindSupportedDevice(list), 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.Head()->enumKey, "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\\1");

    // The arrival handler searches on a list of its own without clearing it.
    EXPECT_EQ(FindDevicesByConfigManager(list), 2);
    EXPECT_EQ(list.count, 2);
}

TEST_F(ConfigManagerSearchTest, NodesWithoutAHardwareKeyAreSkipped) {
    Use(WindowsVersion::Win98SE, 1);
    const std::string card = Add9x("PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\\1",
                                   "pcmcia\\zelmar-solvane_802.11b/lan_pc_card-5d2e", "Zelmar");
    // The machine's own Config Manager nodes without "HardWareKey" come
    // first, the card's node last.
    const std::string root = "HKDD\\Config Manager\\Enum";
    const std::vector<std::string> nodes = machine().registry().SubKeys(root);
    ASSERT_FALSE(machine().registry().GetValue(root + "\\" + nodes.front(), "HardWareKey"));
    ASSERT_EQ(machine().registry().GetString(root + "\\" + nodes.back(), "HardWareKey"), card);
    DeviceList list;
    // Catches device_search.cpp FindDevicesByConfigManager ending the
    // enumeration at a node whose "HardWareKey" cannot be read instead of
    // going on with the next node.
    EXPECT_EQ(FindSupportedDevice(list), 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.Head()->enumKey, card);
}

TEST_F(ConfigManagerSearchTest, NeedsProfileDriverReadsTheNetworkClassOfTheFamily) {
    Use(WindowsVersion::Win98SE, 2);
    machine().registry().SetString("HKLM\\System\\CurrentControlSet\\Services\\Class\\Net\\0004", "MatchingDeviceId",
                                   "PCI\\VEN_168C&DEV_1107");
    EXPECT_EQ(NeedsProfileDriver("Net\\0004"), 0);
    EXPECT_EQ(NeedsProfileDriver("Display\\0004"), 0);  // the network class is read, whatever the value names
    EXPECT_EQ(NeedsProfileDriver("0004"), 0);
    EXPECT_EQ(NeedsProfileDriver("Net\\0005"), 1);
    EXPECT_EQ(NeedsProfileDriver(""), 1);
    EXPECT_EQ(NeedsProfileDriver(nullptr), 1);
}

}  // namespace
