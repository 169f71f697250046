// The uninstall dialog on emulated machines with a scripted user: what it
// shows with and without an adapter, after a refused removal, and which of
// its ways out uninstalls the companion software.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/window_manager.h"
#include "sim/scenario/user_script.h"
#include "tests/support/tool_fixture.h"
#include "ui/res/resource.h"

namespace {

using sim::WindowsVersion;

const char* const kCompanionRemoval =
    "C:\\WINDOWS\\system32\\msiexec.exe /x {736CAD5F-0944-4498-BF9E-0E75549854C7} /qb";
const char* const kFollowing = "The following device will be removed, click \"Remove\" to remove it.";

struct DialogState {
    std::string instructions;
    std::string status;
    std::string name;
    bool nameShown = false;
    bool removeEnabled = false;
    bool closeEnabled = false;
};

class UninstallDialogTest : public ToolTest {
protected:
    // Windows XP with the utility and the Boingo companion installed.
    void SetUp() override {
        ToolTest::SetUp();
        sim::Registry& reg = machine().registry();
        reg.SetString("HKLM\\Software\\Zelmar\\TavarinApp", "ExecPath", "C:\\Program Files\\Zelmar\\Tavarin");
        reg.SetString("HKLM\\Software\\Zelmar\\TavarinApp", "BoingoInstallRun", "1");
        reg.SetString("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                      "{736CAD5F-0944-4498-BF9E-0E75549854C7}",
                      "DisplayName", "Boingo");
        machine().files().WriteFile("C:\\WINDOWS\\system32\\msiexec.exe", "MZ");
    }

    std::string AddReadyAdapter() {
        sim::PciAdapter adapter;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
        adapter.driver->driverDesc = "Zelmar Dual-Band Wireless PCI Adapter";
        adapter.driver->infPath = "oem1.inf";
        return machine().devices().AddPciAdapter(adapter);
    }

    void LookAt(sim::Clock::Millis at) {
        machine().clock.Schedule(at, [this, at] {
            DialogState state;
            HWND dialog = machine().windows().OpenDialog();
            char text[512];
            GetDlgItemTextA(dialog, IDC_INSTRUCTIONS, text, sizeof text);
            state.instructions = text;
            GetDlgItemTextA(dialog, IDC_STATUS, text, sizeof text);
            state.status = text;
            GetDlgItemTextA(dialog, IDC_DEVICE_NAME, text, sizeof text);
            state.name = text;
            state.nameShown = IsWindowVisible(GetDlgItem(dialog, IDC_DEVICE_NAME)) != FALSE;
            state.removeEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_REMOVE)) != FALSE;
            state.closeEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
            seen[at] = state;
        });
    }

    std::vector<std::string> Started() { return machine().processes().StartedCommandLines(); }
    sim::UserScript& user() { return machine().windows().User(); }

    std::map<sim::Clock::Millis, DialogState> seen;
};

TEST_F(UninstallDialogTest, WithoutAnAdapterOnlyCloseIsOfferedAndItStillRemovesTheCompanion) {
    LookAt(1000);
    user().ClickAt(2000, "Remove");
    user().ClickAt(3000, "Close");
    RunTool("-uninstall");
    EXPECT_EQ(seen[1000].instructions, "No device was found to remove.");
    EXPECT_FALSE(seen[1000].removeEnabled);
    EXPECT_FALSE(seen[1000].nameShown);
    EXPECT_TRUE(seen[1000].closeEnabled);
    EXPECT_EQ(Started().back(), kCompanionRemoval);
}

TEST_F(UninstallDialogTest, EscapeLeavesTheCompanionAlone) {
    AddReadyAdapter();
    LookAt(1000);
    user().PressEscapeAt(2000);
    RunTool("-uninstall");
    EXPECT_EQ(seen[1000].name, "Zelmar 802.11a/b/g Wireless Adapter");
    EXPECT_TRUE(seen[1000].nameShown);
    EXPECT_TRUE(seen[1000].removeEnabled);
    for (const std::string& start : Started()) EXPECT_NE(start, kCompanionRemoval);
    EXPECT_EQ(machine().windows().OpenWindowCount(), 0u);
}

// A refused removal is reported and nothing of the package is deleted.
TEST_F(UninstallDialogTest, ARefusedRemovalKeepsTheTextsAndThePackageFiles) {
    const std::string id = AddReadyAdapter();
    machine().files().WriteFile("C:\\WINDOWS\\inf\\oem1.inf", "x");
    machine().files().WriteFile("C:\\WINDOWS\\inf\\ntzl11ab.inf", "x");
    machine().faults.Add({"DIF_REMOVE", id, ERROR_ACCESS_DENIED, false});
    const HCURSOR before = machine().windows().CurrentCursor();
    LookAt(3000);
    user().ClickAt(2000, "Remove");
    user().ClickAt(4000, "Close");
    RunTool("-uninstall");
    EXPECT_EQ(seen[3000].instructions, kFollowing);
    EXPECT_EQ(seen[3000].status,
              "There was an error in removing the device. Please removing using the window Device Manager.");
    EXPECT_EQ(seen[3000].name, "Zelmar 802.11a/b/g Wireless Adapter");
    EXPECT_FALSE(seen[3000].removeEnabled);
    EXPECT_TRUE(seen[3000].closeEnabled);
    EXPECT_EQ(machine().windows().CurrentCursor(), before);
    EXPECT_TRUE(machine().devices().IsPresent(id));
    EXPECT_TRUE(machine().files().Exists("C:\\WINDOWS\\inf\\oem1.inf"));
    EXPECT_TRUE(machine().files().Exists("C:\\WINDOWS\\inf\\ntzl11ab.inf"));
}

}  // namespace
