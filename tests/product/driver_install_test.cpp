// Installing the driver package: by hardware ID through "newdev", staging,
// and the re-enumeration of the 9x family.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/process_state.h"
#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_search.h"
#include "driver/driver_install.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/registry.h"
#include "tests/support/test_infs.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

class DriverInstallTest : public ToolTest {
protected:
    void Use(WindowsVersion version, int profile = 2, bool installPath = true) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(profile);
        if (installPath)
            machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "InstallPath", "C:\\Drv");
        files().WriteFile("C:\\Drv\\ntzl11ab.inf", testinfs::DualBandInf());
        files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
        files().WriteFile("C:\\Drv\\netzl11b.inf", testinfs::SolvaneInf());
    }
    void TearDown() override {
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().modules().LoadedCount(), 0u);
    }
    sim::FileSystem& files() { return machine().files(); }
    sim::DeviceModel& devices() { return machine().devices(); }

    std::string AddAdapter(const std::string& device, const std::string& subsystem) {
        sim::PciAdapter adapter;
        adapter.device = device;
        adapter.subsystem = subsystem;
        return devices().AddPciAdapter(adapter);
    }
    // The INF the last driver update was asked to use.
    std::string UpdatedFrom() {
        std::string last;
        for (const auto& line : machine().transcript.OfKind("device")) {
            if (line.text.rfind("UpdateDriverForPlugAndPlayDevices ", 0) == 0) last = line.text;
        }
        return last;
    }
};

TEST(SelectPackageInf, OnlyWholeRowsOfThe80211aTableTakeItsPackage) {
    EXPECT_STREQ(SelectPackageInf("pci\\ven_168c&dev_0007&subsys_01107e3d"), "netzl11a.inf");
    EXPECT_STREQ(SelectPackageInf("PCI\\VEN_168C&DEV_1107"), "netzl11a.inf");
    EXPECT_STREQ(SelectPackageInf("PCI\\VEN_168C&DEV_0007&SUBSYS_01007E3D&REV_01"), "ntzl11ab.inf");
    EXPECT_STREQ(SelectPackageInf("PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C"), "ntzl11ab.inf");
    EXPECT_STREQ(SelectPackageInf(nullptr), "ntzl11ab.inf");
}

TEST_F(DriverInstallTest, AnAdapterNeedingTheDriverIsUpdatedFromTheInstallFolder) {
    for (WindowsVersion version : {WindowsVersion::WinXP, WindowsVersion::Win2000}) {
        Use(version);
        const std::string id = AddAdapter("0012", "1022168C");
        DeviceList list;
        ASSERT_EQ(FindSupportedDevice(list), 0);
        BOOL reboot = TRUE;
        InstallDriverPackage(list, &reboot);
        EXPECT_FALSE(reboot);
        EXPECT_NE(UpdatedFrom().find("C:\\Drv\\ntzl11ab.inf (force)"), std::string::npos);
        EXPECT_TRUE(devices().IsStarted(id));
        EXPECT_EQ(FindSupportedDevice(list), 1);
        EXPECT_EQ(list.FindFirst(0)->name, "Zelmar Dual-Band Wireless PCI Adapter");
        EXPECT_EQ(machine().modules().LoadedCount(), 0u);
    }
}

TEST_F(DriverInstallTest, The80211aAdapterTakesItsOwnPackageAndMayAskForARestart) {
    Use(WindowsVersion::WinXP);
    sim::PciAdapter adapter;
    adapter.device = "0007";
    adapter.hardwareIds = {"pci\\ven_168c&dev_0007&subsys_01107e3d"};
    devices().AddPciAdapter(adapter);
    devices().RequireRestartForInf("netzl11a.inf");
    DeviceList list;
    FindSupportedDevice(list);
    BOOL reboot = FALSE;
    InstallDriverPackage(list, &reboot);
    EXPECT_NE(UpdatedFrom().find("C:\\Drv\\netzl11a.inf"), std::string::npos);
    EXPECT_TRUE(reboot);
}

TEST_F(DriverInstallTest, WithoutAnAdapterNeedingTheDriverThePackageIsStaged) {
    Use(WindowsVersion::WinXP);
    DeviceList list;
    BOOL reboot = TRUE;
    InstallDriverPackage(list, &reboot);
    EXPECT_FALSE(reboot);
    const auto& staged = devices().StagedInfs();
    ASSERT_EQ(staged.size(), 2u);
    EXPECT_EQ(staged[0].source, "C:\\Drv\\ntzl11ab.inf");
    EXPECT_EQ(staged[1].source, "C:\\Drv\\netzl11a.inf");
    for (const auto& inf : staged) {
        EXPECT_EQ(inf.mediaType, static_cast<DWORD>(SPOST_PATH));
        EXPECT_EQ(inf.mediaLocation, "C:\\Drv\\");
    }
    EXPECT_EQ(UpdatedFrom(), "");

    // An adapter inserted later is installed by Windows from the staged INF.
    const std::string id = AddAdapter("0012", "0A007E3D");
    devices().SetPresent(id, false);
    devices().Arrive(id);
    EXPECT_TRUE(devices().IsStarted(id));

    // A list whose adapters all run the driver stages too.
    UseMachine(WindowsVersion::WinXP);
    InitWindowsKind();
    SelectProductProfile(kPcCardProfile);
    machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "InstallPath", "C:\\Drv");
    files().WriteFile("C:\\Drv\\netzl11b.inf", testinfs::SolvaneInf());
    files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
    DeviceList ready;
    ready.AddRecord("ready", "PCMCIA\\X", 0);
    InstallDriverPackage(ready, &reboot);
    ASSERT_EQ(devices().StagedInfs().size(), 2u);
    EXPECT_EQ(devices().StagedInfs()[0].source, "C:\\Drv\\netzl11b.inf");
}

TEST_F(DriverInstallTest, NewdevMissingStagesAndNewdevWithoutItsFunctionDoesNothing) {
    Use(WindowsVersion::WinXP);
    AddAdapter("0012", "1022168C");
    machine().modules().newdev = sim::NewdevAvailability::Absent;
    DeviceList list;
    FindSupportedDevice(list);
    InstallDriverPackage(list, nullptr);
    EXPECT_EQ(devices().StagedInfs().size(), 2u);

    Use(WindowsVersion::WinXP);
    AddAdapter("0012", "1022168C");
    machine().modules().newdev = sim::NewdevAvailability::LacksUpdateFunction;
    FindSupportedDevice(list);
    BOOL reboot = TRUE;
    InstallDriverPackage(list, &reboot);
    EXPECT_FALSE(reboot);
    EXPECT_TRUE(devices().StagedInfs().empty());
    EXPECT_EQ(UpdatedFrom(), "");
}

TEST_F(DriverInstallTest, WithoutInstallPathTheCopyInTheInfFolderIsUsed) {
    Use(WindowsVersion::WinXP, 2, false);
    files().WriteFile("C:\\WINDOWS\\inf\\ntzl11ab.inf", testinfs::DualBandInf());
    const std::string id = AddAdapter("0012", "1022168C");
    DeviceList list;
    FindSupportedDevice(list);
    InstallDriverPackage(list, nullptr);
    EXPECT_NE(UpdatedFrom().find("C:\\WINDOWS\\inf\\ntzl11ab.inf"), std::string::npos);
    EXPECT_EQ(machine().registry().GetString(*devices().DriverKeyPath(id), "InfPath"), "ntzl11ab.inf");
    // Nothing to stage from without an install folder.
    DeviceList empty;
    InstallDriverPackage(empty, nullptr);
    EXPECT_TRUE(devices().StagedInfs().empty());
}

TEST_F(DriverInstallTest, AnInstallFolderTooLongForItsPathsDoesNothing) {
    Use(WindowsVersion::WinXP);
    const std::string longFolder = "C:\\" + std::string(250, 'd');
    machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "InstallPath", longFolder);
    AddAdapter("0012", "1022168C");
    DeviceList list;
    FindSupportedDevice(list);
    InstallDriverPackage(list, nullptr);
    EXPECT_EQ(UpdatedFrom(), "");
    DeviceList empty;
    InstallDriverPackage(empty, nullptr);
    EXPECT_TRUE(devices().StagedInfs().empty());
}

TEST_F(DriverInstallTest, ElsewhereTheIndexIsDeletedAndTheTreeReenumerated) {
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe}) {
        Use(version, 1);
        files().WriteFile("C:\\WINDOWS\\INF\\netzl11b.inf", testinfs::SolvaneInf());
        devices().BuildDriverIndex();
        files().WriteFile("C:\\WINDOWS\\INF\\netzl11a.inf", testinfs::AInf());
        const std::string key = devices().AddPcCard(sim::PcCard{});
        DeviceList list;
        BOOL reboot = TRUE;
        InstallDriverPackage(list, &reboot);
        EXPECT_FALSE(reboot);
        EXPECT_TRUE(devices().IsStarted(key));
        // The index was rebuilt from every INF, the one added late included.
        EXPECT_NE(files().ReadFile("C:\\WINDOWS\\INF\\drvidx.bin")->find("netzl11a.inf"), std::string::npos);
        EXPECT_EQ(FindSupportedDevice(list), 1);
    }
}

TEST_F(DriverInstallTest, RescanWorksOnADriveRootWindowsFolder) {
    sim::Machine root(WindowsVersion::Win98SE, "C:\\");
    sim::MachineScope scope(root);
    ResetProcessState();
    InitWindowsKind();
    root.files().WriteFile("C:\\inf\\drvidx.bin", "old");
    root.files().WriteFile("C:\\inf\\drvdata.bin", "old");
    EXPECT_EQ(RescanDevices(nullptr), 1);
    EXPECT_NE(root.files().ReadFile("C:\\inf\\drvidx.bin"), "old");
    char path[MAX_PATH];
    EXPECT_TRUE(ComposeWindowsPath(path, sizeof path, "inf", "x.inf"));
    EXPECT_STREQ(path, "C:\\inf\\x.inf");
}

}  // namespace
