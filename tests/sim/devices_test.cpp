// The emulated device tree: SetupAPI sets and properties, sets that keep
// their nodes, state changes and removal, OEM INF staging, source lists,
// "newdev" updates, new hardware, arrivals and departures, and the devices
// every standard machine carries, on both Windows families.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "tests/support/test_infs.h"

// The update function of "newdev", as GetProcAddress hands it out.
BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                           PBOOL rebootRequired);

namespace {

using sim::WindowsVersion;

sim::PcCard AbsentCard() {
    sim::PcCard card;
    card.present = false;
    return card;
}

const char* const kDualBandId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
const char* const kNetClass = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

class DeviceTreeTest : public ::testing::Test {
protected:
    void Use(WindowsVersion version) {
        scope_.reset();
        machine_ = std::make_unique<sim::Machine>(version);
        scope_ = std::make_unique<sim::MachineScope>(*machine_);
    }
    void SetUp() override { Use(WindowsVersion::WinXP); }

    sim::Machine& m() { return *machine_; }
    sim::DeviceModel& devices() { return machine_->devices(); }
    sim::Registry& reg() { return machine_->registry(); }
    sim::FileSystem& files() { return machine_->files(); }

    std::string AddDualBand(bool present = true) {
        sim::PciAdapter adapter;
        adapter.present = present;
        return devices().AddPciAdapter(adapter);
    }

    // The package folder of the client software.
    void WritePackage() {
        files().WriteFile("C:\\Drv\\ntzl11ab.inf", testinfs::DualBandInf());
        files().WriteFile("C:\\Drv\\ntzl11ab.cat", "catalog");
        files().WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());
        files().WriteFile("C:\\Drv\\netzl11b.inf", testinfs::SolvaneInf());
    }

    // A set of the one present device with this instance ID, and that
    // device in it.
    HDEVINFO SetOfOne(const std::string& id, SP_DEVINFO_DATA* device) {
        HDEVINFO set = SetupDiGetClassDevsA(nullptr, id.c_str(), nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        device->cbSize = sizeof *device;
        EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, device));
        return set;
    }

    std::vector<std::string> HardwareIdsOf(HDEVINFO set, SP_DEVINFO_DATA* device) {
        char buffer[1024] = {};
        DWORD required = 0;
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr,
                                                      reinterpret_cast<BYTE*>(buffer), sizeof buffer, &required));
        std::vector<std::string> out;
        for (const char* p = buffer; *p; p += std::strlen(p) + 1) out.push_back(p);
        return out;
    }

private:
    std::unique_ptr<sim::Machine> machine_;
    std::unique_ptr<sim::MachineScope> scope_;
};

// ---- sets and enumeration --------------------------------------------------

TEST_F(DeviceTreeTest, ClassDevsFollowTheDocumentedFlagRules) {
    const std::string adapter = AddDualBand();
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, "NOSUCHBUS", nullptr, DIGCF_ALLCLASSES), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

    // Among the machine's own devices: every member of a class set is of
    // that class and of the enumerator asked for; the adapter is the last
    // network adapter on the PCI bus (the machine's wired one comes first).
    GUID net = {0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    GUID keyboards = {0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    HDEVINFO byClass = SetupDiGetClassDevsA(&net, "PCI", nullptr, DIGCF_PRESENT);
    HDEVINFO otherClass = SetupDiGetClassDevsA(&keyboards, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_NE(byClass, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    DWORD members = 0;
    for (; SetupDiEnumDeviceInfo(byClass, members, &device); ++members) {
        EXPECT_EQ(std::memcmp(&device.ClassGuid, &net, sizeof net), 0);
        char enumerator[16] = {};
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(byClass, &device, SPDRP_ENUMERATOR_NAME, nullptr,
                                                      reinterpret_cast<BYTE*>(enumerator), sizeof enumerator, nullptr));
        EXPECT_STREQ(enumerator, "PCI");
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    ASSERT_EQ(members, 2u);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(byClass, 1, &device));
    EXPECT_EQ(HardwareIdsOf(byClass, &device).front(), std::string(kDualBandId) + "&REV_01");
    for (DWORD i = 0; SetupDiEnumDeviceInfo(otherClass, i, &device); ++i) {
        EXPECT_EQ(std::memcmp(&device.ClassGuid, &keyboards, sizeof keyboards), 0) << i;
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(devices().OpenHandleCount(), 2u);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(byClass));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(otherClass));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(otherClass));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(devices().OpenHandleCount(), 0u);
    EXPECT_TRUE(devices().IsPresent(adapter));
}

TEST_F(DeviceTreeTest, EnumerationIsThePresentSetInOrder) {
    const size_t standard = devices().PresentDevices().size();
    const std::string first = AddDualBand();
    const std::string absent = AddDualBand(false);
    const std::string second = devices().AddPcCard(sim::PcCard{});
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    // The devices added come after the machine's own, in the order they
    // arrived; the absent one is not there.
    device.cbSize = sizeof device;
    const DWORD index = static_cast<DWORD>(standard);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, index, &device));
    EXPECT_EQ(HardwareIdsOf(set, &device).front(), std::string(kDualBandId) + "&REV_01");
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, index + 1, &device));
    EXPECT_EQ(HardwareIdsOf(set, &device).front(), "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, index + 2, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    SetupDiDestroyDeviceInfoList(set);

    // Without DIGCF_PRESENT every device the registry knows is in the set:
    // the absent adapter and the machine's devices that are gone too.
    set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    DWORD known = 0;
    while (SetupDiEnumDeviceInfo(set, known, &device)) ++known;
    EXPECT_GT(known, index + 2);
    SetupDiDestroyDeviceInfoList(set);
    const std::vector<std::string> present = devices().PresentDevices();
    ASSERT_EQ(present.size(), standard + 2);
    EXPECT_EQ(present[standard], first);
    EXPECT_EQ(present[standard + 1], second);
    EXPECT_FALSE(devices().IsPresent(absent));
}

// ---- properties ----------------------------------------------------------------

TEST_F(DeviceTreeTest, PropertyReadsReportSizesTypesAndMissingValues) {
    SP_DEVINFO_DATA device = {};
    HDEVINFO set = SetOfOne(AddDualBand(), &device);

    DWORD type = 0;
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string expected = std::string(kDualBandId) + "&REV_01" + '\0' + kDualBandId + '\0' +
                                 "PCI\\VEN_168C&DEV_0012&CC_020000" + '\0' + "PCI\\VEN_168C&DEV_0012&CC_0200" + '\0' +
                                 '\0';
    EXPECT_EQ(required, expected.size());

    std::vector<BYTE> small(required - 1, 0xCC);
    required = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr, small.data(),
                                                   static_cast<DWORD>(small.size()), &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, expected.size());
    std::vector<BYTE> exact(required);
    EXPECT_TRUE(
        SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr, exact.data(), required, nullptr));
    EXPECT_EQ(std::string(exact.begin(), exact.end()), expected);

    // No friendly name, no driver: ERROR_INVALID_DATA; a buffer pointer
    // missing for a size, likewise; a property code that does not exist.
    char text[64];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(text),
                                                   sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, nullptr, nullptr, 10, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, 0x40, nullptr, reinterpret_cast<BYTE*>(text),
                                                   sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_REG_PROPERTY));
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_ENUMERATOR_NAME, &type,
                                                  reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_STREQ(text, "PCI");

    SP_DEVINFO_DATA stranger = device;
    stranger.Reserved = 0x7777;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &stranger, SPDRP_DEVICEDESC, nullptr,
                                                   reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceTreeTest, NineXCommaListsComeOutAsMultiStrings) {
    Use(WindowsVersion::Win98SE);
    const std::string key = devices().AddPcCard(sim::PcCard{});
    reg().SetString("HKLM\\Enum\\" + key, "HardwareID", "PCMCIA\\A-B-1234,PCMCIA\\A-B");
    SP_DEVINFO_DATA device = {};
    HDEVINFO set = SetOfOne(key, &device);
    EXPECT_EQ(HardwareIdsOf(set, &device), (std::vector<std::string>{"PCMCIA\\A-B-1234", "PCMCIA\\A-B"}));
    // The devnode is the name of the Config Manager node that names the card.
    const auto nodes = reg().SubKeys("HKDD\\Config Manager\\Enum");
    const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const std::string& name) {
        return reg().GetString("HKDD\\Config Manager\\Enum\\" + name, "HardWareKey") == key;
    });
    ASSERT_NE(node, nodes.end());
    EXPECT_EQ(device.DevInst, std::stoul(*node, nullptr, 16));
    SetupDiDestroyDeviceInfoList(set);
}

// ---- state changes and removal ---------------------------------------------

class StateChangeTest : public DeviceTreeTest {
protected:
    void SetUp() override {
        DeviceTreeTest::SetUp();
        sim::PciAdapter adapter;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "pci\\ven_168c&dev_0012&subsys_1022168c";
        id_ = devices().AddPciAdapter(adapter);
        set_ = SetOfOne(id_, &device_);
    }
    void TearDown() override { SetupDiDestroyDeviceInfoList(set_); }

    BOOL Params(DWORD change, DWORD scope, DWORD size = sizeof(SP_PROPCHANGE_PARAMS), DWORD header = 8) {
        SP_PROPCHANGE_PARAMS params = {};
        params.ClassInstallHeader.cbSize = header;
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = change;
        params.Scope = scope;
        return SetupDiSetClassInstallParamsA(set_, &device_, &params.ClassInstallHeader, size);
    }

    std::string id_;
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_ = {};
};

TEST_F(StateChangeTest, ClassInstallParamsAreValidated) {
    EXPECT_FALSE(Params(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, sizeof(SP_PROPCHANGE_PARAMS), 20));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(Params(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, 16));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Params(9, DICS_FLAG_CONFIGSPECIFIC));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_FALSE(Params(DICS_STOP, DICS_FLAG_GLOBAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &device_, nullptr, 20));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A state change without parameters has nothing to do.
    EXPECT_FALSE(SetupDiChangeState(set_, &device_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(StateChangeTest, AConfigSpecificDisableIsKeptInTheHardwareProfile) {
    const std::string profileKey =
        "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\" + id_;
    EXPECT_TRUE(devices().IsStarted(id_));
    ASSERT_TRUE(Params(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC));
    ASSERT_TRUE(SetupDiChangeState(set_, &device_));
    EXPECT_EQ(reg().GetDword(profileKey, "CSConfigFlags"), 1u);
    EXPECT_FALSE(devices().IsStarted(id_));
    EXPECT_TRUE(devices().IsDisabled(id_));
    ASSERT_TRUE(Params(DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC));
    ASSERT_TRUE(SetupDiChangeState(set_, &device_));
    EXPECT_EQ(reg().GetDword(profileKey, "CSConfigFlags"), 0u);
    EXPECT_TRUE(devices().IsStarted(id_));

    // A global disable is the device's own "ConfigFlags".
    ASSERT_TRUE(Params(DICS_DISABLE, DICS_FLAG_GLOBAL));
    ASSERT_TRUE(SetupDiChangeState(set_, &device_));
    EXPECT_EQ(reg().GetDword("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + id_, "ConfigFlags"), 1u);
    EXPECT_FALSE(devices().IsStarted(id_));

    const auto lines = m().transcript.OfKind("device");
    int changes = 0;
    for (const auto& line : lines) {
        if (line.text.rfind("disable ", 0) == 0 || line.text.rfind("enable ", 0) == 0) ++changes;
    }
    EXPECT_EQ(changes, 3);
}

TEST_F(StateChangeTest, RemovalTakesTheKeysButLeavesTheElementInTheSet) {
    const std::string driverKey = *devices().DriverKeyPath(id_);
    // A disable in the current hardware profile gives the device an entry there.
    const std::string profileKey =
        "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\" + id_;
    ASSERT_TRUE(Params(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC));
    ASSERT_TRUE(SetupDiChangeState(set_, &device_));
    ASSERT_TRUE(reg().KeyExists(profileKey));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set_, &device_));
    EXPECT_FALSE(reg().KeyExists(driverKey));
    EXPECT_FALSE(reg().KeyExists(profileKey));
    EXPECT_FALSE(devices().EnumKeyPath(id_));
    EXPECT_FALSE(devices().IsPresent(id_));
    // The walk goes on by index; the removed device answers for nothing.
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set_, 0, &device_));
    char text[64];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &device_, SPDRP_DEVICEDESC, nullptr,
                                                   reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set_, &device_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
}

// ---- OEM INFs and source lists ------------------------------------------------

TEST_F(DeviceTreeTest, CopyOemInfTakesTheNextFreeNameAndReusesTheSameInf) {
    WritePackage();
    files().WriteFile("C:\\WINDOWS\\inf\\oem0.inf", "someone else's");
    files().WriteFile("C:\\WINDOWS\\inf\\oem2.inf", "another one");

    char name[MAX_PATH];
    DWORD required = 0;
    char* component = nullptr;
    ASSERT_TRUE(SetupCopyOEMInfA("C:\\Drv\\ntzl11ab.inf", "C:\\Drv\\", SPOST_PATH, 0, name, sizeof name, &required,
                                 &component));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
    EXPECT_EQ(required, std::strlen(name) + 1);
    EXPECT_STREQ(component, "oem1.inf");
    EXPECT_EQ(files().ReadFile("C:\\WINDOWS\\inf\\oem1.inf"), testinfs::DualBandInf());
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\inf\\oem1.PNF"));
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\system32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem1.CAT"));

    // The same INF again: its copy is reused.
    ASSERT_TRUE(SetupCopyOEMInfA("C:\\Drv\\ntzl11ab.inf", nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(files().Exists("C:\\WINDOWS\\inf\\oem3.inf"));
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\ntzl11ab.inf", nullptr, SPOST_NONE, SP_COPY_NOOVERWRITE, name, sizeof name,
                                  nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");

    // A buffer too small: the INF is in place, the call says how much it needs.
    required = 0;
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", "C:\\Drv\\", SPOST_PATH, 0, name, 5, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, sizeof("C:\\WINDOWS\\inf\\oem3.inf"));
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\inf\\oem3.inf"));

    const auto& staged = devices().StagedInfs();
    ASSERT_EQ(staged.size(), 3u);
    EXPECT_EQ(staged[0].mediaType, static_cast<DWORD>(SPOST_PATH));
    EXPECT_EQ(staged[0].mediaLocation, "C:\\Drv\\");
    EXPECT_TRUE(staged[1].reused);
    EXPECT_EQ(staged[1].mediaType, static_cast<DWORD>(SPOST_NONE));
}

TEST_F(DeviceTreeTest, CopyOemInfRefusesBadCallsAndMissingSources) {
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\missing.inf", "C:\\Drv\\", SPOST_PATH, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    WritePackage();
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", nullptr, SPOST_MAX, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(
        SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", nullptr, SPOST_NONE, 0x80000000, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", nullptr, SPOST_NONE, 0, nullptr, 10, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", nullptr, SPOST_NONE, SP_COPY_REPLACEONLY, nullptr, 0,
                                  nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(devices().StagedInfs().empty());
}

TEST_F(DeviceTreeTest, TheUserSourceListLivesInTheCurrentUsersSetupKey) {
    const char* list[] = {"C:\\Drv\\", "D:\\i386"};
    ASSERT_TRUE(SetupSetSourceListA(SRCLIST_USER, list, 2));
    const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
    EXPECT_EQ(reg().GetValue(key, "Installation Sources")->type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(devices().UserSourceList(), (std::vector<std::string>{"C:\\Drv\\", "D:"}));
    ASSERT_TRUE(SetupAddToSourceListA(SRCLIST_USER, "E:\\Other"));
    ASSERT_TRUE(SetupAddToSourceListA(SRCLIST_USER, "c:\\drv\\"));
    EXPECT_EQ(devices().UserSourceList(), (std::vector<std::string>{"c:\\drv\\", "E:\\Other", "D:"}));
    ASSERT_TRUE(SetupAddToSourceListA(SRCLIST_USER | SRCLIST_APPEND, "F:\\Last"));
    EXPECT_EQ(devices().UserSourceList().back(), "F:\\Last");
    EXPECT_FALSE(reg().GetValue("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup", "Installation Sources"));

    EXPECT_FALSE(SetupSetSourceListA(SRCLIST_USER | SRCLIST_SYSTEM, list, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetupAddToSourceListA(SRCLIST_APPEND, "G:\\"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A temporary list is the only one that changes while it is in use.
    ASSERT_TRUE(SetupSetSourceListA(SRCLIST_TEMPORARY, list, 1));
    ASSERT_TRUE(SetupAddToSourceListA(SRCLIST_USER, "H:\\"));
    EXPECT_EQ(devices().UserSourceList().size(), 4u);
}

// ---- "newdev" ----------------------------------------------------------------------

TEST_F(DeviceTreeTest, UpdateInstallsOnEveryPresentDeviceCarryingTheId) {
    WritePackage();
    const std::string first = AddDualBand();
    const std::string second = AddDualBand();
    const std::string absent = AddDualBand(false);
    BOOL reboot = TRUE;
    ASSERT_TRUE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\ntzl11ab.inf", INSTALLFLAG_FORCE,
                                                      &reboot));
    EXPECT_FALSE(reboot);
    for (const std::string& id : {first, second}) {
        const auto driverKey = devices().DriverKeyPath(id);
        ASSERT_TRUE(driverKey) << id;
        EXPECT_EQ(reg().GetString(*driverKey, "InfPath"), "oem0.inf");
        EXPECT_EQ(reg().GetString(*driverKey, "InfSection"), "AB.ndi");
        EXPECT_EQ(reg().GetString(*driverKey, "InfSectionExt"), ".NT");
        EXPECT_EQ(reg().GetString(*driverKey, "ComponentId"), "pci\\ven_168c&dev_0012&subsys_1022168c");
        EXPECT_EQ(reg().GetString(*driverKey, "DriverDesc"), "Zelmar Dual-Band Wireless PCI Adapter");
        EXPECT_EQ(reg().GetString(*driverKey + "\\Ndi", "Service"), "ZLAB");
        EXPECT_EQ(reg().GetDword(*driverKey, "Characteristics"), 0x84u);
        EXPECT_TRUE(reg().GetString(*driverKey, "NetCfgInstanceId"));
        const std::string enumKey = *devices().EnumKeyPath(id);
        // The class GUID in SetupAPI's spelling, not the INF's lower case.
        EXPECT_EQ(reg().GetString(enumKey, "ClassGUID"), "{4D36E972-E325-11CE-BFC1-08002BE10318}");
        EXPECT_EQ(reg().GetString(enumKey, "Mfg"), "Zelmar");
        EXPECT_EQ(reg().GetString(enumKey, "Service"), "ZLAB");
        EXPECT_TRUE(devices().IsStarted(id));
    }
    EXPECT_FALSE(devices().DriverKeyPath(absent));
    EXPECT_EQ(files().List("C:\\WINDOWS\\inf").size(), 2u);  // oem0.inf and its PNF

    // Installing again replaces the driver in place, keeping the interface.
    const std::string guid = *reg().GetString(*devices().DriverKeyPath(first), "NetCfgInstanceId");
    const std::string key = *devices().DriverKeyPath(first);
    ASSERT_TRUE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\ntzl11ab.inf", INSTALLFLAG_FORCE,
                                                      nullptr));
    EXPECT_EQ(*devices().DriverKeyPath(first), key);
    EXPECT_EQ(reg().GetString(key, "NetCfgInstanceId"), guid);
    // Not forced, the same driver is no better than itself.
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\ntzl11ab.inf", 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(DeviceTreeTest, UpdateFailsAsWindowsDocumentsIt) {
    WritePackage();
    AddDualBand();
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\ntzl11ab.inf", 8, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\none.inf", 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, "PCI\\VEN_168C&DEV_0007", "C:\\Drv\\netzl11a.inf", 1,
                                                       nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    // The device is there, the INF has nothing for it.
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\netzl11a.inf", 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, "", "C:\\Drv\\ntzl11ab.inf", 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(devices().StagedInfs().empty());
}

TEST_F(DeviceTreeTest, UpdateMatchesCompatibleIdsAndReportsARestart) {
    WritePackage();
    sim::PciAdapter adapter;
    adapter.device = "0007";
    adapter.subsystem = "09997E3D";  // a model the INF does not list
    const std::string id = devices().AddPciAdapter(adapter);
    devices().RequireRestartForInf("netzl11a.inf");
    BOOL reboot = FALSE;
    ASSERT_TRUE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, "PCI\\VEN_168C&DEV_0007", "C:\\Drv\\netzl11a.inf",
                                                      INSTALLFLAG_FORCE, &reboot));
    EXPECT_TRUE(reboot);
    EXPECT_EQ(reg().GetString(*devices().DriverKeyPath(id), "MatchingDeviceId"), "pci\\ven_168c&dev_0007");
}

TEST_F(DeviceTreeTest, OnlyAForcedUpdateReplacesARunningDriverThatRanksBetter) {
    WritePackage();
    // The 802.11a adapter runs a driver of a later date from an older copy
    // of the package, installed as oem3.inf.
    sim::PciAdapter adapter;
    adapter.device = "0007";
    adapter.subsystem = "01107E3D";
    adapter.driver = sim::InstalledDriver{};
    adapter.driver->matchingDeviceId = "pci\\ven_168c&dev_0007&subsys_01107e3d";
    adapter.driver->driverDesc = "Zelmar 802.11a Adapter (beta)";
    adapter.driver->infPath = "oem3.inf";
    adapter.driver->infSection = "A.beta";
    adapter.driver->driverDate = "6-30-2003";
    const std::string id = devices().AddPciAdapter(adapter);
    const std::string key = *devices().DriverKeyPath(id);
    const std::string guid = *reg().GetString(key, "NetCfgInstanceId");
    const char* const hardwareId = "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01";
    devices().RequireRestartForDevice(id);

    BOOL reboot = FALSE;
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, hardwareId, "C:\\Drv\\netzl11a.inf", 0, &reboot));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(reg().GetString(key, "InfPath"), "oem3.inf");
    EXPECT_FALSE(reboot);

    ASSERT_TRUE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, hardwareId, "C:\\Drv\\netzl11a.inf",
                                                      INSTALLFLAG_FORCE, &reboot));
    EXPECT_TRUE(reboot);
    EXPECT_EQ(*devices().DriverKeyPath(id), key);
    EXPECT_EQ(reg().GetString(key, "InfPath"), "oem0.inf");
    EXPECT_EQ(files().ReadFile("C:\\WINDOWS\\inf\\oem0.inf"), testinfs::AInf());
    EXPECT_EQ(reg().GetString(key, "InfSection"), "A.ndi");
    EXPECT_EQ(reg().GetString(key, "MatchingDeviceId"), "pci\\ven_168c&dev_0007&subsys_01107e3d");
    EXPECT_EQ(reg().GetString(key, "DriverDesc"), "Zelmar 802.11a Wireless PCI Adapter");
    EXPECT_EQ(reg().GetString(key, "DriverDate"), "1-20-2003");
    EXPECT_EQ(reg().GetString(key, "NetCfgInstanceId"), guid);
    EXPECT_TRUE(devices().IsStarted(id));
    const auto lines = m().transcript.OfKind("device");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
        return line.text == "install " + id + ": oem0.inf [A.ndi.NT] Zelmar 802.11a Wireless PCI Adapter "
                                               "(UpdateDriverForPlugAndPlayDevices)";
    }));
}

// ---- new hardware and arrivals ----------------------------------------------------

TEST_F(DeviceTreeTest, OnNtANewDeviceIsInstalledFromAStagedInfWhenItArrives) {
    WritePackage();
    ASSERT_TRUE(SetupCopyOEMInfA("C:\\Drv\\ntzl11ab.inf", "C:\\Drv\\", SPOST_PATH, 0, nullptr, 0, nullptr, nullptr));
    const std::string id = AddDualBand(false);
    devices().ArriveAt(5000, id);
    m().clock.AdvanceTo(4999);
    EXPECT_FALSE(devices().IsPresent(id));
    m().clock.AdvanceTo(5000);
    EXPECT_TRUE(devices().IsStarted(id));
    EXPECT_EQ(reg().GetString(*devices().DriverKeyPath(id), "InfPath"), "oem0.inf");
    ASSERT_EQ(devices().Broadcasts().size(), 2u);
    EXPECT_EQ(devices().Broadcasts()[0].event, static_cast<UINT>(DBT_DEVNODES_CHANGED));
    EXPECT_EQ(devices().Broadcasts()[0].time, 5000u);

    devices().LeaveAt(9000, id, {DBT_DEVICEQUERYREMOVE});
    m().clock.AdvanceTo(9000);
    EXPECT_FALSE(devices().IsPresent(id));
    ASSERT_EQ(devices().Broadcasts().size(), 4u);
    EXPECT_EQ(devices().Broadcasts()[2].event, static_cast<UINT>(DBT_DEVNODES_CHANGED));
    EXPECT_EQ(devices().Broadcasts()[3].event, static_cast<UINT>(DBT_DEVICEQUERYREMOVE));
    // Keys stay for a device that left.
    EXPECT_TRUE(devices().DriverKeyPath(id));
}

class NineXTest : public DeviceTreeTest {
protected:
    void SetUp() override {
        Use(WindowsVersion::Win98SE);
        WritePackage();
    }
    DEVINST LocateRoot() {
        DEVINST root = 0;
        EXPECT_EQ(CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL), static_cast<CONFIGRET>(CR_SUCCESS));
        return root;
    }
};

TEST_F(NineXTest, ACardThatArrivesIsANodeOfTheConfigurationManager) {
    const std::string key = devices().AddPcCard(AbsentCard());
    const auto before = reg().SubKeys("HKDD\\Config Manager\\Enum");
    ASSERT_TRUE(devices().Arrive(key));
    // One node more, named by the devnode the arrival announces, after the
    // machine's own nodes.
    const auto nodes = reg().SubKeys("HKDD\\Config Manager\\Enum");
    ASSERT_EQ(nodes.size(), before.size() + 1);
    const std::string node = nodes.back();
    EXPECT_EQ(reg().GetString("HKDD\\Config Manager\\Enum\\" + node, "HardWareKey"), key);
    ASSERT_EQ(devices().Broadcasts().size(), 1u);
    EXPECT_EQ(devices().Broadcasts()[0].event, static_cast<UINT>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(devices().Broadcasts()[0].devnode, std::stoul(node, nullptr, 16));
    ASSERT_TRUE(devices().Leave(key));
    EXPECT_EQ(reg().SubKeys("HKDD\\Config Manager\\Enum"), before);
    EXPECT_EQ(devices().Broadcasts()[1].event, static_cast<UINT>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_FALSE(devices().Leave(key));
}

// The utility's device-removal program, as scenarios script it: it reads
// the hardware key from its command line and takes the device out when it
// ends: the Enum key and the Config Manager node, not the driver key.
TEST_F(NineXTest, TheRemovalProgramTakesOutTheDeviceItsCommandLineNames) {
    sim::PcCard card;
    card.driver = sim::InstalledDriver{};
    card.driver->matchingDeviceId = card.hardwareId;
    const std::string key = devices().AddPcCard(card);
    const std::string driverKey = *devices().DriverKeyPath(key);
    files().WriteFile("C:\\Program Files\\Zelmar\\Zovavizu.exe", "MZ");
    sim::DeviceRemovalScript script;
    script.runsFor = 3000;
    sim::ScriptDeviceRemovalProgram(m(), "Zovavizu.exe", script);

    EXPECT_EQ(sim::RemovalProgramKey("-u \"Card\" \"Net\" \"" + key + "\""), key);
    EXPECT_EQ(sim::RemovalProgramKey("-u \"Card\" \"Net\" \"\""), "");
    EXPECT_FALSE(sim::RemovalProgramKey("-u Card Net " + key));
    EXPECT_FALSE(sim::RemovalProgramKey("-x \"Card\" \"Net\" \"" + key + "\""));

    auto start = [&](const std::string& parameters) {
        SHELLEXECUTEINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = "C:\\Program Files\\Zelmar\\Zovavizu.exe";
        info.lpParameters = parameters.c_str();
        EXPECT_TRUE(ShellExecuteExA(&info));
        EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
        CloseHandle(info.hProcess);
    };
    start("-u \"Zelmar Solvane 802.11b LAN PC Card\" \"Net\" \"\"");
    EXPECT_TRUE(devices().IsPresent(key));
    EXPECT_EQ(m().clock.Now(), 3000u);
    start("-u \"Zelmar Solvane 802.11b LAN PC Card\" \"Net\" \"" + key + "\"");
    EXPECT_FALSE(devices().IsPresent(key));
    EXPECT_FALSE(devices().EnumKeyPath(key));
    EXPECT_TRUE(reg().KeyExists(driverKey));
    ASSERT_FALSE(devices().Broadcasts().empty());
    EXPECT_EQ(devices().Broadcasts().back().event, static_cast<UINT>(DBT_DEVICEREMOVECOMPLETE));
}

TEST_F(NineXTest, ACardInsertedIsInstalledFromTheIndexedInfsBeforeItIsAnnounced) {
    files().WriteFile("C:\\WINDOWS\\INF\\netzl11b.inf", testinfs::SolvaneInf());
    const std::string key = devices().AddPcCard(AbsentCard());
    ASSERT_TRUE(devices().Arrive(key));
    EXPECT_TRUE(devices().IsStarted(key));
    ASSERT_EQ(devices().Broadcasts().size(), 1u);
    EXPECT_EQ(devices().Broadcasts()[0].event, static_cast<UINT>(DBT_DEVICEARRIVAL));
}

TEST_F(NineXTest, NewHardwareWaitsForAReenumerationOfTheLocatedRoot) {
    // A card that was in its socket before its INF came waits without a
    // driver until the tree is enumerated again.
    files().WriteFile("C:\\WINDOWS\\INF\\netzl11b.inf", testinfs::SolvaneInf());
    const std::string key = devices().AddPcCard(AbsentCard());
    devices().SetPresent(key, true);
    EXPECT_FALSE(devices().DriverKeyPath(key));

    EXPECT_EQ(CM_Reenumerate_DevNode(0, CM_REENUMERATE_NORMAL), static_cast<CONFIGRET>(CR_INVALID_DEVNODE));
    EXPECT_FALSE(devices().DriverKeyPath(key));
    const DEVINST root = LocateRoot();
    EXPECT_EQ(CM_Reenumerate_DevNode(root, 0x80), static_cast<CONFIGRET>(CR_INVALID_FLAG));
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), static_cast<CONFIGRET>(CR_SUCCESS));
    const auto driverKey = devices().DriverKeyPath(key);
    ASSERT_TRUE(driverKey);
    EXPECT_EQ(reg().GetString("HKLM\\Enum\\" + key, "Driver")->rfind("Net\\", 0), 0u);
    EXPECT_EQ(reg().GetString(*driverKey, "MatchingDeviceId"), "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    EXPECT_EQ(reg().GetString(*driverKey, "DeviceVxDs"), "netzl11b.sys");
    EXPECT_EQ(reg().GetString(*driverKey, "NTMPDriver"), "netzl11b.sys");
    EXPECT_EQ(reg().GetString(*driverKey, "InfPath"), "netzl11b.inf");
    EXPECT_TRUE(devices().IsStarted(key));
}

TEST_F(NineXTest, TheDriverIndexHidesInfsAddedAfterItWasBuilt) {
    devices().BuildDriverIndex();
    files().WriteFile("C:\\WINDOWS\\INF\\netzl11b.inf", testinfs::SolvaneInf());
    const std::string key = devices().AddPcCard(sim::PcCard{});
    const DEVINST root = LocateRoot();
    ASSERT_EQ(CM_Reenumerate_DevNode(root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_FALSE(devices().DriverKeyPath(key));
    // Without the index files Windows indexes every INF again.
    files().Remove("C:\\WINDOWS\\INF\\drvidx.bin");
    ASSERT_EQ(CM_Reenumerate_DevNode(root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_TRUE(devices().DriverKeyPath(key));
    EXPECT_NE(files().ReadFile("C:\\WINDOWS\\INF\\drvidx.bin")->find("netzl11b.inf"), std::string::npos);
}

TEST_F(DeviceTreeTest, LocatingDevNodes) {
    const std::string id = AddDualBand();
    DEVINST node = 77;
    EXPECT_EQ(CM_Locate_DevNodeA(nullptr, nullptr, 0), static_cast<CONFIGRET>(CR_INVALID_POINTER));
    EXPECT_EQ(CM_Locate_DevNodeA(&node, nullptr, 0x100), static_cast<CONFIGRET>(CR_INVALID_FLAG));
    EXPECT_EQ(node, 0u);
    std::string missing = "PCI\\VEN_1234&DEV_5678\\0";
    EXPECT_EQ(CM_Locate_DevNodeA(&node, &missing[0], 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    std::string present = id;
    EXPECT_EQ(CM_Locate_DevNodeA(&node, &present[0], 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_NE(node, 0u);
    EXPECT_EQ(CM_Reenumerate_DevNode(node, 0), static_cast<CONFIGRET>(CR_SUCCESS));
}

TEST_F(DeviceTreeTest, TheDumpShowsDevicesAndDrivers) {
    WritePackage();
    const std::string id = AddDualBand();
    ASSERT_TRUE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\ntzl11ab.inf", 1, nullptr));
    const std::string dump = devices().Dump();
    EXPECT_NE(dump.find(id + " [present, started]"), std::string::npos);
    EXPECT_NE(dump.find("InfPath = oem0.inf"), std::string::npos);
}

// ---- sets keep their nodes ---------------------------------------------------

TEST_F(DeviceTreeTest, ASetKeepsTheNodesItWasMadeWith) {
    const std::string id = AddDualBand();
    SP_DEVINFO_DATA device = {};
    HDEVINFO set = SetOfOne(id, &device);
    const std::string enumKey = *devices().EnumKeyPath(id);
    // The class is the one the device had when the set was made.
    reg().SetString(enumKey, "ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}");
    SP_DEVINFO_DATA again = {};
    again.cbSize = sizeof again;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &again));
    EXPECT_EQ(again.ClassGuid.Data1, 0x4D36E972u);
    SP_DEVINFO_DATA fresh = {};
    HDEVINFO freshSet = SetOfOne(id, &fresh);
    EXPECT_EQ(fresh.ClassGuid.Data1, 0x4D36E97Du);
    SetupDiDestroyDeviceInfoList(freshSet);

    // A registry put back from a snapshot holds new keys: the element finds
    // its device again by its ID.
    reg().Restore(reg().Snapshot());
    EXPECT_EQ(HardwareIdsOf(set, &device).front(), std::string(kDualBandId) + "&REV_01");
    // A device whose keys are deleted stays in the set and answers for
    // nothing.
    reg().DeleteKeyTree(enumKey);
    char text[64];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, nullptr,
                                                   reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));
    SetupDiDestroyDeviceInfoList(set);
}

// ---- the machine's own devices ---------------------------------------------------

// Whether a text names one of the tool's adapters or cards.
bool NamesTheToolsHardware(const std::string& text) {
    const std::string upper = sim::Upper(text);
    return upper.find("VEN_168C") != std::string::npos || upper.find("ZELMAR") != std::string::npos ||
           upper.find("PCMCIA") != std::string::npos;
}

TEST(StandardMachines, CarryTheDevicesOfTheirKindAndNoneOfTheTools) {
    struct Kind {
        WindowsVersion version;
        size_t fewest;
        size_t most;
    };
    for (const Kind& kind : {Kind{WindowsVersion::WinXP, 60, 120}, Kind{WindowsVersion::Win2000, 60, 120},
                             Kind{WindowsVersion::NT4, 15, 40}, Kind{WindowsVersion::Win98SE, 30, 60},
                             Kind{WindowsVersion::WinMe, 30, 60}}) {
        sim::Machine machine(kind.version);
        sim::MachineScope scope(machine);
        sim::DeviceModel& devices = machine.devices();
        const std::vector<std::string> present = devices.PresentDevices();
        const std::vector<std::string> known = devices.tree().KnownDevices();
        EXPECT_GE(present.size(), kind.fewest) << machine.VersionDetails().title;
        EXPECT_LE(present.size(), kind.most) << machine.VersionDetails().title;
        EXPECT_GT(known.size(), present.size()) << "some are gone";
        size_t withDriver = 0;
        for (const std::string& id : known) {
            EXPECT_TRUE(devices.IsStandardDevice(id)) << id;
            EXPECT_FALSE(NamesTheToolsHardware(id)) << id;
            const std::optional<sim::DeviceIds> ids = devices.tree().ReadIds(id);
            ASSERT_TRUE(ids) << id;
            for (const std::string& hardwareId : ids->hardware) {
                EXPECT_FALSE(NamesTheToolsHardware(hardwareId)) << id;
            }
            if (devices.DriverKeyPath(id)) ++withDriver;
            // NT 4.0 has no Plug and Play: only its legacy driver nodes.
            if (kind.version == WindowsVersion::NT4) {
                EXPECT_EQ(id.rfind("ROOT\\LEGACY_", 0), 0u) << id;
            }
        }
        if (kind.version != WindowsVersion::NT4) {
            EXPECT_GT(withDriver * 2, known.size()) << "most have drivers";
        }

        sim::Machine bare(kind.version, sim::Furnishing::Bare);
        EXPECT_TRUE(bare.devices().PresentDevices().empty());
        EXPECT_TRUE(bare.devices().tree().KnownDevices().empty());
        EXPECT_TRUE(bare.registry().SubKeys("HKDD\\Config Manager\\Enum").empty());
    }
}

TEST_F(DeviceTreeTest, TheUntidyNodesOfAnXpMachineAnswerAsWindowsDoes) {
    const std::string adapter = AddDualBand();
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    std::vector<DWORD> withoutIds;
    DWORD emptyList = 0;
    DWORD adapterAt = 0;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        DWORD type = 0;
        DWORD required = 0;
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &required)) {
            ADD_FAILURE() << "a size query succeeded at " << i;
            continue;
        }
        if (GetLastError() == ERROR_INVALID_DATA) {
            withoutIds.push_back(i);  // a legacy driver's node
            continue;
        }
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << i;
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        std::vector<BYTE> ids(required, 0xCC);
        ASSERT_TRUE(
            SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr, ids.data(), required, nullptr));
        if (required == 1) {
            // Only the terminator of an empty list, handed out as it is.
            EXPECT_EQ(ids[0], 0);
            emptyList = i;
        } else if (std::string(reinterpret_cast<const char*>(ids.data())).rfind(kDualBandId, 0) == 0) {
            adapterAt = i;
        }
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    SetupDiDestroyDeviceInfoList(set);
    ASSERT_GE(withoutIds.size(), 10u);
    EXPECT_GT(emptyList, 0u);
    EXPECT_LT(withoutIds.front(), adapterAt);
    EXPECT_LT(emptyList, adapterAt);
    EXPECT_EQ(adapterAt, devices().PresentDevices().size() - 1);

    // A port disabled in the current hardware profile is present, and a
    // memory stick once plugged in is known but gone.
    EXPECT_TRUE(devices().IsPresent("ACPI\\PNP0501\\2"));
    EXPECT_TRUE(devices().IsDisabled("ACPI\\PNP0501\\2"));
    EXPECT_FALSE(devices().IsStarted("ACPI\\PNP0501\\2"));
    EXPECT_TRUE(devices().IsStarted("ACPI\\PNP0501\\1"));
    EXPECT_TRUE(devices().EnumKeyPath("USB\\VID_0781&PID_5150\\20041100001234567890"));
    EXPECT_FALSE(devices().IsPresent("USB\\VID_0781&PID_5150\\20041100001234567890"));
}

TEST_F(NineXTest, ConfigManagerNodesWithoutAHardwareKeyAreNoDevices) {
    const std::string root = "HKDD\\Config Manager\\Enum";
    const std::vector<std::string> nodes = reg().SubKeys(root);
    ASSERT_FALSE(nodes.empty());
    size_t keyless = 0;
    for (const std::string& node : nodes) {
        if (!reg().GetValue(root + "\\" + node, "HardWareKey")) ++keyless;
    }
    EXPECT_GE(keyless, 2u);
    EXPECT_FALSE(reg().GetValue(root + "\\" + nodes.front(), "HardWareKey"));  // they come first
    EXPECT_EQ(devices().PresentDevices().size(), nodes.size() - keyless);
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    DWORD members = 0;
    while (SetupDiEnumDeviceInfo(set, members, &device)) ++members;
    EXPECT_EQ(members, nodes.size() - keyless);
    SetupDiDestroyDeviceInfoList(set);
    // The root's devnode stands for no device.
    EXPECT_EQ(CM_Reenumerate_DevNode(0xC0001000, 0), static_cast<CONFIGRET>(CR_INVALID_DEVNODE));
}

}  // namespace
