// The Windows kind, the product profiles and the hardware-ID rules.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/hardware_tables.h"
#include "sim/machine/registry.h"
#include "sim/machine/session.h"
#include "sim/machine/window_manager.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

class WindowsKindTest : public ToolTest {
protected:
    WindowsKind KindOf(WindowsVersion version, const char* csd = nullptr) {
        UseMachine(version);
        if (csd) machine().csdVersion = csd;
        return DetectWindowsKind();
    }
};

TEST_F(WindowsKindTest, EveryVersionOfTheTableHasItsKind) {
    EXPECT_EQ(KindOf(WindowsVersion::Win95), KindWin95);
    EXPECT_EQ(KindOf(WindowsVersion::Win95OSR2), KindWin95OSR2);
    EXPECT_EQ(KindOf(WindowsVersion::NT351), KindWinNT3);
    EXPECT_EQ(KindOf(WindowsVersion::NT4), KindWinNT4);
    EXPECT_EQ(KindOf(WindowsVersion::Win98), KindWin98);
    EXPECT_EQ(KindOf(WindowsVersion::Win98SE), KindWin98SE);
    EXPECT_EQ(KindOf(WindowsVersion::WinMe), KindWinMe);
    EXPECT_EQ(KindOf(WindowsVersion::Win2000), KindWin2000);
    EXPECT_EQ(KindOf(WindowsVersion::WinXP), KindWinXP);
    EXPECT_EQ(KindOf(WindowsVersion::Server2003), KindUnknown);
}

TEST_F(WindowsKindTest, OnlyTheSecondServicePackCharacterTellsEditionsApart) {
    EXPECT_EQ(KindOf(WindowsVersion::Win98, " A "), KindWin98SE);
    EXPECT_EQ(KindOf(WindowsVersion::Win98SE, " B "), KindWin98);
    EXPECT_EQ(KindOf(WindowsVersion::Win98SE, "A"), KindWin98);
    EXPECT_EQ(KindOf(WindowsVersion::Win95, " C"), KindWin95OSR2);
    EXPECT_EQ(KindOf(WindowsVersion::Win95OSR2, " B"), KindWin95);
}

TEST_F(WindowsKindTest, AFailedQueryIsAnUnknownWindows) {
    UseMachine(WindowsVersion::WinXP);
    machine().failVersionQuery = true;
    EXPECT_EQ(DetectWindowsKind(), KindUnknown);
    EXPECT_EQ(InitWindowsKind(), KindUnknown);
    EXPECT_EQ(CurrentWindowsKind, KindUnknown);
}

TEST_F(WindowsKindTest, InitStoresTheKindForEveryone) {
    UseMachine(WindowsVersion::WinMe);
    EXPECT_EQ(CurrentWindowsKind, KindUnknown);
    EXPECT_EQ(InitWindowsKind(), KindWinMe);
    EXPECT_EQ(CurrentWindowsKind, KindWinMe);
}

// ---- profiles ---------------------------------------------------------------------

TEST(ProductProfile, ProfileTwoIsThePciLine) {
    SetDusklineFlag(false);
    SelectProductProfile(2);
    EXPECT_EQ(GetProductProfile(), 2);
    EXPECT_EQ(ProfileFamily, 2);
    EXPECT_STREQ(ProfileInfName, "ntzl11ab.inf");
    EXPECT_EQ(ProfileIdList, AbAdapterIds.rows);
    EXPECT_EQ(ProfileIdCount, 3);
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\TavarinApp");
    EXPECT_STREQ(ProfileSubKey, "Zelmar\\TavarinApp");
}

TEST(ProductProfile, ProfileOneFollowsTheDusklineFlagAtSelection) {
    SetDusklineFlag(false);
    SelectProductProfile(1);
    EXPECT_STREQ(ProfileInfName, "netzl11b.inf");
    EXPECT_EQ(ProfileIdList, PcCardIds.rows);
    EXPECT_EQ(ProfileIdCount, 3);
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\SolvaneAppB");
    EXPECT_STREQ(ProfileSubKey, "Zelmar\\SolvaneAppB");

    SetDusklineFlag(true);
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\SolvaneAppB");  // read at selection only
    SelectProductProfile(1);
    EXPECT_EQ(ProfileFamily, 1);
    EXPECT_STREQ(ProfileInfName, "netdl11b.inf");
    EXPECT_EQ(ProfileIdList, DusklineIds.rows);
    EXPECT_EQ(ProfileIdCount, 1);
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\DusklineB");
    EXPECT_STREQ(ProfileSubKey, "Zelmar\\DusklineB");
    SetDusklineFlag(false);
}

TEST(ProductProfile, OtherNumbersAreStoredAndClearEverySetting) {
    for (int profile : {0, 3, -1}) {
        SelectProductProfile(2);
        SelectProductProfile(profile);
        EXPECT_EQ(GetProductProfile(), profile);
        EXPECT_EQ(ProfileFamily, 0);
        EXPECT_EQ(ProfileInfName, nullptr);
        EXPECT_EQ(ProfileIdList, nullptr);
        EXPECT_EQ(ProfileIdCount, 0);
        EXPECT_EQ(ProfileKeyPath, nullptr);
        EXPECT_EQ(ProfileSubKey, nullptr);
    }
}

// ---- the tables and the ID rule ----------------------------------------------------------

TEST(HardwareTables, PciListIsTheDualBandRowsThenThe80211aRows) {
    ASSERT_EQ(PciAdapterIds.count, AbAdapterIds.count + AAdapterIds.count);
    for (int i = 0; i < AbAdapterIds.count; ++i) EXPECT_STREQ(PciAdapterIds.rows[i], AbAdapterIds.rows[i]);
    for (int i = 0; i < AAdapterIds.count; ++i) EXPECT_STREQ(PciAdapterIds.rows[3 + i], AAdapterIds.rows[i]);
    EXPECT_STREQ(AAdapterIds.rows[0], "pci\\ven_168c&dev_0007");
    EXPECT_STREQ(AAdapterIds.rows[7], "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01");
    EXPECT_EQ(std::string(PciFamilyPrefix).size(), 16u);
    EXPECT_STREQ(PackageDirs.rows[1], "system32\\drivers");
    EXPECT_STREQ(PcCardSearchIds.rows[5], "PCMCIA\\ACTIONTEC-1668-0101");
}

TEST(HardwareTables, ProfileTwoTakesTheWholePciFamily) {
    SelectProductProfile(2);
    for (int i = 0; i < AAdapterIds.count; ++i) {
        std::string lower = AAdapterIds.rows[i];
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(IsProfileHardwareId(AAdapterIds.rows[i]));
        EXPECT_TRUE(IsProfileHardwareId(lower.c_str()));
    }
    EXPECT_TRUE(IsProfileHardwareId("PCI\\VEN_168C&DEV"));
    EXPECT_TRUE(IsProfileHardwareId("pci\\ven_168c&dev_9999&SUBSYS_00000000"));
    EXPECT_FALSE(IsProfileHardwareId("PCI\\VEN_168C&DE"));
    EXPECT_FALSE(IsProfileHardwareId("PCI\\VEN_168D&DEV_0012"));
    EXPECT_FALSE(IsProfileHardwareId(""));
    EXPECT_FALSE(IsProfileHardwareId("pcmcia\\intersil-hfa384x/ieee-ca62"));
}

TEST(HardwareTables, ProfileOneWantsWholeIdsOfItsOwnList) {
    SetDusklineFlag(false);
    SelectProductProfile(1);
    EXPECT_TRUE(IsProfileHardwareId("PCMCIA\\INTERSIL-HFA384X/IEEE-CA62"));
    EXPECT_FALSE(IsProfileHardwareId("PCMCIA\\INTERSIL-HFA384X/IEEE-CA62X"));
    EXPECT_FALSE(IsProfileHardwareId("PCMCIA\\ACTIONTEC-1668-0101"));
    EXPECT_FALSE(IsProfileHardwareId("PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C"));
    EXPECT_FALSE(IsProfileHardwareId("pcmcia\\ZELMAR-Duskline-DS/LAN_PC_CARD-B7C1"));

    SetDusklineFlag(true);
    SelectProductProfile(1);
    EXPECT_TRUE(IsProfileHardwareId("PCMCIA\\zelmar-duskline-ds/lan_pc_card-b7c1"));
    EXPECT_FALSE(IsProfileHardwareId("pcmcia\\intersil-hfa384x/ieee-ca62"));
    SetDusklineFlag(false);
}

TEST(HardwareTables, NoProfileNoIds) {
    SelectProductProfile(0);
    EXPECT_FALSE(IsProfileHardwareId("PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C"));
    EXPECT_FALSE(IsProfileHardwareId("pcmcia\\intersil-hfa384x/ieee-ca62"));
    EXPECT_FALSE(IsProfileHardwareId(nullptr));
}

}  // namespace

namespace {

using sim::WindowsVersion;

class PlatformCheckTest : public ToolTest {};

TEST_F(PlatformCheckTest, SupportedKindsPassSilently) {
    for (WindowsVersion version : {WindowsVersion::NT4, WindowsVersion::Win98SE, WindowsVersion::WinMe,
                                   WindowsVersion::Win2000, WindowsVersion::WinXP}) {
        UseMachine(version);
        EXPECT_TRUE(CheckPlatform());
        EXPECT_TRUE(machine().windows().MessageBoxes().empty());
    }
}

TEST_F(PlatformCheckTest, OtherKindsAreRefusedWithString23UnderAnEmptyCaptionAndNothingIsWritten) {
    for (WindowsVersion version : {WindowsVersion::Win95, WindowsVersion::Win95OSR2, WindowsVersion::NT351,
                                   WindowsVersion::Win98, WindowsVersion::Server2003}) {
        UseMachine(version);
        const auto before = machine().registry().Snapshot();
        EXPECT_EQ(RunTool("-install -uninstall"), 0);
        const auto& boxes = machine().windows().MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << sim::VersionInfo(version).title;
        EXPECT_EQ(boxes[0].text,
                  "This application will only run under:\nWindows98SE,\nWindowsME, \nWindows2000, \n&WindowsXP.");
        EXPECT_EQ(boxes[0].caption, "");
        EXPECT_EQ(boxes[0].owner, nullptr);
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
        EXPECT_EQ(machine().registry().Snapshot(), before);
        EXPECT_TRUE(machine().session().ExitRequests().empty());
    }
    UseMachine(WindowsVersion::WinXP);
    machine().failVersionQuery = true;
    RunTool("");
    EXPECT_EQ(machine().windows().MessageBoxes().size(), 1u);
    EXPECT_FALSE(machine().registry().KeyExists("HKLM\\Software\\Zelmar"));
}

}  // namespace
