// The scenario loader: the format of scenario.txt, its checks, and that a
// scenario is applied whole or not at all.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/scenario/scenario.h"
#include "sim/machine/services.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/window_manager.h"

namespace {

namespace fs = std::filesystem;

// A host folder of its own for one test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        // Tests may run in parallel processes: the name must not collide.
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() / ("tav-scenario-" + std::to_string(stamp) + "-" +
                                             std::to_string(std::random_device{}()) + "-" + std::to_string(++count_));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return path_; }
    void Write(const std::string& relative, const std::string& content) const {
        const fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

private:
    static inline int count_ = 0;
    fs::path path_;
};

const char* const kRegistry =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Zelmar\\TavarinApp]\n"
    "\"InstallPath\"=\"C:\\\\Drv\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\WZCSVC]\n"
    "\"Type\"=dword:00000020\n"
    "\"Start\"=dword:00000002\n";

sim::Clock::Millis Duration(const std::string& text) {
    sim::Clock::Millis value = 0;
    std::string error;
    EXPECT_TRUE(sim::ParseDuration(text, &value, &error)) << text << ": " << error;
    return value;
}

std::string DurationError(const std::string& text) {
    sim::Clock::Millis value = 0;
    std::string error;
    EXPECT_FALSE(sim::ParseDuration(text, &value, &error)) << text;
    return error;
}

TEST(ScenarioDurations, TakeTheUnitsPeopleWrite) {
    EXPECT_EQ(Duration("12s"), 12000u);
    EXPECT_EQ(Duration("1500ms"), 1500u);
    EXPECT_EQ(Duration("2m"), 120000u);
    EXPECT_EQ(Duration("1.5s"), 1500u);
    EXPECT_EQ(Duration("0.25m"), 15000u);
    EXPECT_EQ(Duration("1h"), 3600000u);
    EXPECT_EQ(Duration("0s"), 0u);

    EXPECT_NE(DurationError("12").find("needs a unit"), std::string::npos);
    EXPECT_NE(DurationError("12x").find("unknown unit"), std::string::npos);
    EXPECT_NE(DurationError("1.5ms").find("whole number of milliseconds"), std::string::npos);
    DurationError("s");
    DurationError("1.s");
    DurationError("-3s");
    DurationError("");
    DurationError("9999999999999s");
}

TEST(ScenarioLoader, EveryMalformedLineIsReportedWithItsNumber) {
    const std::string text =
        "# A broken scenario\n"          // 1
        "windows xp\n"                   // 2
        "frobnicate now\n"               // 3
        "at 12 click Close\n"            // 4
        "at 12s answer Maybe\n"          // 5
        "answer \"not closed Yes\n"      // 6
        "at 3s arrive nocard\n"          // 7
        "service WZCSVC sleeping\n"      // 8
        "pci-adapter card colour=red\n"  // 9
        "windows 98se\n"                 // 10
        "caller root\n"                  // 11
        "removal-program runs=3\n";      // 12
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry);
    ASSERT_FALSE(load);
    EXPECT_EQ(load.scenario, nullptr);
    const std::string& e = load.error;
    EXPECT_NE(e.find("scenario.txt: line 3: unknown directive 'frobnicate'"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 4: '12' needs a unit"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 5: 'Maybe' is not a message-box button"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 6: a quoted text is not closed"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 7: no device is labelled 'nocard'"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 8: a service is 'running', 'stopped' or 'paused'"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 9: unknown option 'colour='"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 10: 'windows' is given twice"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 11: the caller is 'administrator' or 'user'"), std::string::npos) << e;
    EXPECT_NE(e.find("scenario.txt: line 12: '3' needs a unit"), std::string::npos) << e;
    // In line order, also for a label checked once the whole file was read.
    EXPECT_LT(e.find("line 6:"), e.find("line 7:"));
    EXPECT_LT(e.find("line 7:"), e.find("line 8:"));
    EXPECT_EQ(e.find("line 1:"), std::string::npos);
    EXPECT_EQ(e.find("line 2:"), std::string::npos);
}

TEST(ScenarioLoader, ARequiredPartMissingIsAnError) {
    EXPECT_NE(sim::BuildScenario("switches -install\n", kRegistry).error.find("no 'windows' line"), std::string::npos);
    const std::string vista = sim::BuildScenario("windows vista\n", kRegistry).error;
    EXPECT_NE(vista.find("line 1: 'vista' is not a Windows"), std::string::npos) << vista;
    EXPECT_EQ(vista.find("no 'windows' line"), std::string::npos) << vista;
    EXPECT_NE(sim::BuildScenario("windows xp\nat 5s\n", kRegistry).error.find("line 2: expected: at <time>"),
              std::string::npos);
}

TEST(ScenarioLoader, AFileOfNothingButMistakesIsReportedInShort) {
    std::string text = "windows xp\n";
    for (int i = 0; i < 30; ++i) text += "bogus line\n";
    const std::string error = sim::BuildScenario(text, kRegistry).error;
    EXPECT_NE(error.find("line 21: unknown directive 'bogus'"), std::string::npos);
    EXPECT_EQ(error.find("line 22:"), std::string::npos);
    EXPECT_NE(error.find("\n... and 10 more problems"), std::string::npos) << error;
}

TEST(ScenarioLoader, AMalformedRegistryLineIsNamedAndNothingIsRun) {
    const std::string registry = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"Broken\"=dword:xyz\n";
    const sim::ScenarioLoad load = sim::BuildScenario("windows xp\n", registry);
    ASSERT_FALSE(load);
    EXPECT_EQ(load.error.rfind("registry.reg: line 4:", 0), 0u) << load.error;
}

TEST(ScenarioLoader, WhatTheMachineLacksFailsTheLoadAtTheLineThatNamesIt) {
    const std::string text =
        "windows xp\n"
        "device PCI\\VEN_168C&DEV_0012\\NOWHERE\n"
        "service NoSuchService running\n"
        "in-use C:\\Drv\\missing.dat\n"
        "deny-write HKLM\\Software\\Nobody\n"
        "at 2s arrive PCI\\VEN_1234&DEV_5678\\0\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry);
    ASSERT_FALSE(load);
    const std::string& e = load.error;
    EXPECT_NE(e.find("line 2: the machine has no device 'PCI\\VEN_168C&DEV_0012\\NOWHERE'"), std::string::npos) << e;
    EXPECT_NE(e.find("line 3: registry.reg has no service 'NoSuchService'"), std::string::npos) << e;
    EXPECT_NE(e.find("line 4: the drive has no file 'C:\\Drv\\missing.dat'"), std::string::npos) << e;
    EXPECT_NE(e.find("line 5: registry.reg has no key 'HKLM\\Software\\Nobody'"), std::string::npos) << e;
    EXPECT_NE(e.find("line 6: the machine has no device 'PCI\\VEN_1234&DEV_5678\\0'"), std::string::npos) << e;

    // The Windows 9x family has neither a service manager nor services.
    const sim::ScenarioLoad nineX = sim::BuildScenario("windows 98se\nservice-lock held-until 5s\n", "REGEDIT4\n");
    EXPECT_NE(nineX.error.find("line 2: Windows 98 SE has no service control manager"), std::string::npos)
        << nineX.error;
    const sim::ScenarioLoad nt = sim::BuildScenario("windows 2000\ndriver-index\n", "REGEDIT4\n");
    EXPECT_NE(nt.error.find("line 2: only Windows 95, 98 and Me keep a driver index"), std::string::npos) << nt.error;
}

TEST(ScenarioLoader, TheTopCommentDescribesTheScenarioAndQuotesGroupWords) {
    const std::string text =
        "# First line of the description\n"
        "#   indented second line\n"
        "\n"
        "# not part of the description\n"
        "windows xp   # the machine\n"
        "switches  -install   -a#b  \"-x y\" # a comment\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry);
    ASSERT_TRUE(load) << load.error;
    const sim::Scenario& s = *load.scenario;
    EXPECT_EQ(s.description, (std::vector<std::string>{"First line of the description", "  indented second line"}));
    // A '#' inside a word is part of it; quotes group blanks into one word.
    EXPECT_EQ(s.defaultSwitches, "-install -a#b -x y");
}

TEST(ScenarioLoader, ALabelHoldsOnlyPlainCharacters) {
    const sim::ScenarioLoad load = sim::BuildScenario("windows xp\npci-adapter card#1\n", kRegistry);
    EXPECT_NE(load.error.find("line 2: 'card#1' cannot label a device"), std::string::npos) << load.error;
    const sim::ScenarioLoad twice = sim::BuildScenario("windows xp\npci-adapter card\npc-card CARD\n", kRegistry);
    EXPECT_NE(twice.error.find("line 3: the label 'CARD' is already used on line 2"), std::string::npos) << twice.error;
}

TEST(ScenarioLoader, AQuotedValueKeepsItsBlanksQuotesAndHashes) {
    const std::string text =
        "windows xp\n"
        "pci-adapter card desc=\"A \"\"quoted\"\" name # kept\" instance=4&AB&0&10F0\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry);
    ASSERT_TRUE(load) << load.error;
    const sim::Scenario& s = *load.scenario;
    const std::string id = s.devices.at("card");
    EXPECT_EQ(id, "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01\\4&AB&0&10F0");
    const auto enumKey = s.machine->devices().EnumKeyPath(id);
    ASSERT_TRUE(enumKey);
    EXPECT_EQ(s.machine->registry().GetString(*enumKey, "DeviceDesc"), "A \"quoted\" name # kept");
}

TEST(ScenarioLoader, EveryDirectiveIsAppliedToTheMachine) {
    TempFolder drive;
    drive.Write("Drv/_tavarin.dat", "data");
    drive.Write("Drv/tavarin.exe", "MZ");
    drive.Write("Drv/ZelmSS.exe", "MZ");
    drive.Write("Drv/Zovavizu.exe", "MZ");
    const std::string text =
        "windows xp\n"
        "windows-folder C:\\WINNT\n"
        "service-pack \"Service Pack 1\"\n"
        "program-path C:\\Drv\\tavsetup.exe\n"
        "caller user\n"
        "newdev no-update-function\n"
        "idle-limit 10m\n"
        // A device may be named before the line that adds it.
        "at 5s arrive card extra=DBT_DEVICEARRIVAL\n"
        "pci-adapter card absent vendor=168c device=0007 subsys=01107E3D\n"
        "pci-adapter ready driver=pci\\ven_168c&dev_0012&subsys_1022168c inf=oem3.inf netcfg={AAAA}\n"
        "pc-card other absent id=PCMCIA\\INTERSIL-HFA384X/IEEE-CA62\n"
        "restart-for-device ready\n"
        "service WZCSVC running stop-delay=3s accepts=stop,shutdown\n"
        "service-lock held-until 90s\n"
        "program tavarin.exe runs=2s exit=5\n"
        "running C:\\Drv\\tavarin.exe \"C:\\Drv\\tavarin.exe -startup\"\n"
        "security-program C:\\Drv\\ZelmSS.exe reply=0 running\n"
        "removal-program runs=3s exit=2\n"
        "in-use C:\\Drv\\_tavarin.dat\n"
        "attributes C:\\Drv\\_tavarin.dat read-only,hidden\n"
        "deny-write HKLM\\Software\\Zelmar\\TavarinApp\n"
        "at 12s click Close\n"
        "at 13s click 2\n"
        "at 14s press Escape\n"
        "at 15s end-session logoff\n"
        "at 16s minimise\n"
        "at 17s restore\n"
        "at 18s answer \"Try Again\"\n"
        "at 6s post-quit\n"
        "answer \"still wish\" No after=2s\n"
        "answer-caption \"System Restart\" Yes\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry, drive.path().string());
    ASSERT_TRUE(load) << load.error;
    sim::Machine& m = *load.scenario->machine;
    sim::MachineScope scope(m);

    EXPECT_EQ(m.WindowsDir(), "C:\\WINNT");
    EXPECT_EQ(m.csdVersion, "Service Pack 1");
    EXPECT_EQ(m.modules().programPath, "C:\\Drv\\tavsetup.exe");
    EXPECT_EQ(m.services().caller, sim::Principal::User);
    EXPECT_EQ(m.modules().newdev, sim::NewdevAvailability::LacksUpdateFunction);
    EXPECT_EQ(m.windows().IdleLimit(), 600000u);
    EXPECT_TRUE(m.transcript.Entries().empty());
    EXPECT_FALSE(load.scenario->bareMachine);
    EXPECT_EQ(m.furnishing(), sim::Furnishing::Standard);
    EXPECT_TRUE(m.faults.Pending().empty());

    const std::map<std::string, std::string>& devices = load.scenario->devices;
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_FALSE(m.devices().IsPresent(devices.at("card")));
    EXPECT_FALSE(m.devices().IsPresent(devices.at("other")));
    EXPECT_TRUE(m.devices().IsStarted(devices.at("ready")));
    EXPECT_EQ(m.registry().GetString(*m.devices().DriverKeyPath(devices.at("ready")), "NetCfgInstanceId"), "{AAAA}");

    EXPECT_EQ(m.services().State("WZCSVC"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(m.services().RunState("WZCSVC")->stopDelay, 3000u);
    EXPECT_EQ(m.services().RunState("WZCSVC")->controlsAccepted,
              static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    EXPECT_TRUE(m.services().IsLocked());

    EXPECT_TRUE(m.processes().IsRunning("C:\\Drv\\tavarin.exe"));
    EXPECT_EQ(m.processes().Processes().at(0).commandLine, "C:\\Drv\\tavarin.exe -startup");
    EXPECT_NE(FindWindowA("ZelmSS", nullptr), nullptr);
    EXPECT_TRUE(m.files().IsInUse("C:\\Drv\\_tavarin.dat"));
    EXPECT_EQ(m.files().Attributes("C:\\Drv\\_tavarin.dat"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(m.registry().GetKeyAccess("HKLM\\Software\\Zelmar\\TavarinApp"), sim::KeyAccess::DenyFullAccess);
    EXPECT_EQ(m.windows().User().PendingActions(), 7u);

    // The program script: the started utility ends after 2 s with code 5.
    const sim::Result<DWORD> started = m.processes().Start("C:\\Drv\\tavarin.exe", "C:\\Drv\\tavarin.exe -silent",
                                                           "_spawnl", "", 0, "C:\\Drv\\tavarin.exe -silent");
    ASSERT_TRUE(started) << started.error();
    const DWORD id = *started;
    m.clock.AdvanceTo(4999);
    EXPECT_FALSE(m.devices().IsPresent(devices.at("card")));
    EXPECT_EQ(m.processes().Find(id)->exitCode, 5u);
    m.clock.AdvanceTo(5000);
    EXPECT_TRUE(m.devices().IsPresent(devices.at("card")));
    ASSERT_FALSE(m.devices().Broadcasts().empty());
    EXPECT_EQ(m.devices().Broadcasts().back().event, static_cast<UINT>(DBT_DEVICEARRIVAL));

    // The removal program runs 3 s and ends with code 2; at 6 s another
    // program posts WM_QUIT to the tool's thread.
    const sim::Result<DWORD> remover = m.processes().Start("C:\\Drv\\Zovavizu.exe", "Zovavizu.exe -u", "ShellExecuteEx",
                                                           "-u", 0, "Zovavizu.exe");
    ASSERT_TRUE(remover) << remover.error();
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    m.clock.AdvanceTo(8000);
    EXPECT_EQ(m.processes().Find(*remover)->exitCode, 2u);
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // The standing answers.
    EXPECT_EQ(MessageBoxA(nullptr, "Do you still wish to exit?", "Tavarin Device Setup", MB_YESNO), IDNO);
    EXPECT_EQ(m.clock.Now(), 10000u);
    EXPECT_EQ(MessageBoxA(nullptr, "Restart now?", "System Restart", MB_YESNO), IDYES);
}

TEST(ScenarioLoader, APciCardAndAPcCardAreDescribedOnTheNineXFamilyToo) {
    const std::string text =
        "windows 98se\n"
        "pc-card card driver=PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E vxd=netzl11b.sys inf=netzl11b.inf\n"
        "pci-adapter other absent device=0007 subsys=02207E3D driver=PCI\\VEN_168C&DEV_0007&SUBSYS_02207E3D "
        "vxd=zelm10a.sys ntmp=zelm10a.sys\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, "REGEDIT4\n");
    ASSERT_TRUE(load) << load.error;
    sim::Machine& m = *load.scenario->machine;
    const std::string card = load.scenario->devices.at("card");
    EXPECT_EQ(card, "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\\1");
    EXPECT_TRUE(m.devices().IsStarted(card));
    EXPECT_EQ(m.registry().GetString(*m.devices().DriverKeyPath(card), "DeviceVxDs"), "netzl11b.sys");
    const std::string other = load.scenario->devices.at("other");
    EXPECT_FALSE(m.devices().IsPresent(other));
    // A network driver of the 9x family as those systems keep it.
    const std::string driverKey = *m.devices().DriverKeyPath(other);
    EXPECT_EQ(driverKey.rfind("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\", 0), 0u)
        << driverKey;
    EXPECT_EQ(m.registry().GetString(driverKey, "MatchingDeviceId"), "PCI\\VEN_168C&DEV_0007&SUBSYS_02207E3D");
    EXPECT_EQ(m.registry().GetString(driverKey, "DevLoader"), "*ndis");
    EXPECT_EQ(m.registry().GetString(driverKey, "DeviceVxDs"), "zelm10a.sys");
    EXPECT_EQ(m.registry().GetString(driverKey, "NTMPDriver"), "zelm10a.sys");
}

TEST(ScenarioLoader, DriverDetailsNeedADriver) {
    const sim::ScenarioLoad load = sim::BuildScenario("windows xp\npci-adapter card inf=oem1.inf\n", kRegistry);
    EXPECT_NE(load.error.find("line 2: 'inf=' describes a driver: give driver=<matching device ID> too"),
              std::string::npos)
        << load.error;
    const sim::ScenarioLoad hex = sim::BuildScenario("windows xp\npci-adapter card vendor=16C\n", kRegistry);
    EXPECT_NE(hex.error.find("line 2: vendor= takes 4 hex digits"), std::string::npos) << hex.error;
}

TEST(ScenarioLoader, FailLinesBecomeFailuresOnDemandForTheObjectsTheEmulatorNames) {
    const std::string text =
        "windows xp\n"
        "machine bare\n"
        "fail spdrp_hardwareid card ERROR_INVALID_DATA once\n"  // the label, before the line that defines it
        "pci-adapter card\n"
        "fail RegSetValueExA HKLM\\Software\\Zelmar\\TavarinApp\\ error_access_denied\n"
        "fail CopyFileA C:\\Drv\\a.inf 32 ONCE\n"
        "fail UpdateDriverForPlugAndPlayDevicesA 0xE000020E\n";
    const sim::ScenarioLoad load = sim::BuildScenario(text, kRegistry);
    ASSERT_TRUE(load) << load.error;
    EXPECT_TRUE(load.scenario->bareMachine);
    // The machine itself is bare: the card is its only device.
    EXPECT_EQ(load.scenario->machine->furnishing(), sim::Furnishing::Bare);
    EXPECT_EQ(load.scenario->machine->devices().PresentDevices().size(), 1u);
    auto row = [](const sim::FaultRequest& f) {
        return f.call + " [" + f.object + "] " + std::to_string(f.error) + (f.once ? " once" : "");
    };
    std::vector<std::string> rows;
    for (const sim::FaultRequest& f : load.scenario->machine->faults.Pending()) rows.push_back(row(f));
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "SPDRP_HARDWAREID [" + load.scenario->devices.at("card") + "] 13 once",
                        "RegSetValueExA [HKEY_LOCAL_MACHINE\\Software\\Zelmar\\TavarinApp] 5",
                        "CopyFileA [C:\\Drv\\a.inf] 32 once",
                        "UpdateDriverForPlugAndPlayDevicesA [] " + std::to_string(ERROR_DI_DO_DEFAULT),
                    }));

    const std::string broken =
        "windows xp\n"
        "fail DIF_REMOVE nocard ERROR_DI_DO_DEFAULT\n"
        "fail DeleteFileA C:\\a.txt ERROR_NO_SUCH_THING\n"
        "fail RegDeleteEverything ERROR_ACCESS_DENIED\n"
        "fail ControlService\n"
        "fail RegSetKeySecurity Software\\Zelmar 5\n"
        "fail ControlService W32NDIS5 0\n"
        "machine naked\n";
    const std::string e = sim::BuildScenario(broken, kRegistry).error;
    EXPECT_NE(e.find("line 2: no device is labelled 'nocard'"), std::string::npos) << e;
    EXPECT_NE(e.find("line 3: 'ERROR_NO_SUCH_THING' is not a Windows error this emulator knows by name "
                     "(ERROR_FILE_NOT_FOUND, "),
              std::string::npos)
        << e;
    EXPECT_NE(e.find("line 4: unknown call 'RegDeleteEverything' (calls that can fail on demand: SPDRP_HARDWAREID, "),
              std::string::npos)
        << e;
    EXPECT_NE(e.find("line 5: expected: fail <call> [<object>] <error> [once]"), std::string::npos) << e;
    EXPECT_NE(e.find("line 6: 'Software\\Zelmar' is not a registry key path"), std::string::npos) << e;
    EXPECT_NE(e.find("line 7: error 0 is success"), std::string::npos) << e;
    EXPECT_NE(e.find("line 8: the machine is 'bare'"), std::string::npos) << e;
}

TEST(ScenarioLoader, AFolderNeedsScenarioAndRegistry) {
    TempFolder folder;
    EXPECT_NE(sim::LoadScenario((folder.path() / "nothing").string()).error.find("no scenario folder"),
              std::string::npos);
    EXPECT_NE(sim::LoadScenario(folder.path().string()).error.find("no scenario.txt"), std::string::npos);
    folder.Write("scenario.txt", "windows xp\r\nswitches -install\r\n");
    EXPECT_NE(sim::LoadScenario(folder.path().string()).error.find("no registry.reg"), std::string::npos);
    folder.Write("registry.reg", "REGEDIT4\r\n");
    folder.Write("drive/Drv/a.txt", "a");
    const sim::ScenarioLoad load = sim::LoadScenario(folder.path().string());
    ASSERT_TRUE(load) << load.error;
    EXPECT_EQ(load.scenario->folder, folder.path().string());
    EXPECT_EQ(load.scenario->defaultSwitches, "-install");
    EXPECT_EQ(load.scenario->machine->files().ReadFile("C:\\Drv\\a.txt"), "a");
}

}  // namespace
