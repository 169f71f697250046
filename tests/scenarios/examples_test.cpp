// The shipped example scenarios, each run end to end through the real run
// sequence: the key lines of the transcript and the final registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/scenario/runner/scenario_run.h"
#include "sim/scenario/scenario.h"
#include "sim/machine/services.h"
#include "sim/machine/session.h"
#include "sim/machine/window_manager.h"

namespace {

const std::string kExamples = TAV_EXAMPLES_DIR;
const char* const kTavarinKey = "HKLM\\Software\\Zelmar\\TavarinApp";
const char* const kSolvaneKey = "HKLM\\Software\\Zelmar\\SolvaneAppB";
const char* const kSetupKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char* const kCardId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01\\4&1A2B3C4D&0&10F0";
const char* const kUtilityStart = "C:\\Program Files\\Zelmar\\Tavarin\\tavarin.exe -silent -hs";
const char* const kLocating =
    "Locating a valid device, if you have not inserted the device please do so now. Make sure you have "
    "administrative rights to install devices.";

class ExampleTest : public ::testing::Test {
protected:
    // Loads an example; the test fails at once when it does not load.
    sim::Scenario& Load(const std::string& name) {
        sim::ScenarioLoad load = sim::LoadScenario(kExamples + "/" + name);
        EXPECT_TRUE(load) << load.error;
        if (!load) throw std::runtime_error(load.error);
        scenario_ = std::move(load.scenario);
        return *scenario_;
    }

    sim::ScenarioRun Run(const std::optional<std::string>& commandLine = std::nullopt) {
        run_ = sim::RunScenario(*scenario_, commandLine);
        return run_;
    }

    sim::Machine& m() { return *scenario_->machine; }

    // The transcript lines of a kind, as "<ms> <text>".
    std::vector<std::string> Lines(const std::string& kind) {
        std::vector<std::string> out;
        for (const sim::TranscriptEntry& e : m().transcript.OfKind(kind)) {
            out.push_back(std::to_string(e.time) + " " + e.text);
        }
        return out;
    }

    bool HasLine(const std::string& kind, const std::string& line) {
        const std::vector<std::string> lines = Lines(kind);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::vector<std::string> ToolStarts() const { return scenario_->machine->processes().StartedCommandLines(); }

    // What every run must leave behind: no handle, window or timer of the
    // tool still open.
    void ExpectEverythingClosed() {
        EXPECT_EQ(m().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(m().files().OpenHandleCount(), 0u);
        EXPECT_EQ(m().devices().OpenHandleCount(), 0u);
        EXPECT_EQ(m().services().OpenHandleCount(), 0u);
        EXPECT_EQ(m().services().HeldLockCount(), 0u);
        EXPECT_EQ(m().processes().OpenHandleCount(), 0u);
        EXPECT_EQ(m().windows().OpenWindowCount(), 0u);
        EXPECT_EQ(m().windows().TimerCount(), 0u);
        EXPECT_EQ(m().windows().LoadedImageCount(), 0u);
    }

    std::unique_ptr<sim::Scenario> scenario_;
    sim::ScenarioRun run_;
};

TEST_F(ExampleTest, XpCardInsertedIsReportedAfterTheSettleAndClosed) {
    Load("xp-card-inserted");
    // One timer while waiting (the poll) and while settling; none once reported.
    std::vector<size_t> timers;
    for (sim::Clock::Millis at : {10000u, 14000u, 18000u}) {
        m().clock.Schedule(at, [&] { timers.push_back(m().windows().TimerCount()); });
    }
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(run.commandLine, "-install");
    EXPECT_EQ(timers, (std::vector<size_t>{1, 1, 0}));
    EXPECT_EQ(run.exitCode, 0);

    // Waiting from the start, with the package staged for Windows.
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_EQ(dialog[0].rfind("0 \"Tavarin Device Setup\"", 0), 0u);
    EXPECT_NE(dialog[0].find("button \"Close\" [disabled]"), std::string::npos);
    EXPECT_NE(dialog[0].find(kLocating), std::string::npos);
    EXPECT_EQ(m().devices().StagedInfs().size(), 2u);

    // The card goes in at 12 s; the report comes 5 s after the last notification.
    EXPECT_TRUE(HasLine("device", std::string("12000 arrive ") + kCardId));
    EXPECT_TRUE(HasLine("dialog",
                        "17000 Instructions: \"The device driver for your \"Zelmar Dual-Band Wireless PCI "
                        "Adapter\" has been properly installed.\""));
    EXPECT_TRUE(HasLine("dialog", "17000 Close: enabled"));
    EXPECT_TRUE(HasLine("dialog", "17000 Cancel: disabled"));
    // Windows' wireless configuration manages the adapter: it is restarted.
    EXPECT_TRUE(HasLine("device", std::string("17300 enable ") + kCardId + " (config-specific, profile 0), started"));

    EXPECT_TRUE(HasLine("user", "20000 click Close"));
    EXPECT_EQ(ToolStarts(), std::vector<std::string>{kUtilityStart});
    EXPECT_TRUE(HasLine("process", std::string("20000 ") + kUtilityStart));

    sim::Registry& reg = m().registry();
    EXPECT_EQ(reg.GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(reg.GetString(kTavarinKey, "InstallDriver"), "1");
    EXPECT_EQ(reg.GetDword("HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32NDIS5", "Start"), 2u);
    EXPECT_TRUE(m().devices().IsStarted(kCardId));
    EXPECT_TRUE(m().session().ExitRequests().empty());
    EXPECT_EQ(m().clock.Now(), 20000u);
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpCardInsertedReportShowsTheRunAsAPersonReadsIt) {
    Load("xp-card-inserted");
    const sim::ScenarioRun run = Run();
    const std::string report = sim::FormatReport(*scenario_, run);
    EXPECT_NE(report.find("Command line: tavsetup.exe -install\n"), std::string::npos);
    EXPECT_NE(report.find(std::string("[  12.000 s] device       arrive ") + kCardId + "\n"), std::string::npos);
    EXPECT_NE(report.find(std::string("[  20.000 s] process      ") + kUtilityStart + "\n"), std::string::npos);
    EXPECT_NE(report.find("\n                            button \"Close\" [disabled]\n"), std::string::npos);
    EXPECT_NE(report.find("\"HardwareID\"=\"PCI\\\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01\"\n"), std::string::npos);
    EXPECT_NE(report.find("+ C:\\WINDOWS\\inf\\oem0.inf (1027 bytes)\n"), std::string::npos);
    EXPECT_NE(report.find("still running: " + std::string(kUtilityStart)), std::string::npos);
    EXPECT_NE(report.find("tavsetup.exe ended at [  20.000 s] with exit code 0\n"), std::string::npos);

    const std::string quiet = sim::FormatReport(*scenario_, run, true);
    EXPECT_EQ(quiet.rfind("---- result ----\n", 0), 0u);
    EXPECT_EQ(quiet.find("[  12.000 s]"), std::string::npos);

    // The registry and failure channels are shown only when asked for.
    m().transcript.Add(20000, "registry", "RegSetValueExA HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\TavarinApp");
    m().transcript.Add(20000, "failure", "CopyFileA C:\\x.inf -> error 32");
    const std::string plain = sim::FormatTranscript(m().transcript);
    EXPECT_EQ(plain, sim::FormatTranscript(m().transcript, sim::TranscriptChannels()));
    EXPECT_EQ(plain.find("registry  "), std::string::npos);
    EXPECT_EQ(plain.find("failure "), std::string::npos);
    sim::TranscriptChannels more;
    ASSERT_TRUE(more.Show("Registry, failure", nullptr));
    const std::string shown = sim::FormatTranscript(m().transcript, more);
    EXPECT_NE(shown.find("\n[  20.000 s] registry     RegSetValueExA HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelmar\\TavarinApp\n"
                         "[  20.000 s] failure      CopyFileA C:\\x.inf -> error 32\n"),
              std::string::npos)
        << shown;
    sim::TranscriptChannels only;
    ASSERT_TRUE(only.Only("user", nullptr));
    EXPECT_EQ(sim::FormatTranscript(m().transcript, only), "[  20.000 s] user         click Close\n");
    ASSERT_TRUE(only.Show("all", nullptr));
    EXPECT_EQ(sim::FormatTranscript(m().transcript, only), shown);
    std::string error;
    EXPECT_FALSE(more.Show("registry,dialogs", &error));
    EXPECT_NE(error.find("unknown channel 'dialogs' (channels: dialog, msgbox, "), std::string::npos) << error;
}

TEST_F(ExampleTest, NineEightSeInstallPointsTheSetupSourceAtThePackageAndPutsItBack) {
    Load("98se-install");
    // What "SourcePath" holds while the dialog is open.
    std::optional<std::string> during;
    m().clock.Schedule(5000, [&] { during = m().registry().GetString(kSetupKey, "SourcePath"); });
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(run.commandLine, "-installb");

    EXPECT_EQ(during, "C:\\Program Files\\Zelmar\\Solvane\\");
    EXPECT_EQ(m().registry().GetString(kSetupKey, "SourcePath"), "C:\\WINDOWS\\OPTIONS\\CABS");
    EXPECT_EQ(m().devices().UserSourceList(), std::vector<std::string>{"C:\\Program Files\\Zelmar\\Solvane\\"});

    // The INF and catalog copies, the index deleted and the tree re-enumerated.
    EXPECT_TRUE(m().files().Exists("C:\\WINDOWS\\INF\\netzl11b.inf"));
    EXPECT_TRUE(m().files().Exists("C:\\WINDOWS\\INF\\netzl11a.inf"));
    EXPECT_TRUE(
        m().files().Exists("C:\\WINDOWS\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\ntzl11ab.cat"));
    EXPECT_TRUE(
        m().files().Exists("C:\\WINDOWS\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\netzl11a.cat"));
    EXPECT_TRUE(HasLine("file", "0 DeleteFile C:\\WINDOWS\\inf\\drvidx.bin"));
    EXPECT_TRUE(HasLine("device", "0 CM_Reenumerate_DevNode(root)"));
    const std::string card = scenario_->devices.at("card");
    EXPECT_TRUE(m().devices().IsStarted(card));

    // Reported at once, closed at 10 s.
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_NE(dialog[0].find("The device driver for your \"Zelmar Solvane 802.11b LAN PC Card\" has been properly "
                             "installed."),
              std::string::npos);
    EXPECT_NE(dialog[0].find("button \"Cancel\" [disabled]"), std::string::npos);
    EXPECT_EQ(ToolStarts(), std::vector<std::string>{"C:\\Program Files\\Zelmar\\Solvane\\tavarin.exe -silent -hs"});
    EXPECT_EQ(m().registry().GetString(kSolvaneKey, "HardwareID"), "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E");
    EXPECT_EQ(m().registry().GetString(kSolvaneKey, "InstallDriver"), "1");
    EXPECT_TRUE(m().session().ExitRequests().empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpReadyAdapterIsReportedAtOnceAndTheCompanionStarts) {
    Load("xp-ready-adapter");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;

    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_NE(dialog[0].find("button \"Close\"\n"), std::string::npos);
    EXPECT_NE(dialog[0].find("button \"Cancel\" [disabled]"), std::string::npos);
    EXPECT_NE(dialog[0].find("\"Zelmar Dual-Band Wireless PCI Adapter\" has been properly installed."),
              std::string::npos);
    // Nothing was staged or installed: the adapter already ran the driver.
    EXPECT_TRUE(m().devices().StagedInfs().empty());

    sim::Registry& reg = m().registry();
    EXPECT_EQ(reg.GetDword("HKLM\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\"
                           "{5B2E7A14-93C1-4F0D-A6E2-1C8D40F7B931}",
                           "ControlFlags"),
              0x0005u);
    EXPECT_EQ(reg.GetDword("HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32NDIS5", "Start"), 2u);
    EXPECT_EQ(reg.GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(ToolStarts(),
              (std::vector<std::string>{kUtilityStart, "C:\\Program Files\\Zelmar\\Tavarin\\Boingo\\boisetup.exe"}));
    EXPECT_TRUE(m().session().ExitRequests().empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpCancelledAnsweredNoStaysOpenAndYesEndsWithoutAHardwareId) {
    Load("xp-cancelled");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;

    const std::vector<sim::MessageBoxRecord>& boxes = m().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const sim::MessageBoxRecord& box : boxes) {
        EXPECT_EQ(box.caption, "Tavarin Device Setup");
        EXPECT_EQ(box.text, "The device was not properly \ninstalled do you still wish to exit?");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO));
    }
    EXPECT_EQ(boxes[0].opened, 30000u);
    EXPECT_EQ(boxes[0].result, IDNO);
    EXPECT_EQ(boxes[1].opened, 45000u);
    EXPECT_EQ(boxes[1].result, IDYES);
    EXPECT_TRUE(HasLine("dialog", "46000 \"Tavarin Device Setup\" closed"));
    const std::vector<std::string> dialog = Lines("dialog");
    EXPECT_EQ(std::count_if(dialog.begin(), dialog.end(),
                            [](const std::string& l) { return l.find(" closed") != std::string::npos; }),
              1);

    EXPECT_FALSE(m().registry().GetString(kTavarinKey, "HardwareID"));
    EXPECT_FALSE(m().registry().GetString(kTavarinKey, "InstallDriver"));
    EXPECT_TRUE(ToolStarts().empty());
    EXPECT_TRUE(m().session().ExitRequests().empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpEndSessionRefusedIsOfferedAtCloseAndTheToolRestartsWindows) {
    Load("xp-end-session-refused");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;

    EXPECT_TRUE(HasLine("session", "15000 end of session refused by \"Tavarin Device Setup\""));
    const std::vector<sim::MessageBoxRecord>& boxes = m().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "System Restart");
    EXPECT_EQ(
        boxes[0].text,
        "Windows needs to be restarted before\nthe new settings will take effect. \n\nDo you want to restart now?");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST));
    EXPECT_EQ(boxes[0].opened, 25000u);
    EXPECT_EQ(boxes[0].result, IDYES);

    // A pending restart: the utility is not started; the restart comes at exit.
    EXPECT_TRUE(ToolStarts().empty());
    EXPECT_EQ(m().registry().GetString(kTavarinKey, "InstallDriver"), "1");
    EXPECT_EQ(m().registry().GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    ASSERT_EQ(m().session().ExitRequests().size(), 1u);
    const sim::ExitRequest& restart = m().session().ExitRequests()[0];
    EXPECT_EQ(restart.flags, static_cast<UINT>(EWX_REBOOT));
    EXPECT_TRUE(restart.granted);
    EXPECT_EQ(restart.time, 27000u);
    ExpectEverythingClosed();
}

// ---- the uninstall job --------------------------------------------------------------------

const char* const kCompanionRemoval = "C:\\WINDOWS\\system32\\msiexec.exe /x {736CAD5F-0944-4498-BF9E-0E75549854C7} /qb";
const char* const kXpPrograms = "C:\\Documents and Settings\\Owner\\Start Menu\\Programs";

TEST_F(ExampleTest, XpUninstallRemovesTheAdapterItsFilesAndTheCompanion) {
    Load("xp-uninstall");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_TRUE(HasLine("device", std::string("3000 remove ") + kCardId));
    EXPECT_TRUE(HasLine("dialog", "3000 IDC_DEVICE_NAME: \"Zelmar Dual-Band Wireless PCI Adapter ( REMOVED )\""));
    EXPECT_TRUE(HasLine("dialog", "3000 IDC_INSTRUCTIONS: \"The device was succesfully removed.\""));
    for (const char* gone : {"C:\\WINDOWS\\inf\\oem0.inf", "C:\\WINDOWS\\inf\\ntzl11ab.inf",
                             "C:\\WINDOWS\\system32\\drivers\\ntzl11ab.sys", "C:\\Program Files\\Zelmar\\Tavarin\\_tavarin.dat"}) {
        EXPECT_FALSE(m().files().Exists(gone)) << gone;
    }
    EXPECT_FALSE(m().files().Exists(std::string(kXpPrograms) + "\\Zelmar"));
    EXPECT_FALSE(m().registry().KeyExists(
        "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000"));
    // Windows Installer is waited for without the dialog's messages: it closes after it.
    EXPECT_TRUE(HasLine("process", std::string("6000 ") + kCompanionRemoval));
    EXPECT_TRUE(HasLine("dialog", "26000 \"Tavarin Device Uninstall\" closed"));
    EXPECT_FALSE(m().registry().GetValue(kTavarinKey, "DynamicSwitch"));
    EXPECT_EQ(m().registry().GetDword("HKLM\\Software\\Microsoft\\EAPOL\\Parameters\\General\\Global", "SupplicantMode"),
              0u);
    ExpectEverythingClosed();
}

// The removal program is waited for with the dialog's messages going: the
// dialog repaints at once, while the program runs from 2 s to 5 s.
TEST_F(ExampleTest, NineEightSeUninstallbWaitsForTheRemovalProgramAndSchedulesByShortName) {
    Load("98se-uninstallb");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    const std::string card = scenario_->devices.at("card");
    EXPECT_EQ(ToolStarts().back(), "\"C:\\Program Files\\Zelmar\\Solvane\\Zovavizu.exe\" -u \"Zelmar Solvane 802.11b LAN PC "
                                   "Card\" \"Net\" \"" + card + "\"");
    EXPECT_EQ(m().processes().Processes().back().show, SW_HIDE);
    EXPECT_TRUE(HasLine("dialog", "2000 \"Tavarin Device Uninstall\" repainted"));
    EXPECT_TRUE(HasLine("device", "5000 remove " + card));
    EXPECT_TRUE(HasLine("dialog", "6000 IDC_INSTRUCTIONS: \"The device was succesfully removed.\""));
    EXPECT_EQ(m().files().ReadFile("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNUL=C:\\WINDOWS\\INF\\NETZL11A.INF\r\n");
    const std::string report = sim::FormatReport(*scenario_, run, true);
    EXPECT_NE(report.find("at the next start of Windows, the [rename] lines of C:\\WINDOWS\\WININIT.INI:\n"
                          "  NUL=C:\\WINDOWS\\INF\\NETZL11A.INF (C:\\WINDOWS\\inf\\netzl11a.inf)\n"),
              std::string::npos)
        << report;
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpUninstallWithoutAnAdapterStillRemovesTheCompanion) {
    Load("xp-uninstall-no-adapter");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_NE(dialog[0].find("button \"Remove\" [disabled]"), std::string::npos);
    EXPECT_NE(dialog[0].find("text \"No device was found to remove.\""), std::string::npos);
    EXPECT_TRUE(HasLine("process", std::string("5000 ") + kCompanionRemoval));
    EXPECT_TRUE(m().files().Exists("C:\\WINDOWS\\inf\\oem0.inf"));
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpUninstallRefusedByTheClassInstallerKeepsThePackage) {
    Load("xp-uninstall-refused");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_TRUE(HasLine("dialog", "3000 IDC_STATUS: \"There was an error in removing the device. Please removing using "
                                  "the window Device Manager.\""));
    EXPECT_TRUE(HasLine("dialog", "3000 Close: enabled"));
    EXPECT_TRUE(m().devices().IsPresent(kCardId));
    for (const char* kept : {"C:\\WINDOWS\\inf\\oem0.inf", "C:\\WINDOWS\\inf\\ntzl11ab.inf",
                             "C:\\WINDOWS\\system32\\drivers\\ntzl11ab.sys"}) {
        EXPECT_TRUE(m().files().Exists(kept)) << kept;
    }
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, Nt4UninstallStartsTheRemovalProgramWithAnEmptyKey) {
    Load("nt4-uninstall");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_TRUE(HasLine("process", "2000 file=\"C:\\Program Files\\Zelmar\\Tavarin\\Zovavizu.exe\" parameters=\"-u "
                                   "\"Zelmar Dual-Band Wireless PCI Adapter\" \"Net\" \"\"\" show=0"));
    // Given no key, the program removed nothing; the tool reported a removal.
    EXPECT_TRUE(m().devices().IsPresent(scenario_->devices.at("card")));
    EXPECT_TRUE(HasLine("dialog", "5000 IDC_INSTRUCTIONS: \"The device was succesfully removed.\""));
    EXPECT_FALSE(m().files().Exists("C:\\WINNT\\system32\\drivers\\ntzl11ab.sys"));
    ExpectEverythingClosed();
}

// ---- the Solvane application's removal -----------------------------------------------------

const char* const kSolvaneFolder = "C:\\Program Files\\Zelmar\\Solvane 802.11a";

std::vector<std::string> PendingSources(sim::Machine& machine) {
    std::vector<std::string> out;
    for (const sim::PendingFileOperation& op : machine.files().PendingOperations()) out.push_back(op.source);
    return out;
}

TEST_F(ExampleTest, SolvaneFoldersNotInUseGoAtOnceOnBothFamilies) {
    for (const char* example : {"xp-solvane", "98se-solvane"}) {
        Load(example);
        const sim::ScenarioRun run = Run();
        ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
        EXPECT_FALSE(m().files().Exists(kSolvaneFolder)) << example;
        EXPECT_TRUE(PendingSources(m()).empty()) << example;
        EXPECT_FALSE(m().files().Exists("C:\\WINDOWS\\WININIT.INI")) << example;
        EXPECT_FALSE(m().registry().KeyExists("HKLM\\Software\\Zelmar\\SolvaneApp")) << example;
        EXPECT_FALSE(m().registry().KeyExists(
            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Solvane 802.11a"))
            << example;
    }
    // The "Zelmar" folder of xp-solvane's user keeps the utility's shortcut.
    Load("xp-solvane");
    Run();
    EXPECT_TRUE(m().files().Exists(std::string(kXpPrograms) + "\\Zelmar\\Tavarin 802.11.lnk"));
    EXPECT_FALSE(m().files().Exists(std::string(kXpPrograms) + "\\Zelmar\\Solvane 802.11a.lnk"));
    EXPECT_FALSE(m().files().Exists("C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Zelmar"));
}

TEST_F(ExampleTest, SolvaneInUseIsLeftForTheNextStartAsEachFamilyKeepsIt) {
    Load("xp-solvane-in-use");
    sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(PendingSources(m()), (std::vector<std::string>{std::string(kSolvaneFolder) + "\\Solvane.exe", kSolvaneFolder}));
    EXPECT_NE(sim::FormatReport(*scenario_, run, true)
                  .find("at the next start of Windows, PendingFileRenameOperations:\n"
                        "  delete C:\\Program Files\\Zelmar\\Solvane 802.11a\\Solvane.exe\n"
                        "  delete C:\\Program Files\\Zelmar\\Solvane 802.11a\n"),
              std::string::npos);

    Load("98se-solvane-in-use");
    run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(m().files().ReadFile("C:\\WINDOWS\\WININIT.INI"),
              "[rename]\r\nNUL=C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A\\SOLVANE.EXE\r\nNUL=C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A\r\n");
    // Every line of the section, each with the entry its short path names.
    EXPECT_NE(sim::FormatReport(*scenario_, run, true)
                  .find("  NUL=C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A\\SOLVANE.EXE (C:\\Program Files\\Zelmar\\Solvane "
                        "802.11a\\Solvane.exe)\n"
                        "  NUL=C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A (C:\\Program Files\\Zelmar\\Solvane 802.11a)\n"),
              std::string::npos);
}

TEST_F(ExampleTest, SolvaneWithoutItsKeyOrWithABadFolderTouchesNoProgramFile) {
    Load("xp-solvane-no-key");
    Run();
    EXPECT_TRUE(m().files().Exists(std::string(kSolvaneFolder) + "\\Solvane.exe"));
    EXPECT_FALSE(m().files().Exists(std::string(kXpPrograms) + "\\Zelmar"));
    EXPECT_FALSE(m().registry().KeyExists(
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Solvane 802.11a"));

    Load("xp-solvane-bad-folder");
    const sim::ScenarioRun run = Run();
    EXPECT_TRUE(sim::FileChanges(run.filesBefore, m().files().Snapshot()).empty());
    EXPECT_FALSE(m().registry().KeyExists("HKLM\\Software\\Zelmar\\SolvaneApp"));
}

// ---- the upgrade jobs ---------------------------------------------------------------------

const char* const kUpgradeWaiting =
    "Locating a valid device to upgrade, if you have not inserted the device please do so now.";
const char* const kUpgradeConfirmExit = "The device was not properly upgraded.\nDo you still wish to exit?";
const char* const kNetClass9x = "HKLM\\System\\CurrentControlSet\\Services\\Class\\Net";

TEST_F(ExampleTest, XpUpgradeSilentForcesThePackageOntoTheRunningAdapterWithoutAWindow) {
    Load("xp-upgrade-silent");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(run.commandLine, "-Upgrade");
    EXPECT_TRUE(Lines("dialog").empty());
    EXPECT_TRUE(Lines("msgbox").empty());
    EXPECT_TRUE(HasLine("device",
                        "0 UpdateDriverForPlugAndPlayDevices PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01 "
                        "C:\\Program Files\\Zelmar\\Tavarin\\netzl11a.inf (force)"));
    const std::string key = *m().devices().DriverKeyPath(scenario_->devices.at("card"));
    EXPECT_EQ(m().registry().GetString(key, "InfPath"), "oem0.inf");
    EXPECT_EQ(m().registry().GetString(key, "DriverVersion"), "1.4.2.0");
    // Windows asked for a restart; the upgrade job never restarts Windows.
    EXPECT_TRUE(HasLine("device", "0 restart needed after driver update (told to the caller)"));
    EXPECT_TRUE(m().session().ExitRequests().empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpUpgradeDialogNamesTheCardItUpgradedAfterTheSettle) {
    Load("xp-upgrade-dialog");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_NE(dialog[0].find(kUpgradeWaiting), std::string::npos);
    EXPECT_NE(dialog[0].find("button \"Close\" [disabled]"), std::string::npos);
    EXPECT_TRUE(HasLine("device",
                        "17300 UpdateDriverForPlugAndPlayDevices PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01 "
                        "C:\\Program Files\\Zelmar\\Tavarin\\netzl11a.inf (force)"));
    EXPECT_TRUE(HasLine("dialog",
                        "17300 Instructions: \"The device driver for your \"Zelmar 802.11a Wireless PCI Adapter\" has "
                        "been properly upgraded.\""));
    EXPECT_TRUE(HasLine("dialog", "17300 Close: enabled"));
    EXPECT_TRUE(HasLine("dialog", "17300 Cancel: disabled"));
    EXPECT_TRUE(HasLine("dialog", "25000 \"Tavarin Device Setup\" closed"));
    EXPECT_TRUE(m().session().ExitRequests().empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpUpgradeFailedReportsTheFailureAndGoesOnToTheInstallJob) {
    Load("xp-upgrade-failed");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    const std::vector<sim::MessageBoxRecord>& boxes = m().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Upgrade Device Failed");
    EXPECT_EQ(boxes[0].caption, "tavsetup");
    EXPECT_EQ(boxes[0].result, IDOK);
    EXPECT_EQ(boxes[0].closed, 2000u);
    // The install dialog only after the box.
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_FALSE(dialog.empty());
    EXPECT_EQ(dialog[0].rfind("2300 \"Tavarin Device Setup\"", 0), 0u) << dialog[0];
    EXPECT_NE(dialog[0].find("has been properly installed."), std::string::npos);
    EXPECT_EQ(m().registry().GetString(kTavarinKey, "HardwareID"), "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01");
    EXPECT_EQ(ToolStarts(), std::vector<std::string>{kUtilityStart});
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, XpUpgradeUnsupportedNamesTheCardAndGoesBackToWaiting) {
    Load("xp-upgrade-unsupported");
    // Settling again after the card's restart at 15 s; at 24.3 s the
    // restarted poll sees the card and stops itself.
    std::vector<size_t> timers;
    for (sim::Clock::Millis at : {18000u, 26000u}) {
        m().clock.Schedule(at, [&] { timers.push_back(m().windows().TimerCount()); });
    }
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_TRUE(HasLine("dialog",
                        "15300 Instructions: \"The following device has been detected: \"Zelmar Dual-Band Wireless PCI "
                        "Adapter\"\\n\\nThe driver for the device is not supported on this Driver Installation. If "
                        "you have a device that is supported, please insert it now, otherwise click Cancel.\""));
    EXPECT_FALSE(HasLine("dialog", "15300 Close: enabled"));
    EXPECT_EQ(timers, (std::vector<size_t>{1, 0}));
    for (const std::string& line : Lines("device")) {
        EXPECT_EQ(line.find("UpdateDriverForPlugAndPlayDevices"), std::string::npos) << line;
    }
    const std::vector<sim::MessageBoxRecord>& boxes = m().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kUpgradeConfirmExit);
    EXPECT_EQ(boxes[0].caption, "Tavarin Device Setup");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes[0].result, IDYES);
    EXPECT_EQ(m().registry().GetDword("HKLM\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\"
                                      "{3C9A61D0-7E42-4B1F-8D35-A2F60E9B1C47}",
                                      "ControlFlags"),
              0x0005u);
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, Nt4UpgradeWaitsUntilCancel) {
    Load("nt4-upgrade-waits");
    std::optional<size_t> timers;
    m().clock.Schedule(50000, [&] { timers = m().windows().TimerCount(); });
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    const std::vector<std::string> dialog = Lines("dialog");
    ASSERT_EQ(dialog.size(), 2u);  // shown, then closed: no text ever changes
    EXPECT_NE(dialog[0].find(kUpgradeWaiting), std::string::npos);
    EXPECT_EQ(dialog[1], "61000 \"Tavarin Device Setup\" closed");
    EXPECT_EQ(timers, 1u);  // the poll, which does nothing on NT 4.0
    const std::vector<sim::MessageBoxRecord>& boxes = m().windows().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kUpgradeConfirmExit);
    EXPECT_EQ(boxes[0].opened, 60000u);
    EXPECT_EQ(boxes[0].result, IDYES);
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, NineEightSeUpgradePointsThe80211aInstancesAtTheNewDriver) {
    Load("98se-upgrade-retarget");
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_TRUE(Lines("dialog").empty());
    sim::Registry& reg = m().registry();
    for (const char* label : {"card", "spare", "dualband"}) {
        const std::string key = *m().devices().DriverKeyPath(scenario_->devices.at(label));
        const std::string expected = std::string(label) == "dualband" ? "ntzl10ab.sys" : "zelm11a.sys";
        EXPECT_EQ(reg.GetString(key, "DeviceVxDs"), expected) << label;
        EXPECT_EQ(reg.GetString(key, "NTMPDriver"), expected) << label;
    }
    EXPECT_EQ(reg.GetString(std::string(kNetClass9x) + "\\0000", "DeviceVxDs"), "pppmac.vxd");
    EXPECT_FALSE(reg.GetValue(std::string(kNetClass9x) + "\\0000", "NTMPDriver"));
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, NineEightSeUpgradeFilesPutsTheStagedLibraryInPlace) {
    Load("98se-upgrade-files");
    const std::optional<std::string> staged = m().files().ReadFile("C:\\WINDOWS\\SYSTEM\\ZLMSecurity.new");
    ASSERT_TRUE(staged);
    const sim::ScenarioRun run = Run();
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed) << run.message;
    EXPECT_EQ(m().files().ReadFile("C:\\WINDOWS\\SYSTEM\\ZLMSecurity.dll"), staged);
    EXPECT_FALSE(m().files().Exists("C:\\WINDOWS\\SYSTEM\\ZLMSecurity.new"));
    EXPECT_TRUE(Lines("dialog").empty());
    ExpectEverythingClosed();
}

TEST_F(ExampleTest, SwitchesGivenToTheRunReplaceTheScenarioDefault) {
    Load("xp-card-inserted");
    const sim::ScenarioRun run = Run(std::string(""));
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Completed);
    EXPECT_EQ(run.commandLine, "");
    EXPECT_TRUE(Lines("dialog").empty());
    EXPECT_EQ(m().clock.Now(), 0u);
}

TEST(ScenarioRunTest, AToolThatWaitsForeverIsReportedAsStalledWithWhatItShows) {
    sim::ScenarioLoad load = sim::BuildScenario("windows xp\nswitches -install\nidle-limit 1m\n", "REGEDIT4\n");
    ASSERT_TRUE(load) << load.error;
    const sim::ScenarioRun run = sim::RunScenario(*load.scenario);
    ASSERT_EQ(run.outcome, sim::ScenarioRun::Outcome::Stalled);
    EXPECT_NE(run.message.find("open dialog:\n\"Tavarin Device Setup\""), std::string::npos) << run.message;
    EXPECT_NE(run.message.find(kLocating), std::string::npos);
    EXPECT_EQ(load.scenario->machine->clock.Now(), 60000u);
    EXPECT_NE(sim::FormatReport(*load.scenario, run).find("the run stalled at [  60.000 s]"), std::string::npos);
}

TEST(ScenarioReportTest, FileChangesListAddedRemovedChangedAndAttributes) {
    sim::FileSystemSnapshot before;
    before.entries = {{"C:\\", true, 0x10, ""},
                      {"C:\\Keep.txt", false, 0x20, "same"},
                      {"C:\\Edit.txt", false, 0x20, "old"},
                      {"C:\\Gone.txt", false, 0x20, "x"},
                      {"C:\\Flag.txt", false, 0x20, "f"}};
    sim::FileSystemSnapshot after;
    after.entries = {{"C:\\", true, 0x10, ""},
                     {"C:\\keep.TXT", false, 0x20, "same"},
                     {"C:\\Edit.txt", false, 0x20, "newer"},
                     {"C:\\Flag.txt", false, 0x23, "f"},
                     {"C:\\New", true, 0x10, ""},
                     {"C:\\New\\a.inf", false, 0x21, "abc"}};
    EXPECT_EQ(sim::FileChanges(before, after),
              (std::vector<std::string>{"~ C:\\Edit.txt: content changed (3 -> 5 bytes)",
                                        "~ C:\\Flag.txt: attributes archive -> read-only,hidden,archive",
                                        "+ C:\\New\\ (folder)", "+ C:\\New\\a.inf (3 bytes) [read-only,archive]",
                                        "- C:\\Gone.txt"}));
    EXPECT_TRUE(sim::FileChanges(before, before).empty());
}

TEST(ScenarioReportTest, TheDriveIsWrittenAsAFolderTreeOnlyIntoAnEmptyFolder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() /
                          ("tav-drive-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                           "-" + std::to_string(std::random_device{}()));
    sim::FileSystemSnapshot drive;
    drive.entries = {{"C:\\", true, 0x10, ""},
                     {"C:\\WINDOWS", true, 0x10, ""},
                     {"C:\\WINDOWS\\inf", true, 0x10, ""},
                     {"C:\\WINDOWS\\inf\\oem0.inf", false, 0x20, "[Version]\r\n"}};
    std::string error;
    ASSERT_TRUE(sim::WriteDriveFolder(drive, root.string(), &error)) << error;
    std::ifstream in(root / "WINDOWS" / "inf" / "oem0.inf", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "[Version]\r\n");
    EXPECT_FALSE(sim::WriteDriveFolder(drive, root.string(), &error));
    EXPECT_NE(error.find("is not an empty folder"), std::string::npos);
    fs::remove_all(root);
}

TEST(ScenarioReportTest, TimesAreSecondsWithMilliseconds) {
    EXPECT_EQ(sim::FormatTime(0), "[   0.000 s]");
    EXPECT_EQ(sim::FormatTime(12000), "[  12.000 s]");
    EXPECT_EQ(sim::FormatTime(17300), "[  17.300 s]");
    EXPECT_EQ(sim::FormatTime(12345678), "[12345.678 s]");
}

}  // namespace
