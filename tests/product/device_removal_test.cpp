// Removing the adapter: through the class installer on Windows 2000 / XP,
// through the utility's device-removal program elsewhere, and the wait for
// that program that keeps the thread's messages going.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_removal.h"
#include "device/device_uninstaller.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/window_manager.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kDualBandId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01";
const char* const kFolder = "C:\\Program Files\\Zelmar\\Tavarin";
const char* const kProgram = "C:\\Program Files\\Zelmar\\Tavarin\\Zovavizu.exe";
const char* const kCardKey = "PCMCIA\\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\\1";

class DeviceRemovalTest : public ToolTest {
protected:
    void Use(WindowsVersion version) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(2);
    }

    std::string AddAdapter(const std::string& instance) {
        sim::PciAdapter adapter;
        adapter.instanceSuffix = instance;
        adapter.driver = sim::InstalledDriver{};
        adapter.driver->matchingDeviceId = "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C";
        return machine().devices().AddPciAdapter(adapter);
    }

    // The utility installed with its removal program, which runs `runsFor`.
    void InstallUtility(const char* execPath, sim::Clock::Millis runsFor = 3000) {
        machine().registry().SetString("HKLM\\Software\\Zelmar\\TavarinApp", "ExecPath", execPath);
        machine().files().WriteFile(kProgram, "MZ");
        sim::ProgramScript script;
        script.runsFor = runsFor;
        machine().processes().ScriptProgram("Zovavizu.exe", script);
    }

    static FoundDevice Record(const std::string& hardwareId, const std::string& enumKey = kCardKey) {
        FoundDevice record;
        record.name = "Zelmar Solvane 802.11b LAN PC Card";
        record.hardwareId = hardwareId;
        record.enumKey = enumKey;
        return record;
    }

    std::vector<std::string> Starts() {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("process")) out.push_back(e.text);
        return out;
    }
};

// ---- Windows 2000 / XP: the class installer ------------------------------------------

TEST_F(DeviceRemovalTest, EveryPresentAdapterWithTheIdIsRemoved) {
    Use(WindowsVersion::WinXP);
    const std::string first = AddAdapter("4&1&0&10F0");
    const std::string second = AddAdapter("4&2&0&18F0");
    EXPECT_EQ(RemoveDevices(Record(kDualBandId)), 1);
    EXPECT_FALSE(machine().devices().IsPresent(first));
    EXPECT_FALSE(machine().devices().IsPresent(second));
    EXPECT_EQ(machine().devices().OpenHandleCount(), 0u);
}

// A removal that did not happen is never reported as one: the dialog would
// delete the driver files of a device that is still installed.
TEST_F(DeviceRemovalTest, OnlyARemovalOfEveryMatchCountsAsDone) {
    Use(WindowsVersion::WinXP);
    const std::string first = AddAdapter("4&1&0&10F0");
    const std::string second = AddAdapter("4&2&0&18F0");
    EXPECT_EQ(RemoveBySetupApi(Record("PCI\\VEN_168C&DEV_0013")), 0);  // nothing matches
    EXPECT_EQ(RemoveBySetupApi(Record("")), 0);
    machine().faults.Add({"DIF_REMOVE", second, ERROR_ACCESS_DENIED, false});
    EXPECT_EQ(RemoveBySetupApi(Record(kDualBandId)), 0);
    EXPECT_FALSE(machine().devices().IsPresent(first));
    EXPECT_TRUE(machine().devices().IsPresent(second));
}

// ---- elsewhere: the utility's device-removal program -------------------------------------

TEST_F(DeviceRemovalTest, TheRemovalProgramStartsHiddenOncePerKeyAndIsWaitedFor) {
    Use(WindowsVersion::Win98SE);
    InstallUtility("C:\\Program Files\\Zelmar\\Tavarin\\");  // the trailing backslash is not doubled
    EXPECT_EQ(RemoveDevices(Record(kDualBandId)), 1);
    EXPECT_EQ(machine().clock.Now(), 4000u);  // the program's 3 s, then the 1 s pause
    EXPECT_EQ(Starts(), std::vector<std::string>{"file=\"" + std::string(kProgram) +
                                                 "\" parameters=\"-u \"Zelmar Solvane 802.11b LAN PC Card\" \"Net\" \"" +
                                                 kCardKey + "\"\" show=0"});
    // The same key again: not started again, and still a success.
    EXPECT_EQ(RunDeviceUninstaller(Record(kDualBandId)), 1);
    EXPECT_EQ(Starts().size(), 1u);
    EXPECT_EQ(machine().clock.Now(), 5000u);
    EXPECT_EQ(machine().processes().OpenHandleCount(), 0u);
}

TEST_F(DeviceRemovalTest, AnEmptyHardwareKeyIsPassedAsAnEmptyQuotedText) {
    Use(WindowsVersion::NT4);
    InstallUtility(kFolder, 0);
    EXPECT_EQ(RemoveDevices(Record(kDualBandId, "")), 1);
    ASSERT_EQ(Starts().size(), 1u);
    EXPECT_NE(Starts()[0].find("parameters=\"-u \"Zelmar Solvane 802.11b LAN PC Card\" \"Net\" \"\"\""),
              std::string::npos);
}

TEST_F(DeviceRemovalTest, AProgramThatCannotStartOrAnUnknownFolderIsAFailure) {
    Use(WindowsVersion::WinMe);
    EXPECT_EQ(RunDeviceUninstaller(Record(kDualBandId)), 0);  // no "ExecPath"
    EXPECT_EQ(machine().clock.Now(), 0u);

    InstallUtility(kFolder);
    machine().files().Remove(kProgram);
    EXPECT_EQ(RunDeviceUninstaller(Record(kDualBandId)), 0);
    EXPECT_EQ(machine().clock.Now(), 1000u);
    // Its key was tried: a later call in the run does not try again.
    machine().files().WriteFile(kProgram, "MZ");
    EXPECT_EQ(RunDeviceUninstaller(Record(kDualBandId)), 1);
    EXPECT_TRUE(machine().processes().StartedCommandLines().empty());
}

// ---- the wait ----------------------------------------------------------------------------

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

TEST_F(DeviceRemovalTest, TheWaitKeepsTheThreadsMessagesGoing) {
    Use(WindowsVersion::Win98SE);
    InstallUtility(kFolder, 3500);
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 1000, CountTick);
    EXPECT_EQ(RunAndWait(kProgram, "-u"), 1);
    EXPECT_EQ(g_ticks, 3);
    EXPECT_EQ(machine().clock.Now(), 3500u);
    KillTimer(nullptr, timer);
    EXPECT_EQ(RunAndWait("C:\\Nowhere\\Zovavizu.exe", "-u"), 0);
}

// A WM_QUIT ends the wait at once and is consumed; a timer message taken
// after it in the same pass does not make the wait forget it.
TEST_F(DeviceRemovalTest, AQuitEndsTheWaitEvenWhenATimerMessageFollowsIt) {
    Use(WindowsVersion::Win98SE);
    InstallUtility(kFolder, 10000);
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 1000, CountTick);
    machine().clock.Schedule(1000, [this] { machine().windows().Post(nullptr, {WM_QUIT, 0, 0}); });
    EXPECT_EQ(RunAndWait(kProgram, "-u"), 1);
    EXPECT_EQ(machine().clock.Now(), 1000u);
    EXPECT_EQ(g_ticks, 1);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    KillTimer(nullptr, timer);
}

}  // namespace
