// ControlServiceState: one request to the service manager, never waited for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "sys/service_control.h"
#include "tests/support/tool_fixture.h"

namespace {

class ServiceControlTest : public ToolTest {
protected:
    void AddService(const std::string& name, DWORD state, sim::Clock::Millis stopDelay = 0,
                    DWORD controls = SERVICE_ACCEPT_STOP) {
        sim::ServiceConfig config;
        config.name = name;
        config.imagePath = "%SystemRoot%\\System32\\svchost.exe -k netsvcs";
        ASSERT_TRUE(machine().services().AddService(config));
        sim::ServiceRunState run;
        run.state = state;
        run.stopDelay = stopDelay;
        run.controlsAccepted = controls;
        ASSERT_TRUE(machine().services().SetRunState(name, run));
    }

    // The requests that reached services (not the opening and closing).
    std::vector<std::string> Requests() {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("service")) {
            if (e.text.rfind("StartServiceA", 0) == 0 || e.text.rfind("ControlService", 0) == 0) out.push_back(e.text);
        }
        return out;
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().services().HeldLockCount(), 0u);
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
    }
};

TEST_F(ServiceControlTest, StopOfAMissingServiceFailsAndLeavesNothingOpen) {
    EXPECT_EQ(ControlServiceState("ZelmSS", ServiceStop, 0, nullptr), 0);
    EXPECT_TRUE(Requests().empty());
    ExpectNothingLeftOpen();
}

TEST_F(ServiceControlTest, StopReturnsAtOnceAndAStartWhileStoppingIsRefusedOnce) {
    AddService("WZCSVC", SERVICE_RUNNING, 3000);
    EXPECT_NE(ControlServiceState("WZCSVC", ServiceStop, 0, nullptr), 0);
    // The request was accepted; the service has not stopped yet.
    EXPECT_EQ(machine().services().State("WZCSVC"), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(machine().clock.Now(), 0u);
    EXPECT_EQ(ControlServiceState("WZCSVC", ServiceStart, 0, nullptr), 0);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"ControlService WZCSVC stop -> ok",
                                                    "StartServiceA WZCSVC -> error 1056"}));
    Sleep(3000);
    EXPECT_EQ(machine().services().State("WZCSVC"), static_cast<DWORD>(SERVICE_STOPPED));
    // Stopping a stopped service is refused as well.
    EXPECT_EQ(ControlServiceState("WZCSVC", ServiceStop, 0, nullptr), 0);
    ExpectNothingLeftOpen();
}

TEST_F(ServiceControlTest, EveryActionReachesTheServiceWithItsArguments) {
    AddService("ZelmSS", SERVICE_STOPPED, 0, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE);
    const char* arguments[] = {"-quiet", "-x"};
    EXPECT_NE(ControlServiceState("zelmss", ServiceStart, 2, arguments), 0);
    EXPECT_NE(ControlServiceState("ZelmSS", ServicePause, 0, nullptr), 0);
    EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_PAUSED));
    EXPECT_NE(ControlServiceState("ZelmSS", ServiceContinue, 0, nullptr), 0);
    EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Requests(), (std::vector<std::string>{"StartServiceA ZelmSS -quiet -x -> ok",
                                                    "ControlService ZelmSS pause -> ok",
                                                    "ControlService ZelmSS continue -> ok"}));
    ExpectNothingLeftOpen();
}

TEST_F(ServiceControlTest, AnUnknownActionSendsNothingAndOpensNothing) {
    AddService("ZelmSS", SERVICE_RUNNING);
    EXPECT_EQ(ControlServiceState("ZelmSS", 4, 0, nullptr), 0);
    EXPECT_EQ(ControlServiceState("ZelmSS", -1, 0, nullptr), 0);
    EXPECT_TRUE(machine().transcript.OfKind("service").empty());
    EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceControlTest, AnOrdinaryUserCannotOpenTheManagerWithFullAccess) {
    AddService("ZelmSS", SERVICE_RUNNING);
    machine().services().caller = sim::Principal::User;
    EXPECT_EQ(ControlServiceState("ZelmSS", ServiceStop, 0, nullptr), 0);
    EXPECT_EQ(machine().services().State("ZelmSS"), static_cast<DWORD>(SERVICE_RUNNING));
    ExpectNothingLeftOpen();
}

TEST_F(ServiceControlTest, Windows98SeAndMeHaveNoServicesToControl) {
    for (auto version : {sim::WindowsVersion::Win98SE, sim::WindowsVersion::WinMe}) {
        UseMachine(version);
        EXPECT_EQ(ControlServiceState("ZelmSS", ServiceStop, 0, nullptr), 0);
        EXPECT_EQ(ControlServiceState("ZelmSS", ServiceStart, 0, nullptr), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    }
}

}  // namespace
