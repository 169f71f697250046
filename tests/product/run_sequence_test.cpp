// The run sequence: which steps run, in which order, with which product
// profile, for every combination of switches. The steps themselves are
// replaced by recorders here; what each step does is tested with the step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/product_profile.h"
#include "app/setup_app.h"
#include "sim/machine/registry.h"
#include "sim/machine/session.h"
#include "sim/machine/window_manager.h"
#include "tests/support/tool_fixture.h"
#include "ui/install_dialog.h"
#include "ui/res/resource.h"

namespace {

// ---- the switch scanner ---------------------------------------------------------

TEST(SwitchScanner, MatchesWholeWordsIgnoringCase) {
    EXPECT_TRUE(HasSwitchIn("-install", "install"));
    EXPECT_TRUE(HasSwitchIn("-INSTALL", "install"));
    EXPECT_TRUE(HasSwitchIn("-Install", "install"));
    EXPECT_TRUE(HasSwitchIn("/q -x -install -y", "install"));
    EXPECT_FALSE(HasSwitchIn("-installb", "install"));
    EXPECT_FALSE(HasSwitchIn("-install", "installb"));
    EXPECT_FALSE(HasSwitchIn("-UpgradeFiles", "Upgrade"));
    EXPECT_TRUE(HasSwitchIn("-UpgradeFiles", "upgradefiles"));
    EXPECT_FALSE(HasSwitchIn("install", "install"));
    EXPECT_FALSE(HasSwitchIn("", "install"));
    EXPECT_FALSE(HasSwitchIn(nullptr, "install"));
}

TEST(SwitchScanner, OnlyASpaceEndsASwitchWord) {
    EXPECT_FALSE(HasSwitchIn("-install\t-duskline", "install"));
    EXPECT_TRUE(HasSwitchIn("-install  -duskline", "duskline"));
    EXPECT_FALSE(HasSwitchIn("\"-install\"", "install"));
    EXPECT_FALSE(HasSwitchIn("-install\"", "install"));
    // A quote before the dash is an ordinary character: the scan still
    // finds the dash and collects up to the next space.
    EXPECT_TRUE(HasSwitchIn("\"x -install", "install"));
}

TEST(SwitchScanner, ADashInsideACollectedWordBelongsToIt) {
    EXPECT_FALSE(HasSwitchIn("-un-install", "install"));
    EXPECT_TRUE(HasSwitchIn("-un-install", "un-install"));
    EXPECT_FALSE(HasSwitchIn("--install", "install"));
    // The scan walks character by character outside a switch word, so a
    // dash preceded by other characters starts a word of its own.
    EXPECT_TRUE(HasSwitchIn("path-install", "install"));
}

// ---- the run order ---------------------------------------------------------------

struct Recorder {
    std::vector<std::string> calls;
    int upgradeResult = 1;
    INT_PTR dialogResult = IDCANCEL;
    BOOL rebootRequested = FALSE;
    std::string hardwareId;
};

Recorder* g_recorder = nullptr;

void Note(const std::string& step) {
    g_recorder->calls.push_back(step + " p" + std::to_string(ProductProfile) + (DusklineFlag ? "d" : ""));
}

const char* DialogName(const CDialog& dialog) {
    switch (dialog.TemplateId()) {
        case IDD_INSTALL:
            return "InstallDialog";
        case IDD_UNINSTALL:
            return "UninstallDialog";
        case IDD_UPGRADE:
            return "UpgradeDialog";
        default:
            return "?";
    }
}

const JobSteps kRecordingSteps = {
    [] { Note("UpgradeSecurityFiles"); },
    [] {
        Note("UpgradeDrivers");
        return g_recorder->upgradeResult;
    },
    [] { Note("RemoveSolvaneApplication"); },
    [](int action, DWORD count, const char** arguments) {
        Note("ControlSecurityService(" + std::to_string(action) + "," + std::to_string(count) + "," +
             (arguments ? "args" : "null") + ")");
        return 1;
    },
    [] { Note("RemoveUtilityShortcuts"); },
    [](int mode) { Note("SetInstallSource(" + std::to_string(mode) + ")"); },
    [] {
        Note("SetUserSourceList");
        return 0;
    },
    [] { Note("SetupProtocolDriver"); },
    [] { Note("StopUtility"); },
    [] { Note("DeleteUtilityDataFiles@" + std::to_string(sim::Current().clock.Now())); },
    [] {
        Note("ClearDynamicSettings");
        return static_cast<LONG>(ERROR_SUCCESS);
    },
    [](CDialog& dialog) -> INT_PTR {
        Note(DialogName(dialog));
        if (AfxGetApp()->m_pMainWnd != &dialog) g_recorder->calls.push_back("dialog is not the main window");
        if (dialog.TemplateId() == IDD_INSTALL) {
            auto& install = static_cast<InstallDialog&>(dialog);
            install.m_bRebootRequested = g_recorder->rebootRequested;
            if (!g_recorder->hardwareId.empty()) {
                install.m_deviceList.AddRecord("Zelmar card", g_recorder->hardwareId, 0);
            }
        }
        return g_recorder->dialogResult;
    },
};

class RunSequenceTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        g_recorder = &recorder;
        theApp.UseSteps(kRecordingSteps);
    }
    void TearDown() override { g_recorder = nullptr; }

    std::vector<std::string> Run(const std::string& commandLine,
                                 sim::WindowsVersion version = sim::WindowsVersion::WinXP) {
        if (version != machine().Version()) {
            UseMachine(version);
            theApp.UseSteps(kRecordingSteps);
        }
        recorder.calls.clear();
        RunTool(commandLine);
        return recorder.calls;
    }

    using Calls = std::vector<std::string>;
    Recorder recorder;
};

TEST_F(RunSequenceTest, NoSwitchOnlyCreatesTheUtilityKey) {
    EXPECT_EQ(Run(""), Calls{});
    EXPECT_EQ(Run("-unknown /install install"), Calls{});
    EXPECT_TRUE(machine().registry().KeyExists("HKLM\\Software\\Zelmar\\TavarinApp"));
    EXPECT_EQ(ProductProfile, 0);
}

TEST_F(RunSequenceTest, InstallJobPreparesShowsAndRestores) {
    EXPECT_EQ(Run("-install"), (Calls{"SetInstallSource(0) p2", "SetUserSourceList p2", "SetupProtocolDriver p2",
                                      "InstallDialog p2", "SetInstallSource(1) p2"}));
    EXPECT_EQ(Run("-installb"), (Calls{"SetInstallSource(0) p1", "SetUserSourceList p1", "SetupProtocolDriver p1",
                                       "InstallDialog p1", "SetInstallSource(1) p1"}));
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\SolvaneAppB");
}

TEST_F(RunSequenceTest, DusklineModifierOnlyActsWithTheProfileOneSwitches) {
    EXPECT_EQ(Run("-installb -duskline").at(3), "InstallDialog p1d");
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\DusklineB");
    UseMachine(sim::WindowsVersion::WinXP);
    theApp.UseSteps(kRecordingSteps);
    EXPECT_EQ(Run("-install -duskline").at(3), "InstallDialog p2");
    EXPECT_EQ(DusklineFlag, 0);
    EXPECT_EQ(Run("-duskline -uninstallb").at(2), "UninstallDialog p1d");
}

TEST_F(RunSequenceTest, InstallClosedWithOkStoresTheHardwareIdAndTakesTheRestartRequest) {
    recorder.dialogResult = IDOK;
    recorder.hardwareId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
    recorder.rebootRequested = TRUE;
    Run("-install");
    EXPECT_EQ(machine().registry().GetString("HKLM\\Software\\Zelmar\\TavarinApp", "HardwareID"),
              recorder.hardwareId);
    ASSERT_EQ(machine().session().ExitRequests().size(), 1u);
    EXPECT_EQ(machine().session().ExitRequests()[0].flags, static_cast<UINT>(EWX_REBOOT));
    EXPECT_TRUE(machine().session().ExitRequests()[0].granted);
}

TEST_F(RunSequenceTest, InstallCancelledWritesNothingAndNeverRestarts) {
    recorder.dialogResult = IDCANCEL;
    recorder.hardwareId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
    recorder.rebootRequested = TRUE;
    const Calls calls = Run("-install");
    EXPECT_EQ(calls.back(), "SetInstallSource(1) p2");
    EXPECT_FALSE(machine().registry().GetValue("HKLM\\Software\\Zelmar\\TavarinApp", "HardwareID"));
    EXPECT_TRUE(machine().session().ExitRequests().empty());
}

TEST_F(RunSequenceTest, InstallClosedWithOkWithoutAReadyDeviceWritesNoHardwareId) {
    recorder.dialogResult = IDOK;
    Run("-install");
    EXPECT_FALSE(machine().registry().GetValue("HKLM\\Software\\Zelmar\\TavarinApp", "HardwareID"));
    EXPECT_TRUE(machine().session().ExitRequests().empty());
}

TEST_F(RunSequenceTest, InstallTakesPrecedenceOverUninstall) {
    EXPECT_EQ(Run("-install -uninstall"),
              (Calls{"RemoveUtilityShortcuts p2", "SetInstallSource(0) p2", "SetUserSourceList p2",
                     "SetupProtocolDriver p2", "InstallDialog p2", "SetInstallSource(1) p2"}));
    // The uninstall switch selects its profile last, and the install job
    // runs with it.
    EXPECT_EQ(Run("-installb -uninstall").at(4), "InstallDialog p2");
}

TEST_F(RunSequenceTest, UninstallJobStopsWaitsDeletesShowsAndClears) {
    const auto before = machine().clock.Now();
    EXPECT_EQ(Run("-uninstall"),
              (Calls{"RemoveUtilityShortcuts p2", "StopUtility p2",
                     "DeleteUtilityDataFiles@" + std::to_string(before + 100) + " p2", "UninstallDialog p2",
                     "ClearDynamicSettings p2"}));
    // The profile-one uninstall removes no shortcuts.
    EXPECT_EQ(Run("-uninstallb").front(), "StopUtility p1");
}

TEST_F(RunSequenceTest, UpgradeRunsFirstAndOpensItsDialogOnlyWhenNothingWasUpgradedOnNt) {
    recorder.upgradeResult = 0;
    EXPECT_EQ(Run("-install -Upgrade").front(), "UpgradeDrivers p2");
    EXPECT_EQ(recorder.calls.at(1), "UpgradeDialog p2");
    EXPECT_EQ(recorder.calls.at(5), "InstallDialog p2");
    EXPECT_EQ(Run("-Upgrade", sim::WindowsVersion::NT4), (Calls{"UpgradeDrivers p2", "UpgradeDialog p2"}));
    recorder.upgradeResult = 0;
    EXPECT_EQ(Run("-Upgrade", sim::WindowsVersion::Win98SE), Calls{"UpgradeDrivers p2"});
    EXPECT_EQ(Run("-Upgrade", sim::WindowsVersion::WinMe), Calls{"UpgradeDrivers p2"});
    recorder.upgradeResult = 1;
    EXPECT_EQ(Run("-Upgrade", sim::WindowsVersion::WinXP), Calls{"UpgradeDrivers p2"});
}

TEST_F(RunSequenceTest, UpgradeFilesActsOnlyOnWindows98SeAndMe) {
    EXPECT_EQ(Run("-UpgradeFiles"), Calls{});
    EXPECT_EQ(Run("-UpgradeFiles", sim::WindowsVersion::Win2000), Calls{});
    EXPECT_EQ(Run("-UpgradeFiles", sim::WindowsVersion::Win98SE), Calls{"UpgradeSecurityFiles p0"});
    EXPECT_EQ(Run("-UpgradeFiles", sim::WindowsVersion::WinMe), Calls{"UpgradeSecurityFiles p0"});
}

TEST_F(RunSequenceTest, SvcSetupEndsTheRunAfterTheSideJobs) {
    EXPECT_EQ(Run("-SvcSetup -install -uninstall"), Calls{});
    EXPECT_EQ(Run("-SvcSetup -StopService"), Calls{"ControlSecurityService(1,0,null) p2"});
    EXPECT_EQ(Run("-UninstallSolvane -SvcSetup"), Calls{"RemoveSolvaneApplication p2"});
}

TEST_F(RunSequenceTest, EverySwitchAtOnceRunsInTheFixedOrder) {
    recorder.upgradeResult = 0;
    EXPECT_EQ(Run("-uninstallb -uninstall -installb -install -StopService -UninstallSolvane -Upgrade -UpgradeFiles "
                  "-duskline",
                  sim::WindowsVersion::WinMe),
              (Calls{"UpgradeSecurityFiles p0", "UpgradeDrivers p2", "RemoveSolvaneApplication p2",
                     "ControlSecurityService(1,0,null) p2", "RemoveUtilityShortcuts p2", "SetInstallSource(0) p2",
                     "SetUserSourceList p2", "SetupProtocolDriver p2", "InstallDialog p2",
                     "SetInstallSource(1) p2"}));
}

TEST_F(RunSequenceTest, RefusedWindowsRunsNoStepAndWritesNothing) {
    EXPECT_EQ(Run("-install -uninstall -UpgradeFiles", sim::WindowsVersion::Win98), Calls{});
    EXPECT_FALSE(machine().registry().KeyExists("HKLM\\Software\\Zelmar"));
}

}  // namespace

namespace {

TEST_F(RunSequenceTest, UpgradeFailureIsReportedUnderTheProgramsTitleAndTheRunGoesOn) {
    recorder.upgradeResult = -1;
    EXPECT_EQ(Run("-Upgrade -StopService"),
              (Calls{"UpgradeDrivers p2", "ControlSecurityService(1,0,null) p2"}));
    const auto& boxes = machine().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Upgrade Device Failed");
    EXPECT_EQ(boxes[0].caption, "tavsetup");
    EXPECT_EQ(boxes[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
}

TEST_F(RunSequenceTest, RestartOnWindows98IsRequestedAlthoughTheTokenCallsFail) {
    recorder.dialogResult = IDOK;
    recorder.rebootRequested = TRUE;
    Run("-installb", sim::WindowsVersion::Win98SE);
    ASSERT_EQ(machine().session().ExitRequests().size(), 1u);
    EXPECT_EQ(machine().session().ExitRequests()[0].flags, static_cast<UINT>(EWX_REBOOT));
    EXPECT_EQ(machine().session().OpenTokenCount(), 0u);
}

TEST_F(RunSequenceTest, RestartOnXpEnablesTheShutdownPrivilegeAndClosesTheToken) {
    recorder.dialogResult = IDOK;
    recorder.rebootRequested = TRUE;
    Run("-install");
    EXPECT_TRUE(machine().session().shutdownPrivilegeEnabled);
    EXPECT_EQ(machine().session().OpenTokenCount(), 0u);
    // A later run that does not ask for a restart does not restart.
    recorder.rebootRequested = FALSE;
    Run("-install");
    EXPECT_EQ(machine().session().ExitRequests().size(), 1u);
}

}  // namespace
