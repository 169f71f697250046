// The emulated service control manager, and the access lists of services.
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
// Every request is recorded in the transcript (kind "service"), as
// "<function> <service> <details> -> ok" or "... -> error <code>".
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

namespace sim {

class Machine;

// ---- security identifiers, access lists and descriptors ------------------------

// Well-known security identifiers in their text form.
namespace sids {
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kInteractive = "S-1-5-4";
constexpr const char* kService = "S-1-5-6";
constexpr const char* kAuthenticatedUsers = "S-1-5-11";
constexpr const char* kLocalSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kUsers = "S-1-5-32-545";
constexpr const char* kPowerUsers = "S-1-5-32-547";
}  // namespace sids

// "S-1-5-32-544" in the binary layout of a SID (revision, count, 6-byte
// authority, 32-bit sub-authorities); empty for a malformed text.
std::string SidToBinary(const std::string& text);
// The text form of the SID at `data`, which holds at most `available`
// bytes; nullopt when it is not a valid SID. `length` receives its size.
std::optional<std::string> SidFromBinary(const BYTE* data, size_t available, size_t* length = nullptr);

// One entry of an access list.
struct AccessEntry {
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;  // entries of other types are kept but grant and deny nothing
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    std::string sid;  // text form

    bool operator==(const AccessEntry& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};

struct SecurityDescriptor {
    // Absent: the descriptor has no access list, so nothing is checked.
    // Null: a present, null list: everyone may do everything.
    // List: the entries decide (an empty list grants nothing).
    enum class Dacl { Absent, Null, List };

    std::string owner;  // text form; empty when the descriptor names none
    std::string group;
    Dacl dacl = Dacl::Null;
    std::vector<AccessEntry> entries;

    bool operator==(const SecurityDescriptor& other) const {
        return owner == other.owner && group == other.group && dacl == other.dacl && entries == other.entries;
    }

    // A descriptor a caller handed to the system: the absolute layout
    // (SECURITY_DESCRIPTOR with pointers) or the self-relative one. nullopt
    // when it is malformed (wrong revision, an access list or SID that is
    // not valid).
    static std::optional<SecurityDescriptor> FromMemory(const void* descriptor);
    // The self-relative bytes as the registry keeps them.
    static std::optional<SecurityDescriptor> FromSelfRelative(const std::string& bytes);
    // The self-relative form holding the parts named by `parts`
    // (OWNER_, GROUP_ and DACL_SECURITY_INFORMATION).
    std::string ToSelfRelative(SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION |
                                                            GROUP_SECURITY_INFORMATION |
                                                            DACL_SECURITY_INFORMATION) const;
    // The access list in the documented binary ACL layout (empty for an
    // absent or null list).
    std::string AclBytes() const;
};

// Who makes a request. The tool runs as an administrator or as an ordinary
// user; services themselves run as LocalSystem.
enum class Principal { Administrator, User, LocalSystem };

// The groups in a principal's token, in text form.
std::vector<std::string> TokenSids(Principal who);

struct GenericMapping {
    ACCESS_MASK read;
    ACCESS_MASK write;
    ACCESS_MASK execute;
    ACCESS_MASK all;
};
// The generic rights of service objects and of the service manager.
extern const GenericMapping kServiceMapping;
extern const GenericMapping kManagerMapping;
ACCESS_MASK MapGenericRights(ACCESS_MASK access, const GenericMapping& mapping);

// The rights the descriptor grants a token asking for `desired` (generic
// rights mapped, MAXIMUM_ALLOWED understood), as Windows' access check
// computes them: entries in order, an allowed entry granting what no
// earlier entry denied, a denied entry refusing what no earlier entry
// granted; the owner may always read and change the access list. nullopt
// when a wanted right is refused. ACCESS_SYSTEM_SECURITY is never granted.
std::optional<ACCESS_MASK> CheckAccess(const SecurityDescriptor& descriptor, const std::vector<std::string>& token,
                                       ACCESS_MASK desired, const GenericMapping& mapping);

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

    // ---- the Win32 side (sim/dlls/advapi32/services.cpp) ----------------------------
    // Each returns ERROR_SUCCESS or the error code the function sets, and
    // records the request.
    DWORD OpenManager(const char* machineName, const char* database, DWORD access, SC_HANDLE* result);
    DWORD Open(SC_HANDLE manager, const char* name, DWORD access, SC_HANDLE* result);
    DWORD Create(SC_HANDLE manager, const char* name, const char* displayName, DWORD access, DWORD type, DWORD start,
                 DWORD errorControl, const char* binaryPath, const char* group, DWORD* tagId,
                 const char* dependencies, const char* account, const char* password, SC_HANDLE* result);
    DWORD QueryConfig(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD size, DWORD* needed);
    DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status);
    DWORD Start(SC_HANDLE service, DWORD argc, const char** argv);
    // `filled` tells whether *status was written (Windows fills it on
    // success and for the three errors about the service's state).
    DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status, bool* filled);
    DWORD Delete(SC_HANDLE service);
    DWORD Lock(SC_HANDLE manager, SC_LOCK* lock);
    DWORD Unlock(SC_LOCK lock);
    DWORD SetObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, const void* descriptor);
    DWORD QueryObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, void* descriptor, DWORD size,
                              DWORD* needed);
    DWORD Close(SC_HANDLE handle);

    // The transcript line of a request the machine cannot serve at all.
    void RecordUnavailable(const std::string& function);

private:
    struct Handle {
        bool manager = false;
        std::string service;  // upper-cased name of the service of a service handle
        ACCESS_MASK granted = 0;
    };
    struct Runtime {
        DWORD state = SERVICE_STOPPED;
        ServiceRunState behaviour;
        bool everStarted = false;
        bool markedForDelete = false;
        Clock::EventId pending = 0;
        Clock::Millis pendingUntil = 0;
    };

    std::string KeyOf(const std::string& name) const;
    std::optional<std::string> StoredName(const std::string& name) const;
    Runtime& RuntimeOf(const std::string& name);
    const Runtime* FindRuntime(const std::string& name) const;
    const Handle* FindHandle(SC_HANDLE handle) const;
    SC_HANDLE NewHandle(Handle handle);
    void FillStatus(const std::string& name, SERVICE_STATUS* status) const;
    void CancelPending(Runtime& rt);
    void FinishStop(const std::string& upperName);
    void RemoveIfDeleted(const std::string& upperName);
    bool HasRunningDependents(const std::string& name) const;
    bool DisplayNameTaken(const std::string& displayName, const std::string& exceptName) const;
    DWORD Note(const std::string& text, DWORD error);
    std::string NameOf(const Handle& handle) const;

    Machine& machine_;
    std::map<std::uintptr_t, Handle> handles_;
    std::set<std::uintptr_t> locks_;
    std::map<std::string, Runtime> runtime_;  // by upper-cased name
    std::optional<Clock::Millis> lockedElsewhereUntil_;
};

}  // namespace sim
