// Failures on demand of the device calls, and the transcript line every
// failed SetupAPI, configuration manager or "newdev" call leaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "tests/support/test_infs.h"

BOOL SimUpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                           PBOOL rebootRequired);

namespace {

const char* const kDualBandId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";

class DeviceFaultTest : public ::testing::Test {
protected:
    DeviceFaultTest() : scope_(machine_) {
        sim::PciAdapter adapter;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "pci\\ven_168c&dev_0012&subsys_1022168c";
        first_ = machine_.devices().AddPciAdapter(adapter);
        second_ = machine_.devices().AddPciAdapter(adapter);
    }

    void Fail(const std::string& call, const std::string& object, DWORD error, bool once) {
        machine_.faults.Add(sim::FaultRequest{call, object, error, once});
    }

    // Reads the hardware IDs of a device of the set as the tool does, size
    // first; the error of the first call that failed, or 0.
    DWORD ReadIds(HDEVINFO set, SP_DEVINFO_DATA* device) {
        DWORD required = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &required) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return GetLastError();
        }
        std::vector<BYTE> buffer(required);
        if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, buffer.data(), required,
                                               nullptr)) {
            return GetLastError();
        }
        return 0;
    }

    HDEVINFO SetOf(const std::string& id, SP_DEVINFO_DATA* device) {
        HDEVINFO set = SetupDiGetClassDevsA(nullptr, id.c_str(), nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        device->cbSize = sizeof *device;
        EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, device));
        return set;
    }

    std::vector<std::string> Failures() {
        std::vector<std::string> out;
        for (const sim::TranscriptEntry& e : machine_.transcript.OfKind("failure")) out.push_back(e.text);
        return out;
    }

    sim::Machine machine_;
    sim::MachineScope scope_;
    std::string first_;
    std::string second_;
};

TEST_F(DeviceFaultTest, AHardwareIdReadFailsForTheDeviceNamedOnceOrAlways) {
    SP_DEVINFO_DATA first = {};
    SP_DEVINFO_DATA second = {};
    HDEVINFO firstSet = SetOf(first_, &first);
    HDEVINFO secondSet = SetOf(second_, &second);

    Fail("SPDRP_HARDWAREID", second_, ERROR_GEN_FAILURE, true);
    EXPECT_EQ(ReadIds(firstSet, &first), 0u);  // another device: untouched
    EXPECT_EQ(ReadIds(secondSet, &second), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(ReadIds(secondSet, &second), 0u);  // used up
    // Other properties of the device are not concerned.
    Fail("SPDRP_HARDWAREID", second_, ERROR_NOT_ENOUGH_MEMORY, false);
    char text[64];
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(secondSet, &second, SPDRP_DEVICEDESC, nullptr,
                                                  reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadIds(secondSet, &second), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    machine_.faults.Clear();
    EXPECT_EQ(ReadIds(secondSet, &second), 0u);

    const std::vector<std::string> failures = Failures();
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures[1], "SPDRP_HARDWAREID " + second_ + " -> error 31 (on demand)");
    // Every failed call is in the transcript, the size queries too.
    EXPECT_EQ(failures[0], "SetupDiGetDeviceRegistryPropertyA " + first_ + " SPDRP_HARDWAREID -> error 122");
    SetupDiDestroyDeviceInfoList(firstSet);
    SetupDiDestroyDeviceInfoList(secondSet);
}

TEST_F(DeviceFaultTest, ARefusedRemovalChangesNothing) {
    SP_DEVINFO_DATA device = {};
    HDEVINFO set = SetOf(first_, &device);
    const std::string driverKey = *machine_.devices().DriverKeyPath(first_);
    const sim::RegistrySnapshot before = machine_.registry().Snapshot();
    const size_t broadcasts = machine_.devices().Broadcasts().size();

    Fail("DIF_REMOVE", second_, ERROR_ACCESS_DENIED, false);  // another device's removal
    Fail("DIF_REMOVE", first_, ERROR_GEN_FAILURE, true);
    SetLastError(0);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_TRUE(machine_.registry().Snapshot() == before);
    EXPECT_TRUE(machine_.devices().IsPresent(first_));
    EXPECT_EQ(machine_.devices().Broadcasts().size(), broadcasts);
    EXPECT_EQ(ReadIds(set, &device), 0u);  // the element still stands for the device

    // Used up: the next removal goes through.
    EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &device));
    EXPECT_FALSE(machine_.registry().KeyExists(driverKey));
    EXPECT_TRUE(machine_.devices().IsPresent(second_));
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceFaultTest, InfCopiesUpdatesAndDevnodesFailForTheirObject) {
    sim::FileSystem& files = machine_.files();
    files.WriteFile("C:\\Drv\\ntzl11ab.inf", testinfs::DualBandInf());
    files.WriteFile("C:\\Drv\\netzl11a.inf", testinfs::AInf());

    Fail("SetupCopyOEMInfA", "C:\\Drv\\ntzl11ab.inf", ERROR_ACCESS_DENIED, false);
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drv\\ntzl11ab.inf", nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(machine_.devices().StagedInfs().empty());
    EXPECT_TRUE(SetupCopyOEMInfA("C:\\Drv\\netzl11a.inf", nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr));

    Fail("UpdateDriverForPlugAndPlayDevicesA", kDualBandId, ERROR_NO_DRIVER_SELECTED, true);
    EXPECT_FALSE(SimUpdateDriverForPlugAndPlayDevicesA(nullptr, kDualBandId, "C:\\Drv\\netzl11a.inf", INSTALLFLAG_FORCE,
                                                       nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DRIVER_SELECTED));
    EXPECT_EQ(machine_.devices().StagedInfs().size(), 1u);

    // The configuration manager answers with the CONFIGRET asked for and
    // leaves the last error alone.
    Fail("CM_Locate_DevNodeA", "HTREE\\ROOT\\0", CR_OUT_OF_MEMORY, true);
    Fail("CM_Reenumerate_DevNode", first_, CR_FAILURE, false);
    SetLastError(77);
    DEVINST root = 5;
    EXPECT_EQ(CM_Locate_DevNodeA(&root, nullptr, 0), static_cast<CONFIGRET>(CR_OUT_OF_MEMORY));
    EXPECT_EQ(root, 0u);
    ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(CM_Reenumerate_DevNode(root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    std::string id = first_;
    DEVINST node = 0;
    ASSERT_EQ(CM_Locate_DevNodeA(&node, &id[0], 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(CM_Reenumerate_DevNode(node, 0), static_cast<CONFIGRET>(CR_FAILURE));
    EXPECT_EQ(GetLastError(), 77u);
    // A failed configuration manager call is in the transcript with its
    // CONFIGRET.
    std::string missing = "PCI\\VEN_1234&DEV_5678\\0";
    EXPECT_EQ(CM_Locate_DevNodeA(&node, &missing[0], 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    EXPECT_EQ(Failures().back(), "CM_Locate_DevNodeA " + missing + " -> error " + std::to_string(CR_NO_SUCH_DEVNODE));
}

}  // namespace
