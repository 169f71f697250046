// The emulated service control manager.
//
// Services live where Windows keeps them: each is a key below
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services whose REG_DWORD
// "Type" makes it a service. Its configuration is read from that key on
// every request ("Type", "Start", "ErrorControl", "ImagePath", "Group",
// "DependOnService", "DependOnGroup", "ObjectName", "DisplayName"), so a
// change made through the registry is what QueryServiceConfigA reports, and
// CreateServiceA writes the key. The access list is the self-relative
// security descriptor in the value "Security" of the sub-key "Security", as
// Windows stores it; a service without one has Windows' default list.
//
// What the registry does not hold is the run state: stopped, start pending,
// running, stop pending or paused. A scenario sets it per service together
// with how the service behaves (how long a start or a stop takes on the
// virtual clock, which controls it accepts, whether a start fails).
//
// Only the NT family has a service control manager; on Windows 95, 98 and
// Me every service function fails with ERROR_CALL_NOT_IMPLEMENTED, as the
// stubs of those systems' advapi32 do.
//
// Two faces, as the registry has: the C++ interface for scenarios and
// tests (AddService, SetRunState, ...) records nothing; the Win32 side is
// what advapi32's service functions (sim/dlls/advapi32/services.cpp) act
// through once they have resolved the handle and checked its rights and
// their arguments. It answers ERROR_SUCCESS or the error the function
// fails with, and a request that fails changes nothing. The entry points
// record every request on the transcript's "service" channel, as
// "<function> <service> <details> -> ok" or "... -> error <code>".
//
// Files: services.cpp holds the service database (keys, configurations,
// access lists); service_states.cpp the run states and what changes them
// (start, control, delete); service_handles.cpp the manager's handles,
// locks and the requests that open, create and secure services.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/include/kernel.h"  // before registry.h, which uses its types
#include "sim/include/registry.h"
#include "sim/include/services.h"
#include "sim/include/types.h"
#include "sim/machine/clock.h"
#include "sim/machine/security.h"

namespace sim {

class Machine;

// ---- services ----------------------------------------------------------------

// A service's configuration as its registry key holds it.
struct ServiceConfig {
    std::string name;
    std::string displayName;  // empty: no "DisplayName" value (the name is shown)
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD start = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;
    std::string group;                      // empty: no "Group" value
    std::vector<std::string> dependencies;  // services; a group is written "+Group"
    std::string objectName;                 // empty: no "ObjectName" value
    DWORD tag = 0;                          // 0: no "Tag" value
};

// How a service runs. The state is one of SERVICE_STOPPED, SERVICE_RUNNING
// and SERVICE_PAUSED when a scenario sets it; the pending states arise from
// requests and last `startDelay` / `stopDelay` of virtual time (0: the
// change is complete when the request returns).
struct ServiceRunState {
    DWORD state = SERVICE_STOPPED;
    DWORD controlsAccepted = SERVICE_ACCEPT_STOP;  // while running or paused
    Clock::Millis startDelay = 0;
    Clock::Millis stopDelay = 0;
    DWORD startError = 0;  // non-zero: StartServiceA fails with this code
};

// What QueryServiceStatus and ControlService report about a service.
struct ServiceStatus {
    DWORD type = 0;
    DWORD state = 0;
    DWORD controlsAccepted = 0;  // while running or paused
    DWORD exitCode = 0;          // ERROR_SERVICE_NEVER_STARTED before the first start
    DWORD checkPoint = 0;        // 1 while a start or stop is pending
    DWORD waitHint = 0;          // the virtual milliseconds it still takes
};

// CreateServiceA's request, its missing texts given as empty.
struct ServiceCreation {
    std::string name;
    std::string displayName;
    DWORD access = 0;
    DWORD type = 0;
    DWORD start = 0;
    DWORD errorControl = 0;
    std::string binaryPath;
    std::string group;
    bool wantsTag = false;  // the caller asked for a tag
    std::vector<std::string> dependencies;
    std::string account;
};

class ServiceManager {
public:
    // Where the services live in the registry (full path).
    static const char* const kServicesKey;

    explicit ServiceManager(Machine& machine);
    ~ServiceManager();
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;

    // ---- for scenarios and tests ----------------------------------------
    // Whether the machine has a service control manager (the NT family).
    bool Available() const;

    // Writes the service's key as CreateServiceA does (without the
    // conversion of a driver's path and without a transcript line); the
    // service is stopped. False for a bad name or a service that exists.
    bool AddService(const ServiceConfig& config);
    bool Exists(const std::string& name) const;
    // Every service, in registry order, by its key's name.
    std::vector<std::string> Names() const;
    // The configuration read from the key; nullopt when there is no service.
    std::optional<ServiceConfig> Config(const std::string& name) const;

    bool SetRunState(const std::string& name, const ServiceRunState& run);
    std::optional<ServiceRunState> RunState(const std::string& name) const;
    // SERVICE_STOPPED ... SERVICE_PAUSED; 0 when there is no such service.
    DWORD State(const std::string& name) const;
    // What QueryServiceStatus reports about it now.
    ServiceStatus Status(const std::string& name) const;
    // True once DeleteService marked it; the key goes when the service has
    // stopped and its last handle is closed.
    bool IsMarkedForDelete(const std::string& name) const;

    // The service's access list: the one stored with it, else the default.
    SecurityDescriptor Security(const std::string& name) const;
    bool SetSecurity(const std::string& name, const SecurityDescriptor& descriptor);
    // The list Windows 2000 / XP give a new service: administrators may do
    // everything; LocalSystem and power users may also start, stop and
    // pause it; authenticated users may only query and interrogate it.
    static SecurityDescriptor DefaultSecurity();
    // Whether `who` may open the service for `rights` (SERVICE_* rights,
    // DELETE, READ_CONTROL, WRITE_DAC, WRITE_OWNER, generic rights).
    bool MayAccess(const std::string& name, Principal who, ACCESS_MASK rights) const;

    // The identity the tool's requests are checked against.
    Principal caller = Principal::Administrator;

    // Another process holds the service database lock until that virtual
    // time (Clock::Millis max: for good); LockServiceDatabase fails with
    // ERROR_SERVICE_DATABASE_LOCKED meanwhile.
    void HoldLockElsewhereUntil(Clock::Millis time) { lockedElsewhereUntil_ = time; }
    bool IsLocked() const;

    // Manager and service handles the tool holds open, and locks it holds.
    size_t OpenHandleCount() const { return handles_.size(); }
    size_t HeldLockCount() const { return locks_.size(); }

    // ---- the Win32 side (sim/dlls/advapi32/services.cpp) -----------------
    // A handle the tool holds: to the manager, or to one service.
    struct Handle {
        bool manager = false;
        std::string service;  // upper-cased name of the service of a service handle
        ACCESS_MASK granted = 0;
        bool Allows(ACCESS_MASK rights) const { return (granted & rights) == rights; }
    };
    // Null for a value that is no open handle.
    const Handle* FindHandle(SC_HANDLE handle) const;
    // How the transcript names a handle: "manager", or its service's name
    // as stored (as it was opened, once the service has gone).
    std::string NameOf(const Handle& handle) const;

    // A manager handle with the rights `access` asks for (and
    // SC_MANAGER_CONNECT): ERROR_ACCESS_DENIED.
    DWORD OpenManager(DWORD access, SC_HANDLE* result);
    // ERROR_INVALID_NAME, ERROR_SERVICE_DOES_NOT_EXIST, ERROR_ACCESS_DENIED.
    DWORD Open(const std::string& name, DWORD access, SC_HANDLE* result);
    // Checks the request as CreateServiceA does (ERROR_INVALID_NAME,
    // ERROR_INVALID_PARAMETER, ERROR_SERVICE_EXISTS,
    // ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_DUPLICATE_SERVICE_NAME), writes
    // the service's key and opens a handle to it; `tag` receives the tag
    // given when one was asked for.
    DWORD Create(const ServiceCreation& request, SC_HANDLE* result, DWORD* tag);
    // Starts the service (ERROR_FILE_NOT_FOUND for a key that has gone,
    // ERROR_SERVICE_DISABLED, ERROR_SERVICE_MARKED_FOR_DELETE,
    // ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_DATABASE_LOCKED, the
    // errors of a driver's missing image file, the scenario's start error).
    // `missingImage` receives the image file a driver could not be loaded
    // from.
    DWORD Start(const Handle& service, std::string* missingImage);
    // Sends a control code, checking the right it needs, whether the
    // service can take it now and whether it accepts it. `status` receives
    // what Windows reports with the answer: on success and for the three
    // errors about the service's state.
    DWORD Control(const Handle& service, DWORD control, std::optional<ServiceStatus>* status);
    // Marks the service for deletion: ERROR_SERVICE_MARKED_FOR_DELETE.
    DWORD Delete(const Handle& service);
    // ERROR_SERVICE_DATABASE_LOCKED; ERROR_INVALID_SERVICE_LOCK.
    DWORD Lock(SC_LOCK* lock);
    DWORD Unlock(SC_LOCK lock);
    // Replaces the parts `information` names with `given`'s (generic
    // rights of its entries mapped): ERROR_SERVICE_MARKED_FOR_DELETE,
    // ERROR_FILE_NOT_FOUND.
    DWORD SetObjectSecurity(const Handle& service, SECURITY_INFORMATION information, const SecurityDescriptor& given);
    // ERROR_INVALID_HANDLE for a value that is no open handle.
    DWORD Close(SC_HANDLE handle);

private:
    struct Runtime {
        DWORD state = SERVICE_STOPPED;
        ServiceRunState behaviour;
        bool everStarted = false;
        bool markedForDelete = false;
        Clock::EventId pending = 0;
        Clock::Millis pendingUntil = 0;
    };

    // The longest service or display name the manager takes.
    static constexpr size_t kMaxNameLength = 256;

    static bool ValidName(const std::string& name);
    std::string KeyOf(const std::string& name) const;
    std::optional<std::string> StoredName(const std::string& name) const;
    Runtime& RuntimeOf(const std::string& name);
    const Runtime* FindRuntime(const std::string& name) const;
    SC_HANDLE NewHandle(Handle handle);
    void CancelPending(Runtime& rt);
    void FinishStop(const std::string& upperName);
    void RemoveIfDeleted(const std::string& upperName);
    bool HasRunningDependents(const std::string& name) const;
    bool DisplayNameTaken(const std::string& displayName, const std::string& exceptName) const;

    Machine& machine_;
    std::map<std::uintptr_t, Handle> handles_;
    std::set<std::uintptr_t> locks_;
    std::map<std::string, Runtime> runtime_;  // by upper-cased name
    std::optional<Clock::Millis> lockedElsewhereUntil_;
};

}  // namespace sim
