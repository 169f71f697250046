// Upgrading drivers without a window: the forced update by hardware ID on
// the NT family, the retargeting of the 9x network class keys, and the
// staged security library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "driver/driver_upgrade.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/faults.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/registry.h"
#include "tests/support/test_infs.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const k80211aId = "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01";

class DriverUpgradeTest : public ToolTest {
protected:
    void Use(WindowsVersion version, bool installPath = true) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(kPciProfile);
        if (installPath) reg().SetString(std::string("HKLM\\") + ProfileKeyPath, "InstallPath", "C:\\Drv");
    }
    void TearDown() override {
        EXPECT_EQ(reg().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().files().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().modules().LoadedCount(), 0u);
    }
    sim::Registry& reg() { return machine().registry(); }
    sim::FileSystem& files() { return machine().files(); }
    sim::DeviceModel& devices() { return machine().devices(); }

    // An adapter running a driver of the profile (an earlier copy of its
    // package, dated later than the one in the install folder, so that
    // Windows ranks it better and only a forced update replaces it).
    std::string AddRunningAdapter(const std::string& device, const std::string& subsystem,
                                  const std::string& matching) {
        sim::PciAdapter adapter;
        adapter.device = device;
        adapter.subsystem = subsystem;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = matching;
        adapter.driver->infPath = "oem3.inf";
        adapter.driver->driverDate = "6-30-2003";
        return devices().AddPciAdapter(adapter);
    }

    // The driver update calls the run made, as the transcript shows them.
    std::vector<std::string> Updates() {
        std::vector<std::string> out;
        for (const auto& line : machine().transcript.OfKind("device")) {
            if (line.text.rfind("UpdateDriverForPlugAndPlayDevices ", 0) == 0) out.push_back(line.text);
        }
        return out;
    }
};

// ---- the NT family: a forced update by hardware ID ---------------------------------------

TEST_F(DriverUpgradeTest, TheAdapterRunningThePackagesDriverIsForcedOntoTheInstallFoldersInf) {
    for (WindowsVersion version : {WindowsVersion::WinXP, WindowsVersion::Win2000}) {
        Use(version);
        files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
        files().WriteFile("C:\\Drv\\ntzl11ab.inf", testinfs::DualBandInf());
        const std::string id = AddRunningAdapter("0007", "01107E3D", "pci\\ven_168c&dev_0007&subsys_01107e3d");
        EXPECT_EQ(UpgradeDrivers(), kUpgradeDone);
        EXPECT_EQ(Updates(), std::vector<std::string>{"UpdateDriverForPlugAndPlayDevices " + std::string(k80211aId) +
                                                      " C:\\Drv\\netzl11a.inf (force)"});
        const std::string key = *devices().DriverKeyPath(id);
        EXPECT_EQ(reg().GetString(key, "DriverDate"), "1-20-2003");
        EXPECT_EQ(reg().GetString(key, "InfPath"), "oem0.inf");
    }
}

TEST_F(DriverUpgradeTest, WithoutAReadyAdapterOrWithoutItsInfThereIsNothingToUpgrade) {
    Use(WindowsVersion::WinXP);
    files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
    EXPECT_EQ(UpgradeDrivers(), kNothingToUpgrade);

    // An adapter of the family that runs no driver yet is not upgraded.
    sim::PciAdapter bare;
    bare.device = "0007";
    bare.subsystem = "01107E3D";
    devices().AddPciAdapter(bare);
    EXPECT_EQ(UpgradeDrivers(), kNothingToUpgrade);

    // A dual-band adapter runs its driver, but the install folder holds
    // only the 802.11a package: no update is tried.
    Use(WindowsVersion::Win2000);
    files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
    AddRunningAdapter("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c");
    EXPECT_EQ(UpdateDeviceDriver(), kNothingToUpgrade);
    EXPECT_TRUE(Updates().empty());
}

TEST_F(DriverUpgradeTest, EveryFailureOnTheWayIsAFailedUpgrade) {
    struct Case {
        const char* what;
        WindowsVersion version;
        sim::NewdevAvailability newdev;
        bool installPath;
        bool updateFails;
    };
    const Case cases[] = {
        {"newdev missing", WindowsVersion::WinXP, sim::NewdevAvailability::Absent, true, false},
        {"no update function", WindowsVersion::WinXP, sim::NewdevAvailability::LacksUpdateFunction, true, false},
        {"no InstallPath", WindowsVersion::WinXP, sim::NewdevAvailability::Present, false, false},
        {"update refused", WindowsVersion::WinXP, sim::NewdevAvailability::Present, true, true},
        // NT 4.0 has no "newdev": -Upgrade there ends at the failure box.
        {"NT 4.0", WindowsVersion::NT4, sim::NewdevAvailability::Absent, true, false},
    };
    for (const Case& c : cases) {
        Use(c.version, c.installPath);
        machine().modules().newdev = c.newdev;
        files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
        const std::string id = AddRunningAdapter("0007", "01107E3D", "pci\\ven_168c&dev_0007&subsys_01107e3d");
        if (c.updateFails) machine().faults.Add({"UpdateDriverForPlugAndPlayDevicesA", k80211aId, ERROR_GEN_FAILURE});
        EXPECT_EQ(UpgradeDrivers(), kUpgradeFailed) << c.what;
        EXPECT_EQ(reg().GetString(*devices().DriverKeyPath(id), "InfPath"), "oem3.inf") << c.what;
        EXPECT_EQ(machine().modules().LoadedCount(), 0u) << c.what;
    }
}

// ---- Windows 98 SE / Me: the network class keys ------------------------------------------

class RetargetTest : public DriverUpgradeTest {
protected:
    // A network adapter instance of the 9x family with its NDIS 5 driver.
    std::string AddInstance(const std::string& device, const std::string& subsystem, const std::string& matching,
                            const std::string& driverFile) {
        sim::PciAdapter adapter;
        adapter.device = device;
        adapter.subsystem = subsystem;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = matching;
        adapter.driver->deviceVxDs = driverFile;
        adapter.driver->ntmpDriver = driverFile;
        return *devices().DriverKeyPath(devices().AddPciAdapter(adapter));
    }
    // "DeviceVxDs" and "NTMPDriver" as stored, terminating zero included.
    std::vector<std::string> DriverFiles(const std::string& key) {
        std::vector<std::string> out;
        for (const char* name : {"DeviceVxDs", "NTMPDriver"}) {
            const auto value = reg().GetValue(key, name);
            out.push_back(value ? value->data : "(none)");
        }
        return out;
    }
    static std::vector<std::string> Both(const std::string& file) {
        return {file + std::string(1, '\0'), file + std::string(1, '\0')};
    }
};

TEST_F(RetargetTest, InstancesOfAPackageWhoseDriverFileIsThereArePointedAtIt) {
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe}) {
        Use(version);
        // Instances of both families, matched by part of their ID, however
        // Windows spelled it; the standard Dial-Up Adapter is one more.
        const std::string a = AddInstance("0007", "02207E3D", "PCI\\VEN_168C&DEV_0007&SUBSYS_02207E3D&REV_01",
                                          "zelm10a.sys");
        const std::string ab =
            AddInstance("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c", "ntzl10ab.sys");
        const std::string dialUp = "HKLM\\System\\CurrentControlSet\\Services\\Class\\Net\\0000";
        ASSERT_EQ(reg().GetString(dialUp, "DeviceVxDs"), "pppmac.vxd");
        const auto dialUpBefore = DriverFiles(dialUp);

        // No driver file in the install folder: nothing changes, and the
        // upgrade counts as done all the same.
        EXPECT_EQ(UpgradeDrivers(), kUpgradeDone);
        EXPECT_EQ(DriverFiles(a), Both("zelm10a.sys"));

        files().WriteFile("C:\\Drv\\zelm11a.sys", "MZ");
        EXPECT_EQ(UpgradeDrivers(), kUpgradeDone);
        EXPECT_EQ(DriverFiles(a), Both("zelm11a.sys"));
        EXPECT_EQ(DriverFiles(ab), Both("ntzl10ab.sys"));
        EXPECT_EQ(DriverFiles(dialUp), dialUpBefore);

        // With both files, an instance whose "MatchingDeviceId" holds an ID
        // of each list ends with the 802.11a driver, written last.
        files().WriteFile("C:\\Drv\\ntzl11ab.sys", "MZ");
        const std::string both = AddInstance("0012", "AA007E3D",
                                             "PCI\\VEN_168C&DEV_0012&SUBSYS_AA007E3D\\PCI\\VEN_168C&DEV_0007",
                                             "zelm10a.sys");
        EXPECT_EQ(RetargetNetClassDrivers(), kUpgradeDone);
        EXPECT_EQ(DriverFiles(both), Both("zelm11a.sys"));
        EXPECT_EQ(DriverFiles(ab), Both("ntzl11ab.sys"));
        EXPECT_EQ(DriverFiles(a), Both("zelm11a.sys"));
        EXPECT_EQ(DriverFiles(dialUp), dialUpBefore);
    }
}

// ---- the staged security library ---------------------------------------------------------

class SecurityFilesTest : public DriverUpgradeTest {
protected:
    const std::string library = "C:\\WINDOWS\\SYSTEM\\ZLMSecurity.dll";
    const std::string staged = "C:\\WINDOWS\\SYSTEM\\ZLMSecurity.new";
};

TEST_F(SecurityFilesTest, TheStagedCopyGoesOnlyOnceItReplacedTheLibraryOrNoLibraryIsThere) {
    Use(WindowsVersion::Win98SE);
    // The installed library is read-only, as setup programs leave them.
    files().WriteFile(library, "old");
    files().SetAttributes(library, FILE_ATTRIBUTE_READONLY);
    files().WriteFile(staged, "new");
    UpgradeSecurityFiles();
    EXPECT_EQ(files().ReadFile(library), "new");
    EXPECT_FALSE(files().Exists(staged));

    // The running utility holds the library: the copy fails, and the staged
    // copy stays for the next run.
    Use(WindowsVersion::WinMe);
    files().WriteFile(library, "old");
    files().WriteFile(staged, "new");
    files().SetInUse(library, true);
    UpgradeSecurityFiles();
    EXPECT_EQ(files().ReadFile(library), "old");
    EXPECT_EQ(files().ReadFile(staged), "new");

    // No library installed: the staged copy is deleted, nothing copied.
    Use(WindowsVersion::Win98SE);
    files().WriteFile(staged, "new");
    UpgradeSecurityFiles();
    EXPECT_FALSE(files().Exists(staged));
    EXPECT_FALSE(files().Exists(library));
}

TEST_F(SecurityFilesTest, UpgradeFilesOnXpLeavesBothFiles) {
    UseMachine(WindowsVersion::WinXP);
    const std::string xpLibrary = "C:\\WINDOWS\\system32\\ZLMSecurity.dll";
    const std::string xpStaged = "C:\\WINDOWS\\system32\\ZLMSecurity.new";
    files().WriteFile(xpLibrary, "old");
    files().WriteFile(xpStaged, "new");
    RunTool("-UpgradeFiles");
    EXPECT_EQ(files().ReadFile(xpLibrary), "old");
    EXPECT_EQ(files().ReadFile(xpStaged), "new");
}

}  // namespace
