// The registry helpers every job reads and writes through.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/product_profile.h"
#include "sim/machine/registry.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::KeyAccess;
using sim::WindowsVersion;

const char* const kTavarin = "HKLM\\Software\\Zelmar\\TavarinApp";

class RegistryHelpersTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        SelectProductProfile(kPciProfile);
    }
    void TearDown() override { EXPECT_EQ(machine().registry().OpenHandleCount(), 0u) << "a key was left open"; }

    sim::Registry& reg() { return machine().registry(); }
};

// ---- RegQueryString ----------------------------------------------------------------

TEST_F(RegistryHelpersTest, QueryStringReadsTextOfAnyKeyAndLeavesTheBufferAloneOnFailure) {
    reg().SetString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Programs",
                    "C:\\Documents and Settings\\Ann\\Start Menu\\Programs");
    char buffer[260] = "untouched";
    EXPECT_EQ(RegQueryString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             "Programs", buffer, 260),
              1);
    EXPECT_STREQ(buffer, "C:\\Documents and Settings\\Ann\\Start Menu\\Programs");

    std::strcpy(buffer, "untouched");
    EXPECT_EQ(RegQueryString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             "Recent", buffer, 260),
              0);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(RegQueryString(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "Programs", buffer, 260), 0);
    EXPECT_STREQ(buffer, "untouched");
}

TEST_F(RegistryHelpersTest, QueryStringWithoutSubKeyReadsTheGivenKey) {
    reg().SetString("HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32NDIS5", "ImagePath", "system32\\W32NDIS5.sys");
    UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\W32NDIS5", 0, KEY_ALL_ACCESS,
                            key.Receive()),
              ERROR_SUCCESS);
    char buffer[260] = "";
    EXPECT_EQ(RegQueryString(key.Get(), nullptr, "ImagePath", buffer, 260), 1);
    EXPECT_STREQ(buffer, "system32\\W32NDIS5.sys");
}

TEST_F(RegistryHelpersTest, QueryStringTerminatesUnterminatedDataAndRefusesWhatDoesNotFit) {
    reg().SetValue(kTavarin, "Raw", REG_SZ, "abc");  // stored without a NUL
    char buffer[260] = "untouched";
    EXPECT_EQ(RegQueryString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Raw", buffer, 260), 1);
    EXPECT_STREQ(buffer, "abc");

    // Three bytes without a NUL offered exactly three bytes: no room for the
    // terminator, so the value counts as not read.
    char small[4] = "xyz";
    EXPECT_EQ(RegQueryString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Raw", small, 3), 0);
    EXPECT_STREQ(small, "xyz");

    reg().SetString(kTavarin, "Long", std::string(300, 'x'));
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(RegQueryString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Long", buffer, 260), 0);
    EXPECT_STREQ(buffer, "untouched");
}

// ---- RegReadString -----------------------------------------------------------------

TEST_F(RegistryHelpersTest, ReadStringReadsTheProfileKey) {
    reg().SetString(kTavarin, "InstallPath", "C:\\Program Files\\Zelmar\\Tavarin");
    reg().SetString("HKLM\\Software\\Zelmar\\SolvaneAppB", "InstallPath", "C:\\Solvane");
    char buffer[260];
    EXPECT_EQ(RegReadString(buffer, "InstallPath", 260), 1);
    EXPECT_STREQ(buffer, "C:\\Program Files\\Zelmar\\Tavarin");
    SelectProductProfile(kPcCardProfile);
    EXPECT_EQ(RegReadString(buffer, "InstallPath", 260), 1);
    EXPECT_STREQ(buffer, "C:\\Solvane");
    SelectProductProfile(kNoProfile);
    EXPECT_EQ(RegReadString(buffer, "InstallPath", 260), 0);
}

TEST_F(RegistryHelpersTest, ReadStringCountsTheEmptyTextAsReadButNoDataAsNot) {
    reg().SetString(kTavarin, "Empty", "");
    reg().SetValue(kTavarin, "Nothing", REG_SZ, "");
    char buffer[260] = "x";
    EXPECT_EQ(RegReadString(buffer, "Empty", 260), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(RegReadString(buffer, "Nothing", 260), 0);
    EXPECT_EQ(RegReadString(buffer, "Missing", 260), 0);
}

TEST_F(RegistryHelpersTest, ReadStringOfTenBytesTakesOnlyWhatFitsWithItsNul) {
    char buffer[16];
    reg().SetString(kTavarin, "BoingoInstallRun", "1");
    EXPECT_EQ(RegReadString(buffer, "BoingoInstallRun", 10), 1);
    EXPECT_STREQ(buffer, "1");

    reg().SetString(kTavarin, "BoingoInstallRun", "123456789");  // 10 bytes with the NUL
    EXPECT_EQ(RegReadString(buffer, "BoingoInstallRun", 10), 1);
    EXPECT_STREQ(buffer, "123456789");

    reg().SetString(kTavarin, "BoingoInstallRun", "1234567890");  // 11 bytes
    EXPECT_EQ(RegReadString(buffer, "BoingoInstallRun", 10), 0);

    // Ten bytes stored without a NUL fill the buffer: not read either, and
    // nothing is written past the ten bytes offered.
    std::memset(buffer, '#', sizeof buffer);
    reg().SetValue(kTavarin, "BoingoInstallRun", REG_SZ, "1234567890");
    EXPECT_EQ(RegReadString(buffer, "BoingoInstallRun", 10), 0);
    for (size_t i = 10; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#');

    reg().SetValue(kTavarin, "BoingoInstallRun", REG_SZ, "1");  // one byte, no NUL
    EXPECT_EQ(RegReadString(buffer, "BoingoInstallRun", 10), 1);
    EXPECT_STREQ(buffer, "1");
}

TEST_F(RegistryHelpersTest, ReadStringNeedsFullAccessToTheKey) {
    reg().SetString(kTavarin, "InstallPath", "C:\\Tavarin");
    reg().SetKeyAccess(kTavarin, KeyAccess::DenyFullAccess);
    char buffer[260];
    EXPECT_EQ(RegReadString(buffer, "InstallPath", 260), 0);
    // RegQueryString only asks to read, and gets the value.
    EXPECT_EQ(RegQueryString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "InstallPath", buffer, 260), 1);
}

// ---- RegWriteString ----------------------------------------------------------------

TEST_F(RegistryHelpersTest, WriteStringCreatesTheProfileKeyAndStoresTheTextWithItsNul) {
    EXPECT_EQ(RegWriteString("PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C", "HardwareID"), ERROR_SUCCESS);
    auto value = reg().GetValue(kTavarin, "HardwareID");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->data, std::string("PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C") + '\0');

    EXPECT_EQ(RegWriteString("", "Empty"), ERROR_SUCCESS);
    EXPECT_EQ(reg().GetValue(kTavarin, "Empty")->data, std::string(1, '\0'));

    SetDusklineFlag(true);
    SelectProductProfile(kPcCardProfile);
    EXPECT_EQ(RegWriteString("1", "InstallDriver"), ERROR_SUCCESS);
    EXPECT_EQ(reg().GetString("HKLM\\Software\\Zelmar\\DusklineB", "InstallDriver"), "1");
    SetDusklineFlag(false);
}

TEST_F(RegistryHelpersTest, WriteStringReportsTheStepThatFailed) {
    reg().CreateKey(kTavarin);
    reg().SetKeyAccess(kTavarin, KeyAccess::DenyFullAccess);
    EXPECT_EQ(RegWriteString("1", "InstallDriver"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(reg().GetValue(kTavarin, "InstallDriver"));

    reg().SetKeyAccess("HKLM\\Software", KeyAccess::DenyFullAccess);
    EXPECT_EQ(RegWriteString("1", "InstallDriver"), ERROR_ACCESS_DENIED);

    SelectProductProfile(kNoProfile);
    EXPECT_NE(RegWriteString("1", "InstallDriver"), ERROR_SUCCESS);
}

// ---- RegCreateOpenKey and the utility key ---------------------------------------------

TEST_F(RegistryHelpersTest, OnWindows2000AndXpTheKeyIsOpenedToEveryone) {
    for (WindowsVersion version : {WindowsVersion::Win2000, WindowsVersion::WinXP}) {
        UseMachine(version);
        reg().CreateKey("HKLM\\Software\\Existing");
        UniqueRegKey key;
        ASSERT_EQ(RegCreateOpenKey(HKEY_LOCAL_MACHINE, "Software\\Existing", key.Receive()), 1);
        EXPECT_TRUE(key.Valid());
        EXPECT_EQ(reg().GetKeyAccess("HKLM\\Software\\Existing"), KeyAccess::OpenToEveryone);
        key.Reset();

        ASSERT_EQ(RegCreateOpenKey(HKEY_LOCAL_MACHINE, "Software\\New\\Deeper", key.Receive()), 1);
        key.Reset();
        EXPECT_EQ(reg().GetKeyAccess("HKLM\\Software\\New\\Deeper"), KeyAccess::OpenToEveryone);
    }
}

TEST_F(RegistryHelpersTest, OnOtherWindowsTheKeyIsCreatedOrOpenedWithoutTouchingSecurity) {
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe, WindowsVersion::NT4}) {
        UseMachine(version);
        reg().CreateKey("HKLM\\Software\\Existing");
        UniqueRegKey key;
        ASSERT_EQ(RegCreateOpenKey(HKEY_LOCAL_MACHINE, "Software\\Existing", key.Receive()), 1);
        key.Reset();
        ASSERT_EQ(RegCreateOpenKey(HKEY_LOCAL_MACHINE, "Software\\New", key.Receive()), 1);
        key.Reset();
        EXPECT_EQ(reg().GetKeyAccess("HKLM\\Software\\Existing"), KeyAccess::Default);
        EXPECT_EQ(reg().GetKeyAccess("HKLM\\Software\\New"), KeyAccess::Default);
    }
}

TEST_F(RegistryHelpersTest, AKeyTheUserMayNotWriteIsNeitherOpenedNorCreated) {
    reg().CreateKey("HKLM\\Software\\Locked");
    reg().SetKeyAccess("HKLM\\Software\\Locked", KeyAccess::DenyFullAccess);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateOpenKey(HKEY_LOCAL_MACHINE, "Software\\Locked", &key), 0);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(reg().GetKeyAccess("HKLM\\Software\\Locked"), KeyAccess::DenyFullAccess);
}

TEST_F(RegistryHelpersTest, UtilityKeyIsCreatedOnceAndStaysTheSame) {
    EXPECT_EQ(CreateUtilityKey(), 1);
    const auto first = reg().Snapshot();
    EXPECT_EQ(CreateUtilityKey(), 1);
    EXPECT_TRUE(reg().KeyExists(kTavarin));
    EXPECT_EQ(reg().GetKeyAccess(kTavarin), KeyAccess::OpenToEveryone);
    EXPECT_EQ(reg().Snapshot(), first);
}

}  // namespace
