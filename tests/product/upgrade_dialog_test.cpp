// The upgrade dialog from end to end: "-Upgrade" finds nothing to upgrade,
// the dialog waits for a card, upgrades it after the settle period and
// reports the outcome by the device's name.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sim/machine/devices/devices.h"
#include "sim/machine/faults.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/registry.h"
#include "sim/machine/session.h"
#include "sim/machine/window_manager.h"
#include "sim/scenario/user_script.h"
#include "tests/support/test_infs.h"
#include "tests/support/tool_fixture.h"
#include "ui/res/resource.h"
#include "ui/upgrade_dialog.h"

namespace {

using sim::WindowsVersion;

const char* const kInstallFolder = "C:\\Program Files\\Zelmar\\Tavarin";
const char* const kWaiting =
    "Locating a valid device to upgrade, if you have not inserted the device please do so now.";
const char* const kConfirmExit = "The device was not properly upgraded.\nDo you still wish to exit?";
const char* const kAName = "Zelmar 802.11a Wireless PCI Adapter";
const char* const kAbName = "Zelmar Dual-Band Wireless PCI Adapter";

std::string Upgraded(const std::string& name) {
    return "The device driver for your \"" + name + "\" has been properly upgraded.";
}

struct DialogState {
    bool open = false;
    std::string instructions;
    bool closeEnabled = false;
    bool cancelEnabled = false;
    size_t timers = 0;
};

class UpgradeDialogTest : public ToolTest {
protected:
    // The client software installed; `dualBandPackage` false leaves the
    // dual-band package out of the install folder.
    void Prepare(WindowsVersion version, bool dualBandPackage = true) {
        UseMachine(version);
        machine().registry().SetString("HKLM\\Software\\Zelmar\\TavarinApp", "InstallPath", kInstallFolder);
        files().WriteFile(std::string(kInstallFolder) + "\\netzl11a.inf", testinfs::AInf());
        if (dualBandPackage) files().WriteFile(std::string(kInstallFolder) + "\\ntzl11ab.inf", testinfs::DualBandInf());
    }
    void TearDown() override {
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().windows().OpenWindowCount(), 0u);
        EXPECT_EQ(machine().windows().TimerCount(), 0u);
        EXPECT_EQ(machine().modules().LoadedCount(), 0u);
    }
    sim::FileSystem& files() { return machine().files(); }
    sim::UserScript& user() { return machine().windows().User(); }

    // A card that ran the package's driver in this machine before (its
    // driver keys are still there), out of its slot until `arrival`.
    std::string AddCard(const std::string& device, const std::string& subsystem, const std::string& matching,
                        const std::string& name, sim::Clock::Millis arrival) {
        sim::PciAdapter adapter;
        adapter.device = device;
        adapter.subsystem = subsystem;
        adapter.deviceDesc = name;
        adapter.present = false;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = matching;
        adapter.driver->infPath = "oem3.inf";
        const std::string id = machine().devices().AddPciAdapter(adapter);
        machine().devices().ArriveAt(arrival, id);
        return id;
    }
    std::string AddACard(sim::Clock::Millis arrival) {
        return AddCard("0007", "01107E3D", "pci\\ven_168c&dev_0007&subsys_01107e3d", kAName, arrival);
    }
    void NotifyAt(sim::Clock::Millis at) {
        machine().clock.Schedule(at, [this] { machine().windows().BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0); });
    }
    void LookAt(sim::Clock::Millis at) {
        machine().clock.Schedule(at, [this, at] { seen[at] = Look(); });
    }
    DialogState Look() {
        DialogState state;
        HWND dialog = machine().windows().OpenDialog();
        if (!dialog) return state;
        state.open = true;
        char text[1024];
        GetDlgItemTextA(dialog, IDC_INSTRUCTIONS, text, sizeof text);
        state.instructions = text;
        state.closeEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
        state.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != FALSE;
        state.timers = machine().windows().TimerCount();
        return state;
    }
    size_t UpdateCalls() {
        size_t count = 0;
        for (const auto& line : machine().transcript.OfKind("device")) {
            if (line.text.rfind("UpdateDriverForPlugAndPlayDevices ", 0) == 0) ++count;
        }
        return count;
    }

    std::map<sim::Clock::Millis, DialogState> seen;
};

TEST_F(UpgradeDialogTest, OnXpACardInsertedIsUpgradedFiveSecondsAfterTheLastNotification) {
    Prepare(WindowsVersion::WinXP);
    AddACard(10'000);
    NotifyAt(12'000);
    LookAt(100);
    LookAt(16'900);
    // The settle tick at 17 s takes the adapter from Windows' wireless
    // configuration first (a restart with a pause), then upgrades it.
    LookAt(17'500);
    // Later notifications and a shutdown change nothing.
    NotifyAt(20'000);
    user().EndSessionAt(22'000);
    LookAt(26'000);
    user().ClickAt(30'000, "Close");
    RunTool("-Upgrade");

    EXPECT_EQ(seen[100].instructions, kWaiting);
    EXPECT_FALSE(seen[100].closeEnabled);
    EXPECT_TRUE(seen[100].cancelEnabled);
    EXPECT_EQ(seen[100].timers, 1u);  // the poll
    EXPECT_EQ(seen[16'900].instructions, kWaiting);
    EXPECT_EQ(seen[16'900].timers, 1u);  // the settle timer alone
    EXPECT_EQ(seen[17'500].instructions, Upgraded(kAName));
    EXPECT_TRUE(seen[17'500].closeEnabled);
    EXPECT_FALSE(seen[17'500].cancelEnabled);
    EXPECT_EQ(seen[17'500].timers, 0u);
    EXPECT_EQ(seen[26'000].instructions, Upgraded(kAName));
    EXPECT_EQ(seen[26'000].timers, 0u);
    EXPECT_EQ(UpdateCalls(), 1u);
    EXPECT_TRUE(UpgradeDialog::s_bUpgradeReported);
    EXPECT_TRUE(machine().windows().MessageBoxes().empty());
    // The shutdown was refused, and no restart follows.
    bool refused = false;
    for (const auto& line : machine().transcript.OfKind("session")) {
        refused = refused || line.text == "end of session refused by \"Tavarin Device Setup\"";
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(machine().session().ExitRequests().empty());
}

TEST_F(UpgradeDialogTest, ACardThePackageDoesNotServeKeepsTheDialogWaitingForAnother) {
    Prepare(WindowsVersion::WinXP, false);
    const std::string dualBand =
        AddCard("0012", "1022168C", "pci\\ven_168c&dev_0012&subsys_1022168c", kAbName, 10'000);
    // Windows XP's wireless configuration leaves that card alone: nothing
    // restarts it, so no notification of its own follows the settle tick.
    const std::string guid = *machine().registry().GetString(
        *machine().devices().DriverKeyPath(dualBand), "NetCfgInstanceId");
    machine().registry().SetDword("HKLM\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\" + guid,
                                  "ControlFlags", 0x0005);
    LookAt(15'500);
    user().ClickAt(20'000, "Cancel");
    user().AnswerAt(20'500, "No");
    // The user takes the card out and puts in one the package serves.
    machine().devices().LeaveAt(24'000, dualBand);
    AddACard(30'000);
    LookAt(35'500);
    user().ClickAt(40'000, "Close");
    RunTool("-Upgrade");

    EXPECT_EQ(seen[15'500].instructions,
              std::string("The following device has been detected: \"") + kAbName +
                  "\"\n\nThe driver for the device is not supported on this Driver Installation. If you have a "
                  "device that is supported, please insert it now, otherwise click Cancel.");
    EXPECT_FALSE(seen[15'500].closeEnabled);
    EXPECT_TRUE(seen[15'500].cancelEnabled);
    EXPECT_EQ(seen[15'500].timers, 1u);  // the poll again
    const auto boxes = machine().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kConfirmExit);
    EXPECT_EQ(boxes[0].caption, "Tavarin Device Setup");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes[0].result, IDNO);
    EXPECT_EQ(seen[35'500].instructions, Upgraded(kAName));
    EXPECT_TRUE(seen[35'500].closeEnabled);
}

TEST_F(UpgradeDialogTest, AFailedUpgradeIsFinalAndNamesTheDevice) {
    Prepare(WindowsVersion::Win2000);
    AddACard(5'000);
    machine().faults.Add({"UpdateDriverForPlugAndPlayDevicesA", "", ERROR_GEN_FAILURE});
    LookAt(10'500);
    user().ClickAt(12'000, "Close");
    RunTool("-Upgrade");
    EXPECT_EQ(seen[10'500].instructions,
              std::string("The device driver for your \"") + kAName + "\" could not be properly upgraded.");
    EXPECT_TRUE(seen[10'500].closeEnabled);
    EXPECT_FALSE(seen[10'500].cancelEnabled);
    EXPECT_EQ(seen[10'500].timers, 0u);
    EXPECT_TRUE(machine().windows().MessageBoxes().empty());
}

}  // namespace
