// The Windows XP supplicant mode, reset with the wireless configuration
// service stopped around the write; reached through the uninstall job's
// data-file step on Windows XP only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/supplicant.h"
#include "cleanup/utility.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "tests/support/tool_fixture.h"

namespace {

const char* const kGlobal = "HKLM\\Software\\Microsoft\\EAPOL\\Parameters\\General\\Global";

class SupplicantTest : public ToolTest {
protected:
    void Prepare(sim::WindowsVersion version, std::optional<DWORD> mode, sim::Clock::Millis stopDelay = 0) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(kPciProfile);
        if (mode) machine().registry().SetDword(kGlobal, "SupplicantMode", *mode);
        if (!machine().IsNt()) return;
        sim::ServiceConfig wzc;
        wzc.name = "WZCSVC";
        wzc.displayName = "Wireless Zero Configuration";
        wzc.type = SERVICE_WIN32_SHARE_PROCESS;
        wzc.start = SERVICE_AUTO_START;
        wzc.imagePath = "%SystemRoot%\\System32\\svchost.exe -k netsvcs";
        ASSERT_TRUE(machine().services().AddService(wzc));
        sim::ServiceRunState run;
        run.state = SERVICE_RUNNING;
        run.stopDelay = stopDelay;
        ASSERT_TRUE(machine().services().SetRunState("WZCSVC", run));
    }

    std::vector<std::string> WirelessRequests() {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("service")) {
            if (e.text.find("StartServiceA WZCSVC") == 0 || e.text.find("ControlService WZCSVC") == 0) {
                out.push_back(e.text);
            }
        }
        return out;
    }

    std::optional<DWORD> Mode() { return machine().registry().GetDword(kGlobal, "SupplicantMode"); }

    const std::vector<std::string> kStopThenStart = {"ControlService WZCSVC stop -> ok",
                                                     "StartServiceA WZCSVC -> ok"};
};

TEST_F(SupplicantTest, APresentModeIsZeroAfterwardsWithTheServiceStoppedAndStarted) {
    for (DWORD before : {2u, 3u, 0u}) {
        Prepare(sim::WindowsVersion::WinXP, before);
        EXPECT_TRUE(ResetSupplicantMode());
        const auto value = machine().registry().GetValue(kGlobal, "SupplicantMode");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(Mode(), 0u);
        EXPECT_EQ(WirelessRequests(), kStopThenStart) << before;
        EXPECT_EQ(machine().services().State("WZCSVC"), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
    }
}

TEST_F(SupplicantTest, WithoutTheValueNothingHappensAndTheServiceKeepsRunning) {
    Prepare(sim::WindowsVersion::WinXP, std::nullopt);
    machine().registry().CreateKey(kGlobal);
    const auto before = machine().registry().Snapshot();
    EXPECT_FALSE(ResetSupplicantMode());
    EXPECT_EQ(machine().registry().Snapshot(), before);
    EXPECT_TRUE(WirelessRequests().empty());

    // Without the key at all, and with a value larger than the four bytes
    // offered, the same.
    Prepare(sim::WindowsVersion::WinXP, std::nullopt);
    EXPECT_FALSE(ResetSupplicantMode());
    EXPECT_FALSE(machine().registry().KeyExists(kGlobal));
    machine().registry().SetValue(kGlobal, "SupplicantMode", REG_BINARY, std::string(8, '\x02'));
    EXPECT_FALSE(ResetSupplicantMode());
    EXPECT_EQ(machine().registry().GetValue(kGlobal, "SupplicantMode")->data, std::string(8, '\x02'));
    EXPECT_TRUE(WirelessRequests().empty());
    EXPECT_EQ(machine().services().State("WZCSVC"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SupplicantTest, AStartWhileTheServiceIsStillStoppingIsRefusedAndNotRepeated) {
    Prepare(sim::WindowsVersion::WinXP, 2u, 1500);
    EXPECT_TRUE(ResetSupplicantMode());
    EXPECT_EQ(Mode(), 0u);
    EXPECT_EQ(WirelessRequests(), (std::vector<std::string>{"ControlService WZCSVC stop -> ok",
                                                            "StartServiceA WZCSVC -> error 1056"}));
    Sleep(1500);
    EXPECT_EQ(machine().services().State("WZCSVC"), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(SupplicantTest, AMissingServiceDoesNotStopTheWrite) {
    UseMachine(sim::WindowsVersion::WinXP);
    machine().registry().SetDword(kGlobal, "SupplicantMode", 3);
    EXPECT_TRUE(ResetSupplicantMode());
    EXPECT_EQ(Mode(), 0u);
    EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
}

TEST_F(SupplicantTest, OnlyTheDataFileStepOnWindowsXpTouchesTheMode) {
    // Windows XP resets it even without the utility's folder.
    Prepare(sim::WindowsVersion::WinXP, 2u);
    DeleteUtilityDataFiles();
    EXPECT_EQ(Mode(), 0u);
    EXPECT_EQ(WirelessRequests(), kStopThenStart);

    for (auto version : {sim::WindowsVersion::Win2000, sim::WindowsVersion::NT4, sim::WindowsVersion::Win98SE,
                         sim::WindowsVersion::WinMe}) {
        Prepare(version, 2u);
        const auto before = machine().registry().Snapshot();
        DeleteUtilityDataFiles();
        EXPECT_EQ(machine().registry().Snapshot(), before);
        EXPECT_TRUE(machine().transcript.OfKind("service").empty());
    }
}

}  // namespace
