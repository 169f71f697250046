// The install job from end to end: the dialog on emulated machines, with a
// scripted user, devices that arrive, and Windows asking to end the session.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/product_profile.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/session.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/window_manager.h"
#include "tests/support/test_infs.h"
#include "tests/support/tool_fixture.h"
#include "ui/install_dialog.h"
#include "ui/res/resource.h"

namespace {

using sim::WindowsVersion;

const char* const kTavarinKey = "HKLM\\Software\\Zelmar\\TavarinApp";
const char* const kInstallFolder = "C:\\Program Files\\Zelmar\\Tavarin";
const char* const kWaiting =
    "Locating a valid device, if you have not inserted the device please do so now. Make sure you have "
    "administrative rights to install devices.";

std::string Installed(const std::string& name) {
    return "The device driver for your \"" + name + "\" has been properly installed.";
}

// What the dialog shows at one moment.
struct DialogState {
    bool open = false;
    std::string instructions;
    std::string timeoutText;
    bool closeEnabled = false;
    bool cancelEnabled = false;
    size_t timers = 0;
};

class InstallDialogTest : public ToolTest {
protected:
    // A machine with the client software installed: the driver packages in
    // the installation folder and the utility in its program folder.
    void Prepare(WindowsVersion version, const char* profileKey = kTavarinKey) {
        UseMachine(version);
        reg().SetString(profileKey, "InstallPath", kInstallFolder);
        reg().SetString(profileKey, "ExecPath", kInstallFolder);
        files().WriteFile(std::string(kInstallFolder) + "\\ntzl11ab.inf", testinfs::DualBandInf());
        files().WriteFile(std::string(kInstallFolder) + "\\netzl11a.inf", testinfs::AInf());
        files().WriteFile(std::string(kInstallFolder) + "\\netzl11b.inf", testinfs::SolvaneInf());
        files().WriteFile(std::string(kInstallFolder) + "\\tavarin.exe", "MZ");
        files().WriteFile(std::string(kInstallFolder) + "\\Boingo\\boisetup.exe", "MZ");
    }

    void TearDown() override {
        EXPECT_EQ(reg().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().windows().OpenWindowCount(), 0u);
        EXPECT_EQ(machine().windows().TimerCount(), 0u);
        EXPECT_EQ(machine().processes().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().modules().LoadedCount(), 0u);
    }

    // A dual-band adapter without a driver; present at once or arriving at
    // `arrival` milliseconds.
    std::string AddAdapter(std::optional<sim::Clock::Millis> arrival = std::nullopt) {
        sim::PciAdapter adapter;
        adapter.present = !arrival.has_value();
        const std::string id = machine().devices().AddPciAdapter(adapter);
        if (arrival) machine().devices().ArriveAt(*arrival, id);
        return id;
    }

    // An adapter that already runs the profile's driver.
    std::string AddReadyAdapter() {
        sim::PciAdapter adapter;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
        adapter.driver->driverDesc = "Zelmar Dual-Band Wireless PCI Adapter";
        adapter.driver->infPath = "oem1.inf";
        return machine().devices().AddPciAdapter(adapter);
    }

    // Takes a look at the dialog at virtual time `at`.
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
        GetDlgItemTextA(dialog, IDC_TIMEOUT_TEXT, text, sizeof text);
        state.timeoutText = text;
        state.closeEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
        state.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != FALSE;
        state.timers = machine().windows().TimerCount();
        return state;
    }

    std::vector<std::string> Started() { return machine().processes().StartedCommandLines(); }
    std::vector<sim::MessageBoxRecord> Boxes() { return machine().windows().MessageBoxes(); }
    sim::Registry& reg() { return machine().registry(); }
    sim::FileSystem& files() { return machine().files(); }
    sim::UserScript& user() { return machine().windows().User(); }

    std::map<sim::Clock::Millis, DialogState> seen;
};

// ---- opening -------------------------------------------------------------------------------

TEST_F(InstallDialogTest, AReadyAdapterAtStartIsReportedAtOnceWithNoTimerRunning) {
    Prepare(WindowsVersion::WinXP);
    AddReadyAdapter();
    // Opening takes the 300 ms pause of the adapter restart (the adapter
    // counts as managed by Windows XP's wireless configuration).
    LookAt(600);
    user().ClickAt(1000, "Close");
    RunTool("-install");
    ASSERT_TRUE(seen[600].open);
    EXPECT_EQ(seen[600].instructions, Installed("Zelmar 802.11a/b/g Wireless Adapter"));
    EXPECT_TRUE(seen[600].closeEnabled);
    EXPECT_FALSE(seen[600].cancelEnabled);
    EXPECT_EQ(seen[600].timers, 0u);
    EXPECT_EQ(reg().GetString(kTavarinKey, "InstallDriver"), "1");
    EXPECT_EQ(reg().GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(Started(), std::vector<std::string>{std::string(kInstallFolder) + "\\tavarin.exe -silent -hs"});
    EXPECT_TRUE(machine().session().ExitRequests().empty());
}

TEST_F(InstallDialogTest, AnAdapterNeedingTheDriverIsInstalledWhileTheDialogOpens) {
    Prepare(WindowsVersion::Win2000);
    const std::string id = AddAdapter();
    LookAt(100);
    user().ClickAt(2000, "Close");
    RunTool("-install");
    EXPECT_EQ(seen[100].instructions, Installed("Zelmar Dual-Band Wireless PCI Adapter"));
    EXPECT_TRUE(machine().devices().IsStarted(id));
    EXPECT_EQ(reg().GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
}

// ---- waiting for a card on Windows XP ------------------------------------------------------

TEST_F(InstallDialogTest, OnXpACardInsertedLaterIsReportedFiveSecondsAfterTheLastNotification) {
    Prepare(WindowsVersion::WinXP);
    AddAdapter(12'000);
    LookAt(100);
    LookAt(16'900);
    LookAt(17'100);
    user().ClickAt(20'000, "Close");
    RunTool("-install");

    EXPECT_EQ(seen[100].instructions, kWaiting);
    EXPECT_FALSE(seen[100].closeEnabled);
    EXPECT_TRUE(seen[100].cancelEnabled);
    EXPECT_EQ(seen[100].timers, 1u);  // the poll
    // The card came at 12 s; its notifications stopped the poll and the
    // settle timer reports it 5 s after the last one.
    EXPECT_EQ(seen[16'900].instructions, kWaiting);
    EXPECT_EQ(seen[16'900].timers, 1u);  // the settle timer alone
    EXPECT_EQ(seen[17'100].instructions, Installed("Zelmar Dual-Band Wireless PCI Adapter"));
    EXPECT_TRUE(seen[17'100].closeEnabled);
    EXPECT_FALSE(seen[17'100].cancelEnabled);
    EXPECT_EQ(seen[17'100].timers, 0u);

    EXPECT_TRUE(InstallDialog::s_bDeviceReported);
    EXPECT_EQ(reg().GetString(kTavarinKey, "InstallDriver"), "1");
    EXPECT_EQ(reg().GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(Started(), std::vector<std::string>{std::string(kInstallFolder) + "\\tavarin.exe -silent -hs"});
}

TEST_F(InstallDialogTest, EveryNotificationRestartsTheFiveSeconds) {
    Prepare(WindowsVersion::WinXP);
    const std::string id = AddAdapter(10'000);
    // A second notification 3 s later pushes the report to 18 s.
    machine().clock.Schedule(13'000, [this] { machine().windows().BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0); });
    LookAt(17'500);
    LookAt(18'100);
    user().ClickAt(19'000, "Close");
    RunTool("-install");
    EXPECT_EQ(seen[17'500].instructions, kWaiting);
    EXPECT_EQ(seen[18'100].instructions, Installed("Zelmar Dual-Band Wireless PCI Adapter"));
}

TEST_F(InstallDialogTest, ASettleThatFindsNothingGoesBackToPolling) {
    Prepare(WindowsVersion::WinXP);
    // Something else changes the device tree at 10 s; no adapter comes.
    machine().clock.Schedule(10'000, [this] { machine().windows().BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0); });
    LookAt(12'000);
    LookAt(15'100);
    user().ClickAt(20'000, "Cancel");
    user().AnswerAt(20'500, "Yes");
    RunTool("-install");
    EXPECT_EQ(seen[12'000].timers, 1u);  // settling
    EXPECT_EQ(seen[15'100].instructions, kWaiting);
    EXPECT_EQ(seen[15'100].timers, 1u);  // the poll again
    EXPECT_FALSE(seen[15'100].closeEnabled);
    EXPECT_FALSE(InstallDialog::s_bDeviceReported);
}

TEST_F(InstallDialogTest, ThePollStopsItselfOnceItSeesTheDeviceButNeverReports) {
    Prepare(WindowsVersion::WinXP);
    // The adapter appears with its driver but no notification reaches the
    // dialog (SetPresent announces nothing).
    const std::string id = AddReadyAdapter();
    machine().devices().SetPresent(id, false);
    machine().clock.Schedule(6'000, [this, id] { machine().devices().SetPresent(id, true); });
    LookAt(7'000);
    LookAt(8'100);
    user().ClickAt(30'000, "Cancel");
    user().AnswerAt(30'100, "Yes");
    RunTool("-install");
    EXPECT_EQ(seen[7'000].timers, 1u);
    EXPECT_EQ(seen[8'100].timers, 0u);  // the 8 s poll saw it and stopped
    EXPECT_EQ(seen[8'100].instructions, kWaiting);
}

// ---- the other Windows ---------------------------------------------------------------------

TEST_F(InstallDialogTest, On98SeOnlyAnArrivalOfARecognisedCardCounts) {
    Prepare(WindowsVersion::Win98SE, "HKLM\\Software\\Zelmar\\SolvaneAppB");
    sim::PcCard card;
    card.present = false;
    const std::string id = machine().devices().AddPcCard(card);
    // A tree change that is not an arrival, then the card at 10 s.
    machine().clock.Schedule(5'000, [this] { machine().windows().BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0); });
    machine().devices().ArriveAt(10'000, id);
    LookAt(9'000);
    LookAt(15'100);
    user().ClickAt(16'000, "Close");
    RunTool("-installb");

    EXPECT_EQ(seen[9'000].instructions, kWaiting);
    EXPECT_EQ(seen[9'000].timers, 1u);  // still only the poll
    EXPECT_EQ(seen[15'100].instructions, Installed("Zelmar Solvane 802.11b LAN PC Card"));
    EXPECT_EQ(reg().GetString("HKLM\\Software\\Zelmar\\SolvaneAppB", "HardwareID"),
              "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    // The package INF and its 802.11a companion were copied for Windows.
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\inf\\netzl11b.inf"));
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\inf\\netzl11a.inf"));
}

TEST_F(InstallDialogTest, OnMeAnArrivalTheSearchDoesNotRecogniseIsIgnored) {
    Prepare(WindowsVersion::WinMe, "HKLM\\Software\\Zelmar\\SolvaneAppB");
    sim::PcCard other;
    other.hardwareId = "PCMCIA\\OTHER-MAKER-CARD-1234";
    other.deviceDesc = "Other card";
    other.mfg = "Other";
    other.present = false;
    const std::string id = machine().devices().AddPcCard(other);
    machine().devices().ArriveAt(10'000, id);
    LookAt(15'100);
    user().ClickAt(16'000, "Cancel");
    user().AnswerAt(16'100, "Yes");
    RunTool("-installb");
    EXPECT_EQ(seen[15'100].instructions, kWaiting);
    EXPECT_EQ(seen[15'100].timers, 1u);
}

TEST_F(InstallDialogTest, OnNt4ACardInsertedLaterIsNeverReportedAndThePollStopsWhenTheListGrows) {
    Prepare(WindowsVersion::NT4);
    AddAdapter(6'000);
    LookAt(7'000);
    LookAt(8'100);
    LookAt(60'000);
    user().ClickAt(61'000, "Cancel");
    user().AnswerAt(61'100, "Yes");
    RunTool("-install");
    EXPECT_EQ(seen[7'000].timers, 1u);
    EXPECT_EQ(seen[8'100].timers, 0u);
    EXPECT_EQ(seen[60'000].instructions, kWaiting);
    EXPECT_FALSE(reg().GetValue(kTavarinKey, "HardwareID"));
}

// ---- leaving -------------------------------------------------------------------------------

TEST_F(InstallDialogTest, CancelAnsweredNoStaysAndForgetsARestartRequestAnsweredYesEnds) {
    Prepare(WindowsVersion::WinXP);
    user().EndSessionAt(2'000);
    user().ClickAt(4'000, "Cancel");
    user().AnswerAt(4'500, "No");
    LookAt(5'000);
    user().ClickAt(6'000, "Cancel");
    user().AnswerAt(6'500, "Yes");
    RunTool("-install");

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "The device was not properly \ninstalled do you still wish to exit?");
    EXPECT_EQ(boxes[0].caption, "Tavarin Device Setup");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes[0].result, IDNO);
    EXPECT_TRUE(seen[5'000].open);
    EXPECT_EQ(boxes[1].result, IDYES);
    // No "HardwareID", no restart, the utility not started; the setup
    // source is restored all the same (nothing to restore on XP).
    EXPECT_FALSE(reg().GetValue(kTavarinKey, "HardwareID"));
    EXPECT_FALSE(reg().GetValue(kTavarinKey, "InstallDriver"));
    EXPECT_TRUE(machine().session().ExitRequests().empty());
    EXPECT_TRUE(Started().empty());
}

TEST_F(InstallDialogTest, ARefusedEndOfSessionIsOfferedAsARestartAtClose) {
    for (int answer : {IDYES, IDNO}) {
        Prepare(WindowsVersion::WinXP);
        AddReadyAdapter();
        user().EndSessionAt(1'000);
        user().ClickAt(2'000, "Close");
        user().AnswerAt(2'500, answer);
        LookAt(2'400);
        RunTool("-install");
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  "Windows needs to be restarted before\nthe new settings will take effect. \n\nDo you want to "
                  "restart now?");
        EXPECT_EQ(boxes[0].caption, "System Restart");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST));
        EXPECT_NE(boxes[0].owner, nullptr);
        // The session was not ended, the utility not started (a restart is
        // pending), and the restart follows only a Yes.
        EXPECT_TRUE(Started().empty());
        const auto& exits = machine().session().ExitRequests();
        if (answer == IDYES) {
            ASSERT_EQ(exits.size(), 1u);
            EXPECT_EQ(exits[0].flags, static_cast<UINT>(EWX_REBOOT));
            EXPECT_TRUE(exits[0].granted);
        } else {
            EXPECT_TRUE(exits.empty());
        }
        EXPECT_EQ(reg().GetString(kTavarinKey, "InstallDriver"), "1");
    }
}

TEST_F(InstallDialogTest, NoAnswersTheRestartQuestionWithTheIncompleteSetupText) {
    Prepare(WindowsVersion::WinXP);
    AddReadyAdapter();
    user().EndSessionAt(1'000);
    // The question is open while the text changes: look at the dialog
    // after the answer, before the dialog closes, through the transcript.
    user().ClickAt(2'000, "Close");
    user().AnswerAt(2'500, "No");
    RunTool("-install");
    bool incomplete = false;
    for (const auto& line : machine().transcript.OfKind("dialog")) {
        if (line.text.find("Setup is incomplete, system needs to be restarted!") != std::string::npos) incomplete = true;
    }
    EXPECT_TRUE(incomplete);
}

TEST_F(InstallDialogTest, WithTheCompanionARefusedEndOfSessionLaunchesItsInstallerInstead) {
    Prepare(WindowsVersion::WinXP);
    reg().SetString(kTavarinKey, "BoingoInstallRun", "1");
    AddReadyAdapter();
    user().EndSessionAt(1'000);
    user().ClickAt(2'000, "Close");
    RunTool("-install");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "System Restart");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes[0].text.rfind("Windows needs to be restarted after the Boingo Installation", 0), 0u);
    EXPECT_EQ(Started(), std::vector<std::string>{std::string(kInstallFolder) + "\\Boingo\\boisetup.exe"});
    EXPECT_TRUE(machine().session().ExitRequests().empty());
}

TEST_F(InstallDialogTest, CloseWithTheCompanionStartsTheUtilityAndTheBoingoInstaller) {
    Prepare(WindowsVersion::WinXP);
    reg().SetString(kTavarinKey, "BoingoInstallRun", "1");
    AddReadyAdapter();
    user().ClickAt(1'000, "Close");
    RunTool("-install");
    EXPECT_EQ(Started(), (std::vector<std::string>{std::string(kInstallFolder) + "\\tavarin.exe -silent -hs",
                                                   std::string(kInstallFolder) + "\\Boingo\\boisetup.exe"}));
}

TEST_F(InstallDialogTest, OnlyTheExactTextOneChoosesTheCompanion) {
    for (const char* value : {"01", "1 ", "1111111111", ""}) {
        Prepare(WindowsVersion::WinXP);
        reg().SetString(kTavarinKey, "BoingoInstallRun", value);
        AddReadyAdapter();
        user().EndSessionAt(1'000);
        user().ClickAt(2'000, "Close");
        user().AnswerAt(2'500, "No");
        RunTool("-install");
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u) << value;
        EXPECT_EQ(boxes[0].caption, "System Restart") << value;
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST)) << value;
        EXPECT_TRUE(Started().empty()) << value;
    }
}

TEST_F(InstallDialogTest, CancelledWithTheCompanionStillLaunchesItsInstaller) {
    Prepare(WindowsVersion::WinXP);
    reg().SetString(kTavarinKey, "BoingoInstallRun", "1");
    user().ClickAt(1'000, "Cancel");
    user().AnswerAt(1'500, "Yes");
    RunTool("-install");
    EXPECT_EQ(Started(), std::vector<std::string>{std::string(kInstallFolder) + "\\Boingo\\boisetup.exe"});
}

TEST_F(InstallDialogTest, EscapeAfterTheReportEndsWithoutQuestionAndWithoutHardwareId) {
    // Escape reaches Cancel's command even while the button is disabled:
    // the job is finished, so no question is asked, and the run counts as
    // cancelled.
    Prepare(WindowsVersion::WinXP);
    AddReadyAdapter();
    user().PressEscapeAt(1'000);
    RunTool("-install");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(reg().GetValue(kTavarinKey, "HardwareID"));
    EXPECT_FALSE(reg().GetValue(kTavarinKey, "InstallDriver"));
}

TEST_F(InstallDialogTest, AMinimisedDialogPaintsItsIconCentred) {
    Prepare(WindowsVersion::WinXP);
    AddReadyAdapter();
    RECT client = {0, 0, 0, 0};
    machine().clock.Schedule(500, [&] { GetClientRect(machine().windows().OpenDialog(), &client); });
    user().MinimiseAt(1'000);
    user().RestoreAt(1'500);
    user().ClickAt(2'000, "Close");
    RunTool("-install");
    const auto& drawings = machine().windows().IconDrawings();
    ASSERT_FALSE(drawings.empty());
    EXPECT_GT(client.right, 0);
    EXPECT_EQ(drawings[0].x, (client.right - 32 + 1) / 2);
    EXPECT_EQ(drawings[0].y, (client.bottom - 32 + 1) / 2);
}

}  // namespace
