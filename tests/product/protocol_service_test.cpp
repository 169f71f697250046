// The W32NDIS5 protocol driver service: created as an automatic-start kernel
// driver, forced to automatic start, its image path repaired only when its
// file is missing, its access list closed to changes by ordinary users; the
// database lock waited for, but not for ever.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/job_steps.h"
#include "app/setup_app.h"
#include "app/windows_kind.h"
#include "driver/protocol_service.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::Principal;

const std::string kKey = std::string(sim::ServiceManager::kServicesKey) + "\\W32NDIS5";

class ProtocolServiceTest : public ToolTest {
protected:
    void Prepare(sim::WindowsVersion version) {
        UseMachine(version);
        InitWindowsKind();
    }

    std::string DriverFile() { return machine().WindowsDir() + "\\system32\\W32NDIS5.sys"; }

    // An existing service as an earlier install left it.
    void AddProtocolService(DWORD start, const std::string& imagePath) {
        sim::ServiceConfig config;
        config.name = "W32NDIS5";
        config.displayName = "W32NDIS5 Protocol Driver";
        config.type = SERVICE_KERNEL_DRIVER;
        config.start = start;
        config.imagePath = imagePath;
        config.group = "PNP_TDI";
        ASSERT_TRUE(machine().services().AddService(config));
    }

    std::vector<std::string> Requests(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("service")) {
            if (e.text.rfind(prefix, 0) == 0) out.push_back(e.text);
        }
        return out;
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().services().HeldLockCount(), 0u);
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
    }

    // Every user may control the service; only administrators and the
    // system may change it.
    void ExpectControllableButProtected() {
        sim::ServiceManager& svc = machine().services();
        for (ACCESS_MASK right : std::vector<ACCESS_MASK>{SERVICE_QUERY_CONFIG, SERVICE_QUERY_STATUS, SERVICE_START,
                                                          SERVICE_STOP, SERVICE_INTERROGATE}) {
            EXPECT_TRUE(svc.MayAccess("W32NDIS5", Principal::User, right)) << right;
        }
        for (ACCESS_MASK right :
             std::vector<ACCESS_MASK>{SERVICE_CHANGE_CONFIG, WRITE_DAC, WRITE_OWNER, DELETE, GENERIC_WRITE}) {
            EXPECT_FALSE(svc.MayAccess("W32NDIS5", Principal::User, right)) << right;
            EXPECT_TRUE(svc.MayAccess("W32NDIS5", Principal::Administrator, right)) << right;
            EXPECT_TRUE(svc.MayAccess("W32NDIS5", Principal::LocalSystem, right)) << right;
        }
    }
};

TEST_F(ProtocolServiceTest, AMissingServiceIsCreatedAsSpecified) {
    for (auto version : {sim::WindowsVersion::Win2000, sim::WindowsVersion::WinXP}) {
        Prepare(version);
        machine().files().WriteFile(DriverFile(), "driver");
        SetupProtocolDriver();

        const std::string path = machine().WindowsDir() + "\\system32\\W32NDIS5.sys";
        EXPECT_EQ(Requests("CreateServiceA"),
                  std::vector<std::string>{"CreateServiceA W32NDIS5 binary " + path + " stored \\??\\" + path +
                                           " -> ok"});
        const auto config = machine().services().Config("W32NDIS5");
        ASSERT_TRUE(config);
        EXPECT_EQ(config->type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
        EXPECT_EQ(config->start, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(config->errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
        EXPECT_EQ(config->group, "PNP_TDI");
        EXPECT_EQ(config->displayName, "W32NDIS5 Protocol Driver");
        EXPECT_TRUE(config->dependencies.empty());
        EXPECT_TRUE(config->objectName.empty());
        // The file exists, so the path Windows stored stays as it is.
        EXPECT_EQ(machine().registry().GetValue(kKey, "ImagePath")->type, static_cast<DWORD>(REG_EXPAND_SZ));
        // Created, not started.
        EXPECT_EQ(machine().services().State("W32NDIS5"), static_cast<DWORD>(SERVICE_STOPPED));
        ExpectControllableButProtected();
        // The creation happened under the database lock.
        const auto all = machine().transcript.OfKind("service");
        std::vector<std::string> order;
        for (const auto& e : all) {
            if (e.text.rfind("LockServiceDatabase", 0) == 0 || e.text.rfind("CreateServiceA", 0) == 0 ||
                e.text.rfind("UnlockServiceDatabase", 0) == 0) {
                order.push_back(e.text.substr(0, e.text.find(' ')));
            }
        }
        EXPECT_EQ(order, (std::vector<std::string>{"LockServiceDatabase", "CreateServiceA", "UnlockServiceDatabase"}));
        ExpectNothingLeftOpen();
    }
}

TEST_F(ProtocolServiceTest, ADemandStartServiceIsForcedToAutomaticStartInItsKey) {
    Prepare(sim::WindowsVersion::WinXP);
    machine().files().WriteFile(DriverFile(), "driver");
    AddProtocolService(SERVICE_DEMAND_START, "\\??\\" + DriverFile());
    SetupProtocolDriver();
    EXPECT_EQ(machine().registry().GetDword(kKey, "Start"), 2u);
    EXPECT_TRUE(Requests("CreateServiceA").empty());
    // The key keeps its own access list: an open one would let any user
    // point the service at a driver of their own.
    EXPECT_EQ(machine().registry().GetKeyAccess(kKey), sim::KeyAccess::Default);
    ExpectNothingLeftOpen();

    // Already automatic: the start type is left alone.
    Prepare(sim::WindowsVersion::WinXP);
    machine().files().WriteFile(DriverFile(), "driver");
    AddProtocolService(SERVICE_AUTO_START, "\\??\\" + DriverFile());
    machine().registry().SetValue(kKey, "Start", REG_BINARY, std::string("\x02\0\0\0", 4));
    EnsureProtocolService();
    EXPECT_EQ(machine().registry().GetValue(kKey, "Start")->type, static_cast<DWORD>(REG_BINARY));
}

TEST_F(ProtocolServiceTest, AConfigurationThatCannotBeQueriedKeepsItsStartType) {
    Prepare(sim::WindowsVersion::Win2000);
    AddProtocolService(SERVICE_DEMAND_START, "\\??\\" + DriverFile());
    // More than the 1024 bytes the step offers.
    machine().registry().SetString(kKey, "DisplayName", std::string(1100, 'd'));
    EnsureProtocolService();
    EXPECT_EQ(machine().registry().GetDword(kKey, "Start"), 3u);
    ExpectNothingLeftOpen();
}

TEST_F(ProtocolServiceTest, TheImagePathIsRepairedOnlyWhenItsFileIsMissing) {
    struct Case {
        std::string imagePath;
        bool fileThere;
        bool repaired;
    };
    Prepare(sim::WindowsVersion::Win2000);
    const std::string prefixed = "\\??\\" + DriverFile();
    const std::vector<Case> cases = {
        {prefixed, true, false},
        {prefixed, false, true},
        {"\\??\\D:\\OLDWIN\\system32\\W32NDIS5.sys", false, true},
        {"C:\\Drivers\\W32NDIS5.sys", true, false},  // an existing file without the prefix
        {"System32\\DRIVERS\\W32NDIS5.sys", true, false},
        {"\\SystemRoot\\System32\\DRIVERS\\W32NDIS5.sys", true, false},
        {"System32\\DRIVERS\\W32NDIS5.sys", false, true},
    };
    for (const Case& c : cases) {
        Prepare(sim::WindowsVersion::Win2000);
        AddProtocolService(SERVICE_AUTO_START, c.imagePath);
        if (c.fileThere) {
            std::string file = c.imagePath;
            if (file.rfind("\\??\\", 0) == 0) file = file.substr(4);
            if (file.rfind("\\SystemRoot\\", 0) == 0) file = file.substr(12);
            if (file[1] != ':') file = machine().WindowsDir() + "\\" + file;
            machine().files().WriteFile(file, "driver");
        }
        SetupProtocolDriver();
        const auto value = machine().registry().GetValue(kKey, "ImagePath");
        ASSERT_TRUE(value);
        if (c.repaired) {
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << c.imagePath;
            EXPECT_EQ(value->data, std::string("\\??\\C:\\WINNT\\system32\\W32NDIS5.sys") + '\0') << c.imagePath;
        } else {
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_EXPAND_SZ)) << c.imagePath;
            EXPECT_EQ(machine().registry().GetString(kKey, "ImagePath"), c.imagePath);
        }
        ExpectNothingLeftOpen();
    }
}

TEST_F(ProtocolServiceTest, AnOpenAccessListIsClosedToChangesByOrdinaryUsers) {
    Prepare(sim::WindowsVersion::WinXP);
    machine().files().WriteFile(DriverFile(), "driver");
    AddProtocolService(SERVICE_AUTO_START, "\\??\\" + DriverFile());
    sim::SecurityDescriptor open;
    open.dacl = sim::SecurityDescriptor::Dacl::Null;
    machine().services().SetSecurity("W32NDIS5", open);
    EXPECT_TRUE(machine().services().MayAccess("W32NDIS5", Principal::User, SERVICE_CHANGE_CONFIG));
    SetupProtocolDriver();
    ExpectControllableButProtected();
    EXPECT_EQ(Requests("SetServiceObjectSecurity"),
              std::vector<std::string>{"SetServiceObjectSecurity W32NDIS5 dacl -> ok"});
    // Only the list was replaced; the owner stays.
    EXPECT_EQ(machine().services().Security("W32NDIS5").owner, "");

    // The list is applied again on every run, with the same result.
    SetupProtocolDriver();
    ExpectControllableButProtected();
    ExpectNothingLeftOpen();
}

TEST_F(ProtocolServiceTest, Windows9xChangesNothingAtAll) {
    for (auto version : {sim::WindowsVersion::Win98SE, sim::WindowsVersion::WinMe}) {
        Prepare(version);
        machine().registry().SetDword(kKey, "Start", 3);  // the 9x registry has the key layout too
        machine().registry().SetDword(kKey, "Type", 1);
        machine().registry().SetString(kKey, "ImagePath", "\\??\\C:\\WINDOWS\\SYSTEM\\W32NDIS5.sys");
        const auto registry = machine().registry().Snapshot();
        const auto files = machine().files().Snapshot();
        SetupProtocolDriver();
        EXPECT_EQ(machine().registry().Snapshot(), registry);
        EXPECT_EQ(machine().files().Snapshot().entries, files.entries);
        EXPECT_EQ(Requests(""), std::vector<std::string>{"OpenSCManagerA -> error 120"});
        EXPECT_EQ(machine().clock.Now(), 0u);
    }
}

TEST_F(ProtocolServiceTest, WindowsNt4CreatesOrForcesButLeavesPathAndAccessAlone) {
    Prepare(sim::WindowsVersion::NT4);
    SetupProtocolDriver();
    ASSERT_TRUE(machine().services().Exists("W32NDIS5"));
    EXPECT_EQ(machine().registry().GetString(kKey, "ImagePath"), "\\??\\C:\\WINNT\\system32\\W32NDIS5.sys");
    EXPECT_EQ(machine().services().Security("W32NDIS5"), sim::ServiceManager::DefaultSecurity());

    Prepare(sim::WindowsVersion::NT4);
    AddProtocolService(SERVICE_DISABLED, "\\??\\D:\\OLDWIN\\system32\\W32NDIS5.sys");
    SetupProtocolDriver();
    EXPECT_EQ(machine().registry().GetDword(kKey, "Start"), 2u);
    EXPECT_EQ(machine().registry().GetString(kKey, "ImagePath"), "\\??\\D:\\OLDWIN\\system32\\W32NDIS5.sys");
    EXPECT_TRUE(Requests("SetServiceObjectSecurity").empty());
    ExpectNothingLeftOpen();
}

TEST_F(ProtocolServiceTest, TheLockIsWaitedForUpToThirtySeconds) {
    // Freed at 30 s: the last try gets it.
    Prepare(sim::WindowsVersion::WinXP);
    machine().services().HoldLockElsewhereUntil(30000);
    SetupProtocolDriver();
    EXPECT_TRUE(machine().services().Exists("W32NDIS5"));
    EXPECT_EQ(machine().clock.Now(), 30000u);
    EXPECT_EQ(Requests("LockServiceDatabase").size(), 301u);  // every 100 ms from 0 to 30 s
    ExpectNothingLeftOpen();

    // Held a moment longer: the step gives up and changes nothing at all,
    // neither the service nor its path nor its access list.
    Prepare(sim::WindowsVersion::WinXP);
    AddProtocolService(SERVICE_DEMAND_START, "\\??\\D:\\OLDWIN\\system32\\W32NDIS5.sys");
    machine().services().HoldLockElsewhereUntil(30001);
    const auto registry = machine().registry().Snapshot();
    SetupProtocolDriver();
    EXPECT_EQ(machine().registry().Snapshot(), registry);
    EXPECT_EQ(machine().clock.Now(), 30000u);
    EXPECT_TRUE(Requests("OpenServiceA").empty());
    ExpectNothingLeftOpen();
}

TEST_F(ProtocolServiceTest, AnOrdinaryUserChangesNothing) {
    Prepare(sim::WindowsVersion::WinXP);
    AddProtocolService(SERVICE_DEMAND_START, "\\??\\D:\\OLDWIN\\system32\\W32NDIS5.sys");
    machine().services().caller = Principal::User;
    machine().registry().SetKeyAccess(kKey, sim::KeyAccess::DenyFullAccess);
    const auto registry = machine().registry().Snapshot();
    SetupProtocolDriver();
    EXPECT_EQ(machine().registry().Snapshot(), registry);
    ExpectNothingLeftOpen();
}

// What the install dialog found when the run reached it.
bool g_dialogShown = false;
bool g_serviceAtDialog = false;

INT_PTR NoteServiceAtDialog(CDialog&) {
    g_dialogShown = true;
    g_serviceAtDialog = sim::Current().services().Exists("W32NDIS5");
    return IDCANCEL;
}

TEST_F(ProtocolServiceTest, TheInstallRunSetsUpTheServiceBeforeItsDialogAndGoesOnPastALock) {
    JobSteps steps = DefaultJobSteps();
    steps.ShowDialog = NoteServiceAtDialog;

    Prepare(sim::WindowsVersion::WinXP);
    machine().files().WriteFile(DriverFile(), "driver");
    g_dialogShown = g_serviceAtDialog = false;
    theApp.UseSteps(steps);
    RunTool("-install");
    EXPECT_TRUE(g_dialogShown);
    EXPECT_TRUE(g_serviceAtDialog);
    ExpectControllableButProtected();
    ExpectNothingLeftOpen();

    // Locked for good by another program: the job still reaches its dialog,
    // 30 seconds later and without the service.
    Prepare(sim::WindowsVersion::WinXP);
    machine().services().HoldLockElsewhereUntil(~sim::Clock::Millis{0});
    g_dialogShown = g_serviceAtDialog = false;
    theApp.UseSteps(steps);
    RunTool("-install");
    EXPECT_TRUE(g_dialogShown);
    EXPECT_FALSE(g_serviceAtDialog);
    EXPECT_EQ(machine().clock.Now(), 30000u);
    ExpectNothingLeftOpen();
    theApp.UseSteps(DefaultJobSteps());
}

}  // namespace
