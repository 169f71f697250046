// The emulated service control manager: services kept in their registry
// keys, the run states on the virtual clock, the database lock and the
// access lists, with Windows' error codes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"

namespace {

using sim::Principal;
using sim::SecurityDescriptor;
using sim::ServiceManager;

const std::string kKey = std::string(ServiceManager::kServicesKey) + "\\";

struct Fixture {
    explicit Fixture(sim::WindowsVersion version = sim::WindowsVersion::WinXP) : machine(version), scope(machine) {}
    ServiceManager& svc() { return machine.services(); }
    sim::Registry& reg() { return machine.registry(); }

    // A Win32 service as a scenario puts it on the machine.
    void AddWin32(const std::string& name, DWORD state = SERVICE_STOPPED, sim::Clock::Millis stopDelay = 0) {
        sim::ServiceConfig c;
        c.name = name;
        c.imagePath = "%SystemRoot%\\System32\\svchost.exe -k netsvcs";
        c.objectName = "LocalSystem";
        ASSERT_TRUE(svc().AddService(c));
        sim::ServiceRunState run;
        run.state = state;
        run.stopDelay = stopDelay;
        ASSERT_TRUE(svc().SetRunState(name, run));
    }

    SC_HANDLE Manager(DWORD access = SC_MANAGER_ALL_ACCESS) {
        SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, access);
        EXPECT_NE(m, nullptr);
        return m;
    }

    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const auto& e : machine.transcript.OfKind("service")) out.push_back(e.text);
        return out;
    }

    sim::Machine machine;
    sim::MachineScope scope;
};

// ---- the manager ------------------------------------------------------------------

TEST(ServiceManager, Windows9xHasNoManagerAndEveryFunctionIsAStub) {
    for (auto version : {sim::WindowsVersion::Win98SE, sim::WindowsVersion::WinMe}) {
        Fixture f(version);
        SetLastError(0);
        EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        SetLastError(0);
        EXPECT_EQ(LockServiceDatabase(reinterpret_cast<SC_HANDLE>(0x1000)), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_FALSE(CloseServiceHandle(reinterpret_cast<SC_HANDLE>(0x1000)));
        EXPECT_EQ(f.Requests(), (std::vector<std::string>{"OpenSCManagerA -> error 120",
                                                          "LockServiceDatabase -> error 120",
                                                          "CloseServiceHandle -> error 120"}));
        // The registry keeps the same layout, but nothing reads it as services.
        EXPECT_FALSE(f.svc().Available());
    }
}

TEST(ServiceManager, OpenChecksDatabaseMachineAndTheCallersRights) {
    Fixture f;
    SC_HANDLE m = f.Manager();
    EXPECT_TRUE(CloseServiceHandle(m));

    EXPECT_EQ(OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
    EXPECT_EQ(OpenSCManagerA(nullptr, "Services", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(OpenSCManagerA("\\\\ELSEWHERE", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    m = OpenSCManagerA("", "servicesactive", SC_MANAGER_CONNECT);
    EXPECT_NE(m, nullptr);
    CloseServiceHandle(m);

    // An ordinary user may connect and enumerate but not create or lock.
    f.svc().caller = Principal::User;
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    m = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(LockServiceDatabase(m), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(m);
    EXPECT_EQ(f.svc().OpenHandleCount(), 0u);
}

TEST(ServiceManager, HandlesAreCountedAndCloseOnlyOnce) {
    Fixture f;
    f.AddWin32("Alpha");
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "alpha", SERVICE_QUERY_STATUS);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(f.svc().OpenHandleCount(), 2u);
    EXPECT_TRUE(CloseServiceHandle(s));
    EXPECT_FALSE(CloseServiceHandle(s));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    // A service handle is not a manager handle.
    s = OpenServiceA(m, "Alpha", SERVICE_QUERY_STATUS);
    EXPECT_EQ(OpenServiceA(s, "Alpha", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseServiceHandle(s);
    CloseServiceHandle(m);
    EXPECT_EQ(f.svc().OpenHandleCount(), 0u);
}

// ---- services and their keys ---------------------------------------------------------

TEST(ServiceManager, OpenFindsOnlyKeysThatAreServices) {
    Fixture f;
    f.AddWin32("Alpha");
    f.reg().SetDword(kKey + "NotAService", "Start", 3);  // no "Type"
    SC_HANDLE m = f.Manager();
    EXPECT_EQ(OpenServiceA(m, "NotAService", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(OpenServiceA(m, "Missing", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(OpenServiceA(m, "Alpha\\Security", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(OpenServiceA(m, "", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(OpenServiceA(m, nullptr, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_EQ(f.svc().Names(), std::vector<std::string>{"Alpha"});
    CloseServiceHandle(m);
}

TEST(ServiceManager, CreateWritesTheKeyAsWindowsDoes) {
    Fixture f(sim::WindowsVersion::Win2000);
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = CreateServiceA(m, "W32NDIS5", "W32NDIS5 Protocol Driver", GENERIC_EXECUTE, SERVICE_KERNEL_DRIVER,
                                 SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "C:\\WINNT\\system32\\W32NDIS5.sys",
                                 "PNP_TDI", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(s, nullptr);
    const std::string key = kKey + "W32NDIS5";
    EXPECT_EQ(f.reg().GetDword(key, "Type"), 1u);
    EXPECT_EQ(f.reg().GetDword(key, "Start"), 2u);
    EXPECT_EQ(f.reg().GetDword(key, "ErrorControl"), 1u);
    // A driver's DOS path is stored as an NT path, as an expandable string.
    const auto image = f.reg().GetValue(key, "ImagePath");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(f.reg().GetString(key, "ImagePath"), "\\??\\C:\\WINNT\\system32\\W32NDIS5.sys");
    EXPECT_EQ(f.reg().GetString(key, "Group"), "PNP_TDI");
    EXPECT_EQ(f.reg().GetString(key, "DisplayName"), "W32NDIS5 Protocol Driver");
    EXPECT_FALSE(f.reg().GetValue(key, "ObjectName"));
    EXPECT_TRUE(f.reg().GetValue(key + "\\Security", "Security"));
    EXPECT_EQ(f.svc().Security("W32NDIS5"), ServiceManager::DefaultSecurity());
    // The handle has what GENERIC_EXECUTE maps to, and no more.
    f.machine.files().WriteFile("C:\\WINNT\\system32\\W32NDIS5.sys", "driver");
    EXPECT_TRUE(StartServiceA(s, 0, nullptr));
    SERVICE_STATUS status;
    EXPECT_FALSE(QueryServiceStatus(s, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(s);

    // Relative driver paths and Win32 paths stay as given; a Win32 service
    // without an account runs as LocalSystem.
    s = CreateServiceA(m, "Rel", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                       SERVICE_ERROR_IGNORE, "System32\\DRIVERS\\rel.sys", nullptr, nullptr, nullptr, nullptr,
                       nullptr);
    CloseServiceHandle(s);
    EXPECT_EQ(f.reg().GetString(kKey + "Rel", "ImagePath"), "System32\\DRIVERS\\rel.sys");
    s = CreateServiceA(m, "App", "The App", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                       SERVICE_ERROR_NORMAL, "C:\\App\\app.exe -service", "", nullptr, "Rel\0+PNP_TDI\0", nullptr,
                       nullptr);
    CloseServiceHandle(s);
    EXPECT_EQ(f.reg().GetString(kKey + "App", "ImagePath"), "C:\\App\\app.exe -service");
    EXPECT_EQ(f.reg().GetString(kKey + "App", "ObjectName"), "LocalSystem");
    EXPECT_FALSE(f.reg().GetValue(kKey + "App", "Group"));
    EXPECT_EQ(f.reg().GetMultiString(kKey + "App", "DependOnService"), std::vector<std::string>{"Rel"});
    EXPECT_EQ(f.reg().GetMultiString(kKey + "App", "DependOnGroup"), std::vector<std::string>{"PNP_TDI"});
    CloseServiceHandle(m);
}

TEST(ServiceManager, CreateRefusesWhatWindowsRefuses) {
    Fixture f;
    f.AddWin32("Alpha");
    f.reg().SetString(kKey + "Alpha", "DisplayName", "Alpha Service");
    SC_HANDLE m = f.Manager();
    auto create = [&](const char* name, const char* display, DWORD type, DWORD start, DWORD error,
                      const char* path, LPDWORD tag = nullptr) {
        SetLastError(0);
        SC_HANDLE s = CreateServiceA(m, name, display, SERVICE_ALL_ACCESS, type, start, error, path, nullptr, tag,
                                     nullptr, nullptr, nullptr);
        if (s) CloseServiceHandle(s);
        return s ? ERROR_SUCCESS : GetLastError();
    };
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    EXPECT_EQ(create("ALPHA", nullptr, own, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(create("Beta", "alpha service", own, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_EQ(create("Alpha Service", nullptr, own, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_EQ(create("A/B", nullptr, own, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(create(std::string(257, 'n').c_str(), nullptr, own, 3, 1, "x.exe"),
              static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(create("Beta", nullptr, 0x40, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(create("Beta", nullptr, own, SERVICE_BOOT_START, 1, "x.exe"),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(create("Beta", nullptr, own, 5, 1, "x.exe"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(create("Beta", nullptr, own, 3, 4, "x.exe"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(create("Beta", nullptr, own, 3, 1, ""), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD tag = 0;
    EXPECT_EQ(create("Beta", nullptr, own, 3, 1, "x.exe", &tag), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(create("Beta", nullptr, SERVICE_KERNEL_DRIVER | SERVICE_INTERACTIVE_PROCESS, 3, 1, "x.sys"),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(f.svc().Exists("Beta"));
    CloseServiceHandle(m);

    m = f.Manager(SC_MANAGER_CONNECT);
    EXPECT_EQ(create("Beta", nullptr, own, 3, 1, "x.exe"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(m);
}

TEST(ServiceManager, QueryConfigFollowsWindowsSizeRules) {
    Fixture f;
    sim::ServiceConfig c;
    c.name = "Drv";
    c.type = SERVICE_KERNEL_DRIVER;
    c.start = SERVICE_DEMAND_START;
    c.imagePath = "\\??\\C:\\WINDOWS\\system32\\drv.sys";
    c.group = "PNP_TDI";
    c.displayName = "Driver";
    ASSERT_TRUE(f.svc().AddService(c));
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "Drv", SERVICE_QUERY_CONFIG);

    // The strings follow the structure, each with its NUL; no dependencies
    // make an empty list of two NULs; a driver without an object name has
    // the empty text.
    const DWORD expected = sizeof(QUERY_SERVICE_CONFIGA) + (c.imagePath.size() + 1) + (c.group.size() + 1) + 2 + 1 +
                           (c.displayName.size() + 1);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(s, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, expected);

    std::vector<BYTE> buffer(expected + 16, 0xAB);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(s, config, expected - 1, &needed));
    EXPECT_EQ(needed, expected);
    EXPECT_EQ(buffer[0], 0xAB);  // nothing written

    needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(s, config, expected, &needed));
    EXPECT_EQ(needed, expected);  // reported on success too
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(config->lpBinaryPathName, reinterpret_cast<char*>(config + 1));
    EXPECT_STREQ(config->lpBinaryPathName, c.imagePath.c_str());
    EXPECT_EQ(config->lpLoadOrderGroup, config->lpBinaryPathName + c.imagePath.size() + 1);
    EXPECT_STREQ(config->lpLoadOrderGroup, "PNP_TDI");
    EXPECT_EQ(config->lpDependencies, config->lpLoadOrderGroup + 8);
    EXPECT_EQ(config->lpDependencies[0], '\0');
    EXPECT_STREQ(config->lpServiceStartName, "");
    EXPECT_STREQ(config->lpDisplayName, "Driver");
    EXPECT_EQ(buffer[expected], 0xAB);

    // A change made through the registry is what the next query reports.
    f.reg().SetDword(kKey + "Drv", "Start", SERVICE_AUTO_START);
    ASSERT_TRUE(QueryServiceConfigA(s, config, expected, &needed));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));

    // The interface bounds the buffer to 8 KB: a configuration that needs
    // more cannot be had, however large the buffer offered.
    f.reg().SetString(kKey + "Drv", "ImagePath", std::string(9000, 'p'), REG_EXPAND_SZ);
    std::vector<BYTE> big(16384);
    EXPECT_FALSE(QueryServiceConfigA(s, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(big.data()), 16384, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GT(needed, 9000u);
    CloseServiceHandle(s);

    s = OpenServiceA(m, "Drv", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(QueryServiceConfigA(s, config, expected, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(s);
    CloseServiceHandle(m);
}

// ---- run states ------------------------------------------------------------------------

TEST(ServiceManager, AStopTakesItsTimeAndAStartMeanwhileIsRefused) {
    Fixture f;
    f.AddWin32("WZCSVC", SERVICE_RUNNING, 1500);
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "WZCSVC", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(status.dwWaitHint, 1500u);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    std::memset(&status, 0, sizeof status);
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));  // filled on this error

    Sleep(1499);
    EXPECT_EQ(f.svc().State("WZCSVC"), static_cast<DWORD>(SERVICE_STOP_PENDING));
    Sleep(1);
    EXPECT_EQ(f.svc().State("WZCSVC"), static_cast<DWORD>(SERVICE_STOPPED));
    std::memset(&status, 0, sizeof status);
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);  // it ran before
    EXPECT_TRUE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(f.svc().State("WZCSVC"), static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(s);
    CloseServiceHandle(m);

    EXPECT_EQ(f.Requests(), (std::vector<std::string>{
                                "OpenSCManagerA access 0xF003F -> ok",
                                "OpenServiceA WZCSVC access 0xF01FF -> ok",
                                "ControlService WZCSVC stop -> ok",
                                "StartServiceA WZCSVC -> error 1056",
                                "ControlService WZCSVC stop -> error 1061",
                                "ControlService WZCSVC stop -> error 1062",
                                "StartServiceA WZCSVC -> ok",
                                "CloseServiceHandle WZCSVC -> ok",
                                "CloseServiceHandle manager -> ok",
                            }));
}

TEST(ServiceManager, ControlsAreCheckedAgainstCodeRightsAndWhatTheServiceAccepts) {
    Fixture f(sim::WindowsVersion::NT4);
    f.AddWin32("App", SERVICE_RUNNING);
    f.AddWin32("Client", SERVICE_RUNNING);
    f.reg().SetMultiString(kKey + "Client", "DependOnService", {"App"});
    sim::ServiceConfig d;
    d.name = "Drv";
    d.type = SERVICE_KERNEL_DRIVER;
    d.imagePath = "system32\\drivers\\drv.sys";
    f.svc().AddService(d);
    sim::ServiceRunState run;
    run.state = SERVICE_RUNNING;
    run.controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    f.svc().SetRunState("Drv", run);

    SC_HANDLE m = f.Manager();
    SC_HANDLE app = OpenServiceA(m, "App", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status;
    auto control = [&](SC_HANDLE s, DWORD code) {
        SetLastError(0);
        return ControlService(s, code, &status) ? ERROR_SUCCESS : GetLastError();
    };
    EXPECT_EQ(control(app, SERVICE_CONTROL_SHUTDOWN), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(control(app, SERVICE_CONTROL_PARAMCHANGE), static_cast<DWORD>(ERROR_INVALID_PARAMETER));  // NT 4.0
    EXPECT_EQ(control(app, 300), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(control(app, SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
    EXPECT_EQ(control(app, SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(app, 200), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(app, SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_DEPENDENT_SERVICES_RUNNING));
    EXPECT_EQ(f.svc().State("App"), static_cast<DWORD>(SERVICE_RUNNING));

    SC_HANDLE drv = OpenServiceA(m, "Drv", SERVICE_ALL_ACCESS);
    EXPECT_EQ(control(drv, SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
    EXPECT_EQ(control(drv, SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

    SC_HANDLE readOnly = OpenServiceA(m, "Client", GENERIC_READ);
    EXPECT_EQ(control(readOnly, SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(control(readOnly, SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(StartServiceA(readOnly, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    for (SC_HANDLE h : {app, drv, readOnly, m}) CloseServiceHandle(h);
}

TEST(ServiceManager, StartsAreRefusedForDisabledLockedAndFailingServices) {
    Fixture f;
    f.AddWin32("App");
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "App", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceStatus(s, &status));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED));

    f.reg().SetDword(kKey + "App", "Start", SERVICE_DISABLED);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
    f.reg().SetDword(kKey + "App", "Start", SERVICE_DEMAND_START);

    SC_LOCK lock = LockServiceDatabase(m);
    ASSERT_NE(lock, nullptr);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED));
    EXPECT_TRUE(UnlockServiceDatabase(lock));

    sim::ServiceRunState run;
    run.startError = ERROR_SERVICE_LOGON_FAILED;
    f.svc().SetRunState("App", run);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_LOGON_FAILED));

    run.startError = 0;
    run.startDelay = 800;
    f.svc().SetRunState("App", run);
    const char* args[] = {"-a", "-b"};
    ASSERT_TRUE(StartServiceA(s, 2, args));
    EXPECT_EQ(f.svc().State("App"), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    Sleep(800);
    EXPECT_EQ(f.svc().State("App"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(f.machine.transcript.OfKind("service").at(8).text, "StartServiceA App -a -b -> ok");
    CloseServiceHandle(s);
    CloseServiceHandle(m);
}

TEST(ServiceManager, ADriverStartsOnlyFromAnImageFileOnTheDrive) {
    Fixture f(sim::WindowsVersion::Win2000);
    auto driver = [&](const std::string& name, const std::string& imagePath) {
        sim::ServiceConfig c;
        c.name = name;
        c.type = SERVICE_KERNEL_DRIVER;
        c.imagePath = imagePath;
        EXPECT_TRUE(f.svc().AddService(c));
    };
    driver("Dos", "\\??\\C:\\Drivers\\dos.sys");
    driver("Rel", "System32\\drivers\\rel.sys");
    driver("Root", "\\SystemRoot\\System32\\drivers\\root.sys");
    driver("Bare", "");
    driver("Gone", "\\??\\C:\\Nowhere\\gone.sys");
    f.machine.files().CreateFolder("C:\\Drivers");
    SC_HANDLE m = f.Manager();
    auto start = [&](const char* name) {
        SC_HANDLE s = OpenServiceA(m, name, SERVICE_ALL_ACCESS);
        SetLastError(0);
        const DWORD result = StartServiceA(s, 0, nullptr) ? ERROR_SUCCESS : GetLastError();
        CloseServiceHandle(s);
        return result;
    };
    for (const char* name : {"Dos", "Rel", "Root", "Bare"}) {
        EXPECT_EQ(start(name), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
        EXPECT_EQ(f.svc().State(name), static_cast<DWORD>(SERVICE_STOPPED)) << name;
    }
    EXPECT_EQ(start("Gone"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "its folder is missing too";

    f.machine.files().WriteFile("C:\\Drivers\\dos.sys", "driver");
    f.machine.files().WriteFile("C:\\WINNT\\system32\\drivers\\rel.sys", "driver");
    f.machine.files().WriteFile("C:\\WINNT\\system32\\drivers\\root.sys", "driver");
    f.machine.files().WriteFile("C:\\WINNT\\system32\\drivers\\Bare.sys", "driver");
    for (const char* name : {"Dos", "Rel", "Root", "Bare"}) {
        EXPECT_EQ(start(name), static_cast<DWORD>(ERROR_SUCCESS)) << name;
        EXPECT_EQ(f.svc().State(name), static_cast<DWORD>(SERVICE_RUNNING)) << name;
    }
    CloseServiceHandle(m);
    EXPECT_EQ(f.svc().OpenHandleCount(), 0u);
}

TEST(ServiceManager, TheDatabaseLockIsHeldByOneAtATime) {
    Fixture f;
    SC_HANDLE m = f.Manager();
    f.svc().HoldLockElsewhereUntil(5000);
    EXPECT_EQ(LockServiceDatabase(m), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED));
    Sleep(4999);
    EXPECT_EQ(LockServiceDatabase(m), nullptr);
    Sleep(1);
    SC_LOCK lock = LockServiceDatabase(m);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(f.svc().HeldLockCount(), 1u);
    EXPECT_EQ(LockServiceDatabase(m), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED));
    EXPECT_TRUE(UnlockServiceDatabase(lock));
    EXPECT_FALSE(UnlockServiceDatabase(lock));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_LOCK));
    EXPECT_EQ(f.svc().HeldLockCount(), 0u);
    CloseServiceHandle(m);
}

TEST(ServiceManager, DeletedServiceGoesWithItsLastHandle) {
    Fixture f;
    f.AddWin32("Old");
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "Old", DELETE);
    SC_HANDLE other = OpenServiceA(m, "Old", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(DeleteService(other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(DeleteService(s));
    EXPECT_FALSE(DeleteService(s));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(f.reg().GetDword(kKey + "Old", "DeleteFlag"), 1u);
    EXPECT_EQ(CreateServiceA(m, "Old", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, 3, 1, "x.exe", nullptr,
                             nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    CloseServiceHandle(s);
    EXPECT_TRUE(f.reg().KeyExists(kKey + "Old"));
    CloseServiceHandle(other);
    EXPECT_FALSE(f.reg().KeyExists(kKey + "Old"));
    CloseServiceHandle(m);
}

TEST(ServiceManager, RequestsFailOnDemandForTheServiceAskedForAndChangeNothing) {
    Fixture f;
    f.AddWin32("App");
    f.AddWin32("Other", SERVICE_RUNNING);
    // Objects are service names, letter case ignored.
    f.machine.faults.Add({"OpenServiceA", "app", ERROR_ACCESS_DENIED, true});
    f.machine.faults.Add({"StartServiceA", "APP", ERROR_SERVICE_REQUEST_TIMEOUT, true});
    f.machine.faults.Add({"ControlService", "Other", ERROR_SERVICE_CANNOT_ACCEPT_CTRL, false});
    SC_HANDLE m = f.Manager();
    EXPECT_EQ(OpenServiceA(m, "App", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(f.svc().OpenHandleCount(), 1u);
    SC_HANDLE app = OpenServiceA(m, "App", SERVICE_ALL_ACCESS);
    SC_HANDLE other = OpenServiceA(m, "Other", SERVICE_ALL_ACCESS);
    ASSERT_NE(app, nullptr);
    ASSERT_NE(other, nullptr);

    EXPECT_FALSE(StartServiceA(app, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(f.svc().State("App"), static_cast<DWORD>(SERVICE_STOPPED));
    SERVICE_STATUS status;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::memset(&status, 0xAB, sizeof status);
        EXPECT_FALSE(ControlService(other, SERVICE_CONTROL_STOP, &status)) << attempt;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
        EXPECT_EQ(status.dwCurrentState, 0xABABABABu) << "nothing reported";
    }
    EXPECT_EQ(f.svc().State("Other"), static_cast<DWORD>(SERVICE_RUNNING));

    // Used once; the other service's request does not touch this one.
    ASSERT_TRUE(StartServiceA(app, 0, nullptr));
    EXPECT_TRUE(ControlService(app, SERVICE_CONTROL_STOP, &status));
    const std::vector<std::string> requests = f.Requests();
    EXPECT_EQ(requests.at(4), "StartServiceA App -> error 1053");
    EXPECT_EQ(f.machine.transcript.OfKind("failure").at(1).text, "StartServiceA App -> error 1053 (on demand)");
    for (SC_HANDLE h : {app, other, m}) CloseServiceHandle(h);
}

// ---- access lists ---------------------------------------------------------------------

TEST(ServiceSecurity, TheDefaultListLetsOrdinaryUsersOnlyLook) {
    Fixture f;
    f.AddWin32("App");
    for (ACCESS_MASK right : std::vector<ACCESS_MASK>{SERVICE_QUERY_CONFIG, SERVICE_QUERY_STATUS, SERVICE_INTERROGATE,
                                                      READ_CONTROL}) {
        EXPECT_TRUE(f.svc().MayAccess("App", Principal::User, right)) << right;
    }
    for (ACCESS_MASK right : std::vector<ACCESS_MASK>{SERVICE_START, SERVICE_STOP, SERVICE_CHANGE_CONFIG, WRITE_DAC,
                                                      WRITE_OWNER, DELETE}) {
        EXPECT_FALSE(f.svc().MayAccess("App", Principal::User, right)) << right;
        EXPECT_TRUE(f.svc().MayAccess("App", Principal::Administrator, right)) << right;
    }
    EXPECT_TRUE(f.svc().MayAccess("App", Principal::LocalSystem, SERVICE_START));
    EXPECT_FALSE(f.svc().MayAccess("App", Principal::User, GENERIC_EXECUTE));

    f.svc().caller = Principal::User;
    SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_EQ(OpenServiceA(m, "App", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE s = OpenServiceA(m, "App", MAXIMUM_ALLOWED);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(s);
    CloseServiceHandle(m);
}

TEST(ServiceSecurity, SetObjectSecurityTakesAnAbsoluteDescriptorWithABinaryAcl) {
    Fixture f;
    f.AddWin32("App");
    SC_HANDLE m = f.Manager();
    SC_HANDLE s = OpenServiceA(m, "App", SERVICE_ALL_ACCESS);

    // Everyone may query and start; users are then denied the start again
    // by a later entry, which does not take back what was granted first.
    DWORD storage[64] = {};
    PACL acl = reinterpret_cast<PACL>(storage);
    ASSERT_TRUE(InitializeAcl(acl, sizeof storage, ACL_REVISION));
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    DWORD everyone[3] = {};
    DWORD users[4] = {};
    ASSERT_TRUE(InitializeSid(everyone, &world, 1));
    *GetSidSubAuthority(everyone, 0) = SECURITY_WORLD_RID;
    ASSERT_TRUE(InitializeSid(users, &nt, 2));
    *GetSidSubAuthority(users, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *GetSidSubAuthority(users, 1) = DOMAIN_ALIAS_RID_USERS;
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ | SERVICE_START, everyone));
    ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, SERVICE_START | SERVICE_STOP, users));
    EXPECT_TRUE(IsValidAcl(acl));
    EXPECT_EQ(acl->AceCount, 2);

    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    ASSERT_TRUE(SetServiceObjectSecurity(s, DACL_SECURITY_INFORMATION, &sd));

    EXPECT_TRUE(f.svc().MayAccess("App", Principal::User, SERVICE_START));
    EXPECT_TRUE(f.svc().MayAccess("App", Principal::User, SERVICE_QUERY_CONFIG));  // GENERIC_READ was mapped
    EXPECT_FALSE(f.svc().MayAccess("App", Principal::User, SERVICE_STOP));
    EXPECT_FALSE(f.svc().MayAccess("App", Principal::Administrator, SERVICE_CHANGE_CONFIG));
    // The owner keeps the right to read and change the list.
    const SecurityDescriptor stored = f.svc().Security("App");
    EXPECT_EQ(stored.owner, sim::sids::kLocalSystem);
    EXPECT_TRUE(f.svc().MayAccess("App", Principal::LocalSystem, WRITE_DAC));
    EXPECT_EQ(stored.entries.at(0).mask, static_cast<ACCESS_MASK>(READ_CONTROL | SERVICE_QUERY_CONFIG |
                                                                   SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                                                                   SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START));

    // What the registry holds is what QueryServiceObjectSecurity hands back.
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceObjectSecurity(s, DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> out(needed);
    ASSERT_TRUE(QueryServiceObjectSecurity(s, DACL_SECURITY_INFORMATION, out.data(), needed, &needed));
    const auto parsed = SecurityDescriptor::FromMemory(out.data());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries, stored.entries);
    EXPECT_TRUE(parsed->owner.empty());  // not asked for

    // A null list opens the service to everyone.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    ASSERT_TRUE(SetServiceObjectSecurity(s, DACL_SECURITY_INFORMATION, &sd));
    EXPECT_TRUE(f.svc().MayAccess("App", Principal::User, SERVICE_CHANGE_CONFIG | WRITE_DAC | DELETE));

    // Malformed or unauthorised requests change nothing: a list of an
    // unknown revision, the audit list (which needs a right no handle has),
    // a handle without WRITE_DAC.
    storage[0] = 0x00070007;
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    EXPECT_FALSE(SetServiceObjectSecurity(s, DACL_SECURITY_INFORMATION, &sd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_FALSE(SetServiceObjectSecurity(s, SACL_SECURITY_INFORMATION, &sd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE weak = OpenServiceA(m, "App", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(SetServiceObjectSecurity(weak, DACL_SECURITY_INFORMATION, &sd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(f.svc().Security("App").dacl, SecurityDescriptor::Dacl::Null);
    for (SC_HANDLE h : {weak, s, m}) CloseServiceHandle(h);
}

}  // namespace
