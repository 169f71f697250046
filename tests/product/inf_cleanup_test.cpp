// The driver package's files deleted after a removal: the INF copy Windows
// made (named by the adapter's driver key), the package INF and driver
// image, and on Windows 98 SE the catalog; never a file outside the INF
// folder through the stored name.
#include <gtest/gtest.h>

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_list.h"
#include "driver/inf_cleanup.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kXpClassKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char* const k9xClassKey = "HKLM\\System\\CurrentControlSet\\Services\\Class\\Net";
const char* const kCatalogs = "C:\\WINDOWS\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

class InfCleanupTest : public ToolTest {
protected:
    void Use(WindowsVersion version, int profile) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(profile);
    }
    sim::FileSystem& files() { return machine().files(); }
    sim::Registry& reg() { return machine().registry(); }

    bool Has(const std::string& path) { return files().Exists(path); }
};

TEST_F(InfCleanupTest, OnXpTheCopyAndTheDualBandPackageGoButNoCatalog) {
    Use(WindowsVersion::WinXP, 2);
    reg().SetString(std::string(kXpClassKey) + "\\0003", "InfPath", "oem3.inf");
    for (const char* path : {"C:\\WINDOWS\\inf\\oem3.inf", "C:\\WINDOWS\\inf\\ntzl11ab.inf",
                             "C:\\WINDOWS\\system32\\drivers\\ntzl11ab.sys", "C:\\WINDOWS\\inf\\netzl11a.inf",
                             "C:\\WINDOWS\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\ntzl11ab.cat"}) {
        files().WriteFile(path, "x");
    }
    files().SetAttributes("C:\\WINDOWS\\inf\\oem3.inf", FILE_ATTRIBUTE_READONLY);

    FoundDevice record;
    record.driverKey = "{4D36E972-E325-11CE-BFC1-08002BE10318}\\0003";
    std::string infName;
    ASSERT_EQ(ReadInstalledInfName(infName, record), 1);
    EXPECT_EQ(infName, "oem3.inf");
    RemoveInstalledInf(infName, "pci\\ven_168c&dev_0012&subsys_0a007e3d&rev_01");

    EXPECT_FALSE(Has("C:\\WINDOWS\\inf\\oem3.inf"));
    EXPECT_FALSE(Has("C:\\WINDOWS\\inf\\ntzl11ab.inf"));
    EXPECT_FALSE(Has("C:\\WINDOWS\\system32\\drivers\\ntzl11ab.sys"));
    EXPECT_TRUE(Has("C:\\WINDOWS\\inf\\netzl11a.inf"));
    EXPECT_TRUE(Has("C:\\WINDOWS\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\ntzl11ab.cat"));
    EXPECT_EQ(reg().OpenHandleCount(), 0u);

    // Without a driver key nothing is read, and the text stays as it was.
    record.driverKey = "";
    std::string untouched = "before";
    EXPECT_EQ(ReadInstalledInfName(untouched, record), 0);
    EXPECT_EQ(untouched, "before");
}

// A PC Card's ID selects the 802.11a set; profile 1 removes its INF, and on
// 98 SE its catalog, but no driver image.
TEST_F(InfCleanupTest, On98SeACardTakesTheINFAndTheCatalogOfThe80211aSet) {
    Use(WindowsVersion::Win98SE, 1);
    reg().SetString(std::string(k9xClassKey) + "\\0001", "InfPath", "NETZL11B.INF");
    for (const std::string name : {"NETZL11B.INF", "netzl11a.inf", "ntzl11ab.inf"}) {
        files().WriteFile("C:\\WINDOWS\\INF\\" + name, "x");
    }
    files().WriteFile(std::string(kCatalogs) + "\\netzl11a.cat", "x");
    files().WriteFile(std::string(kCatalogs) + "\\ntzl11ab.cat", "x");

    FoundDevice record;
    record.driverKey = "Net\\0001";
    std::string infName;
    ASSERT_EQ(ReadInstalledInfName(infName, record), 1);
    RemoveInstalledInf(infName, "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    EXPECT_FALSE(Has("C:\\WINDOWS\\INF\\NETZL11B.INF"));
    EXPECT_FALSE(Has("C:\\WINDOWS\\INF\\netzl11a.inf"));
    EXPECT_FALSE(Has(std::string(kCatalogs) + "\\netzl11a.cat"));
    EXPECT_TRUE(Has("C:\\WINDOWS\\INF\\ntzl11ab.inf"));
    EXPECT_TRUE(Has(std::string(kCatalogs) + "\\ntzl11ab.cat"));
}

// "InfPath" is only ever a file name in the INF folder: a value that holds
// a folder, a drive or ".." deletes nothing, and the package files still go.
TEST_F(InfCleanupTest, AStoredNameThatLeavesTheInfFolderDeletesNothing) {
    Use(WindowsVersion::WinXP, 2);
    const char* const victims[] = {"C:\\WINDOWS\\system32\\drivers\\tcpip.sys", "C:\\boot.ini",
                                   "C:\\WINDOWS\\inf\\sub\\x.inf", "C:\\WINDOWS\\win.ini"};
    for (const char* victim : victims) files().WriteFile(victim, "keep");
    files().WriteFile("C:\\WINDOWS\\inf\\ntzl11ab.inf", "x");
    for (const char* stored : {"..\\system32\\drivers\\tcpip.sys", "C:\\boot.ini", "sub\\x.inf", "sub/x.inf",
                               "..", "C:..\\win.ini"}) {
        RemoveInstalledInf(stored, "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C");
    }
    for (const char* victim : victims) EXPECT_TRUE(Has(victim)) << victim;
    EXPECT_FALSE(Has("C:\\WINDOWS\\inf\\ntzl11ab.inf"));
}

}  // namespace
