// The utility and the security product: the programs started with their
// exact command lines, the data files, the dynamic settings, the security
// program or service, and the -StopService and -uninstall runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/job_steps.h"
#include "app/product_profile.h"
#include "app/setup_app.h"
#include "app/windows_kind.h"
#include "cleanup/utility.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "tests/support/tool_fixture.h"

namespace {

const char* const kFolder = "C:\\Program Files\\Zelmar\\Tavarin";
const char* const kTavarinKey = "HKLM\\Software\\Zelmar\\TavarinApp";
const char* const kSecurityKey = "HKLM\\Software\\Zelmar\\SolvaneSecurity";

std::string InFolder(const std::string& name) { return std::string(kFolder) + "\\" + name; }

class UtilityTest : public ToolTest {
protected:
    // A machine with the utility installed for the profile's key.
    void Prepare(sim::WindowsVersion version, int profile = 2, bool duskline = false, bool execPath = true) {
        UseMachine(version);
        InitWindowsKind();
        if (duskline) SetDusklineFlag(true);
        SelectProductProfile(profile);
        if (execPath) machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "ExecPath", kFolder);
        for (const char* program : {"tavarin.exe", "duskline.exe", "ZelmSS.exe"}) {
            machine().files().WriteFile(InFolder(program), "MZ");
        }
    }

    std::vector<std::string> Starts() {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("process")) out.push_back(e.text);
        return out;
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(machine().processes().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
    }

    void AddSecurityService(DWORD state) {
        sim::ServiceConfig config;
        config.name = "ZelmSS";
        config.imagePath = InFolder("ZelmSS.exe");
        ASSERT_TRUE(machine().services().AddService(config));
        sim::ServiceRunState run;
        run.state = state;
        ASSERT_TRUE(machine().services().SetRunState("ZelmSS", run));
    }
};

// ---- starting and stopping the utility ----------------------------------------------

TEST_F(UtilityTest, StopAndStartRunTheUtilityWithTheirExactCommandLines) {
    Prepare(sim::WindowsVersion::WinXP);
    StopUtility();
    StartUtility();
    EXPECT_EQ(Starts(), (std::vector<std::string>{InFolder("tavarin.exe") + " -killapp",
                                                  InFolder("tavarin.exe") + " -silent -hs"}));
    // The argument text arrives as one piece of the command line; the
    // process handle is not kept.
    EXPECT_EQ(machine().processes().Processes().at(1).commandLine, InFolder("tavarin.exe") + " -silent -hs");
    ExpectNothingLeftOpen();
}

TEST_F(UtilityTest, TheDusklineLineStartsItsOwnUtilityButStopsTavarin) {
    Prepare(sim::WindowsVersion::Win98SE, 1, true);
    EXPECT_STREQ(ProfileKeyPath, "Software\\Zelmar\\DusklineB");
    StopUtility();
    StartUtility();
    EXPECT_EQ(Starts(), (std::vector<std::string>{InFolder("tavarin.exe") + " -killapp",
                                                  InFolder("duskline.exe") + " -silent -hs"}));
}

TEST_F(UtilityTest, WithoutTheFolderOrWithATooLongOneNothingStarts) {
    Prepare(sim::WindowsVersion::WinXP, 2, false, false);
    StopUtility();
    StartUtility();
    LaunchUtility("tavarin.exe", "-x");
    EXPECT_TRUE(Starts().empty());

    // 250 characters fit in the 255 bytes read, but not with the program
    // name in a 260-byte path: nothing starts under a cut-off name.
    const std::string longFolder = "C:\\" + std::string(246, 'f');
    machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "ExecPath", longFolder);
    StopUtility();
    EXPECT_TRUE(Starts().empty());
    ExpectNothingLeftOpen();
}

TEST_F(UtilityTest, AStopTellsARunningUtilityToExit) {
    Prepare(sim::WindowsVersion::WinXP);
    const DWORD running = machine().processes().StartRunning(InFolder("tavarin.exe"));
    sim::ProgramScript utility;
    utility.onStart = [](sim::Machine& m, const sim::ProcessRecord& p) {
        if (p.commandLine.find("-killapp") != std::string::npos) m.processes().EndProgram("tavarin.exe", 0, p.id);
    };
    machine().processes().ScriptProgram("tavarin.exe", utility);
    StopUtility();
    EXPECT_FALSE(machine().processes().Find(running)->Running());
}

// ---- data files ---------------------------------------------------------------------------

TEST_F(UtilityTest, DataFilesAreDeletedEvenWhenReadOnly) {
    Prepare(sim::WindowsVersion::Win2000);
    machine().files().WriteFile(InFolder("_tavarin.dat"), "d", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    machine().files().WriteFile(InFolder("profile.pro"), "p", FILE_ATTRIBUTE_READONLY);
    machine().files().WriteFile(InFolder("_dusklin.dat"), "k");
    DeleteUtilityDataFiles();
    EXPECT_FALSE(machine().files().Exists(InFolder("_tavarin.dat")));
    EXPECT_FALSE(machine().files().Exists(InFolder("profile.pro")));
    EXPECT_TRUE(machine().files().Exists(InFolder("_dusklin.dat")));
    EXPECT_TRUE(machine().files().Exists(InFolder("tavarin.exe")));
    ExpectNothingLeftOpen();
}

TEST_F(UtilityTest, TheDusklineLineDeletesItsOwnDataFile) {
    Prepare(sim::WindowsVersion::WinMe, 1, true);
    machine().files().WriteFile(InFolder("_tavarin.dat"), "d");
    machine().files().WriteFile(InFolder("_dusklin.dat"), "k");
    DeleteUtilityDataFiles();
    EXPECT_TRUE(machine().files().Exists(InFolder("_tavarin.dat")));
    EXPECT_FALSE(machine().files().Exists(InFolder("_dusklin.dat")));
}

TEST_F(UtilityTest, WithoutTheFolderNoFileIsTouched) {
    Prepare(sim::WindowsVersion::Win2000, 2, false, false);
    machine().files().WriteFile("C:\\_tavarin.dat", "d");
    machine().files().WriteFile("C:\\profile.pro", "p");
    const auto before = machine().files().Snapshot();
    DeleteUtilityDataFiles();
    EXPECT_EQ(machine().files().Snapshot().entries, before.entries);
}

// ---- the security program or service ----------------------------------------------------------

TEST_F(UtilityTest, OnWindowsNtTheSecurityServiceIsControlled) {
    for (auto version : {sim::WindowsVersion::WinXP, sim::WindowsVersion::Win2000, sim::WindowsVersion::NT4}) {
        Prepare(version);
        EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 0);  // not installed
        AddSecurityService(SERVICE_RUNNING);
        EXPECT_NE(ControlSecurityService(1, 0, nullptr), 0);
        EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 0);  // already stopped
        EXPECT_NE(ControlSecurityService(0, 0, nullptr), 0);
        EXPECT_EQ(ControlSecurityService(2, 0, nullptr), 0);  // it does not accept pause
        // No window is looked for and no program started on NT.
        EXPECT_TRUE(Starts().empty());
        ExpectNothingLeftOpen();
    }
}

TEST_F(UtilityTest, OnWindows9xTheSecurityProgramsWindowGetsTheStopCommand) {
    for (auto version : {sim::WindowsVersion::Win98SE, sim::WindowsVersion::WinMe}) {
        Prepare(version);
        EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 0);  // no window
        sim::RunSecurityProgram(machine(), InFolder("ZelmSS.exe"), {});
        EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 1);
        EXPECT_EQ(FindWindowA("ZelmSS", nullptr), nullptr);
        const auto messages = machine().transcript.OfKind("window");
        ASSERT_FALSE(messages.empty());
        EXPECT_NE(messages.back().text.find("message 0x0111 to"), std::string::npos) << messages.back().text;
        EXPECT_EQ(messages.back().text.substr(messages.back().text.size() - 3), ": 1");

        sim::SecurityProgramScript refuses;
        refuses.reply = 0;
        sim::RunSecurityProgram(machine(), InFolder("ZelmSS.exe"), refuses);
        EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 0);
        EXPECT_EQ(ControlSecurityService(2, 0, nullptr), 0);
        EXPECT_EQ(ControlSecurityService(3, 0, nullptr), 0);
        EXPECT_TRUE(machine().transcript.OfKind("service").empty());
    }
}

TEST_F(UtilityTest, OnWindows9xAStartRunsTheSecurityProgramFromTheUtilitysFolder) {
    Prepare(sim::WindowsVersion::Win98SE);
    sim::ScriptSecurityProgram(machine(), InFolder("ZelmSS.exe"), {});
    EXPECT_EQ(ControlSecurityService(0, 0, nullptr), 0);
    EXPECT_EQ(Starts(), std::vector<std::string>{InFolder("ZelmSS.exe")});
    EXPECT_NE(FindWindowA("ZelmSS", nullptr), nullptr);
    EXPECT_EQ(ControlSecurityService(1, 0, nullptr), 1);
    ExpectNothingLeftOpen();

    Prepare(sim::WindowsVersion::WinMe, 2, false, false);
    EXPECT_EQ(ControlSecurityService(0, 0, nullptr), 0);
    EXPECT_TRUE(Starts().empty());
}

// ---- dynamic settings --------------------------------------------------------------------

TEST_F(UtilityTest, DynamicSettingsOfBothKeysAreDeletedAndNothingElse) {
    Prepare(sim::WindowsVersion::WinXP, 1);  // the utility's key is fixed, whatever the profile
    sim::Registry& reg = machine().registry();
    for (const char* name : {"DynamicSwitch", "DynamicProfile", "DynamicCard", "DynamicOther"}) {
        reg.SetString(kTavarinKey, name, "1");
    }
    for (const char* name : {"VID0", "VID1", "VID2", "VID3", "VID4"}) reg.SetDword(kSecurityKey, name, 7);
    EXPECT_EQ(ClearDynamicSettings(), ERROR_SUCCESS);
    EXPECT_EQ(reg.ValueNames(kTavarinKey), std::vector<std::string>{"DynamicOther"});
    EXPECT_EQ(reg.ValueNames(kSecurityKey), std::vector<std::string>{"VID4"});
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST_F(UtilityTest, DynamicSettingsReportOnlyAMissingSecurityKey) {
    Prepare(sim::WindowsVersion::Win98SE, 2, false, false);
    sim::Registry& reg = machine().registry();
    reg.DeleteKeyTree("HKLM\\Software\\Zelmar");
    const auto before = reg.Snapshot();
    EXPECT_EQ(ClearDynamicSettings(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.Snapshot(), before);

    reg.SetDword(kSecurityKey, "VID2", 1);
    reg.SetDword(kSecurityKey, "Kept", 1);
    EXPECT_EQ(ClearDynamicSettings(), ERROR_SUCCESS);
    EXPECT_EQ(reg.ValueNames(kSecurityKey), std::vector<std::string>{"Kept"});
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

// ---- whole runs ----------------------------------------------------------------------------

TEST_F(UtilityTest, StopServiceRunStopsTheServiceOnNtAndTheProgramOn9x) {
    Prepare(sim::WindowsVersion::WinXP);
    AddSecurityService(SERVICE_RUNNING);
    RunTool("-StopService");
    EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_STOPPED));
    ExpectNothingLeftOpen();

    Prepare(sim::WindowsVersion::WinMe);
    sim::RunSecurityProgram(machine(), InFolder("ZelmSS.exe"), {});
    RunTool("-StopService -SvcSetup");
    EXPECT_EQ(FindWindowA("ZelmSS", nullptr), nullptr);
    EXPECT_FALSE(machine().processes().IsRunning(InFolder("ZelmSS.exe")));
}

INT_PTR ReturnAtOnce(CDialog&) { return IDCANCEL; }

TEST_F(UtilityTest, UninstallRunStopsTheUtilityDeletesItsFilesAndClearsItsSettings) {
    Prepare(sim::WindowsVersion::WinXP);
    machine().files().WriteFile(InFolder("_tavarin.dat"), "d", FILE_ATTRIBUTE_READONLY);
    machine().files().WriteFile(InFolder("profile.pro"), "p");
    machine().registry().SetDword("HKLM\\Software\\Microsoft\\EAPOL\\Parameters\\General\\Global", "SupplicantMode",
                                  2);
    machine().registry().SetString(kTavarinKey, "DynamicCard", "x");
    machine().registry().SetDword(kSecurityKey, "VID0", 1);
    // The utility takes its time to go; nothing waits for it.
    sim::ProgramScript utility;
    utility.runsFor = 5000;
    machine().processes().ScriptProgram("tavarin.exe", utility);

    JobSteps steps = DefaultJobSteps();
    steps.ShowDialog = ReturnAtOnce;
    theApp.UseSteps(steps);
    RunTool("-uninstall");
    EXPECT_EQ(Starts(), std::vector<std::string>{InFolder("tavarin.exe") + " -killapp"});
    EXPECT_FALSE(machine().files().Exists(InFolder("_tavarin.dat")));
    EXPECT_FALSE(machine().files().Exists(InFolder("profile.pro")));
    EXPECT_EQ(machine().registry().GetDword("HKLM\\Software\\Microsoft\\EAPOL\\Parameters\\General\\Global",
                                            "SupplicantMode"),
              0u);
    EXPECT_FALSE(machine().registry().GetValue(kTavarinKey, "DynamicCard"));
    EXPECT_FALSE(machine().registry().GetValue(kSecurityKey, "VID0"));
    EXPECT_EQ(machine().clock.Now(), 100u);  // the pause between stop and delete
    EXPECT_TRUE(machine().processes().IsRunning(InFolder("tavarin.exe")));
    ExpectNothingLeftOpen();
    theApp.UseSteps(DefaultJobSteps());
}

}  // namespace
