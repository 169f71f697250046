// Advapi32's service control manager functions over the current machine's
// services.
//
// Each turns its handle into the manager or service it stands for, checks
// the handle's rights and its arguments, asks whether the call is to fail
// on demand (the object being the service's name), lets the service
// manager act and copies the result out with Windows' rules. Every request
// is recorded on the transcript's "service" channel as
// "<function> <service> <details> -> ok" or "... -> error <code>"; a
// failure also sets the last error, is recorded on the "failure" channel
// and changes nothing. On the 9x family advapi32 exports these functions
// as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED.
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "sim/base/text.h"
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/security.h"
#include "sim/machine/services.h"

using sim::Current;
using ServiceHandle = sim::ServiceManager::Handle;

namespace {

// QueryServiceConfigA's buffer is bounded by the interface to 8 KB.
constexpr DWORD kConfigBufferLimit = 8 * 1024;

sim::ServiceManager& Services() { return Current().services(); }

std::string Hex8(DWORD value) { return "0x" + sim::Upper(sim::Hex(value, 0)); }

// One request to the service manager, as the transcript shows it.
class Request {
public:
    Request(const char* call, std::string line, std::string object = std::string())
        : what(std::move(line)), call_(call), object_(std::move(object)) {}

    // Records the answer; a failure also sets the last error. TRUE for
    // success.
    BOOL Answer(DWORD error) {
        Note(error);
        if (error != ERROR_SUCCESS) sim::dll::Fail(call_, object_, error);
        return error == ERROR_SUCCESS;
    }

    // Answers a request that returns a handle: null.
    std::nullptr_t Refuse(DWORD error) {
        Answer(error);
        return nullptr;
    }

    // True when a test or scenario asked this request to fail: it has
    // then been answered with that error.
    bool FailsOnDemand() {
        const DWORD error = sim::dll::Injected(call_, object_);
        if (error == ERROR_SUCCESS) return false;
        Note(error);
        Current().lastError = error;
        return true;
    }

    std::string what;  // the request's line without its answer

private:
    void Note(DWORD error) const {
        Current().Record("service",
                         what + (error == ERROR_SUCCESS ? " -> ok" : " -> error " + std::to_string(error)));
    }

    const char* call_;
    std::string object_;
};

// The stub answer of the 9x family; true when the machine has no manager.
bool Unavailable(const char* call) {
    if (Services().Available()) return false;
    Request(call, call).Answer(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

// How a handle's object is named in the request's line: "(bad handle)"
// when it is none.
std::string NameOf(const ServiceHandle* handle) {
    return handle ? Services().NameOf(*handle) : std::string("(bad handle)");
}

bool IsService(const ServiceHandle* handle) { return handle && !handle->manager; }
bool IsManager(const ServiceHandle* handle) { return handle && handle->manager; }

// The object a request on a handle names for failures on demand: the
// service's name; "" for anything else.
std::string ObjectOf(const ServiceHandle* handle) { return IsService(handle) ? Services().NameOf(*handle) : ""; }

const char* ControlName(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP: return "stop";
        case SERVICE_CONTROL_PAUSE: return "pause";
        case SERVICE_CONTROL_CONTINUE: return "continue";
        case SERVICE_CONTROL_INTERROGATE: return "interrogate";
        default: return nullptr;
    }
}

void CopyStatusOut(const sim::ServiceStatus& from, SERVICE_STATUS* to) {
    std::memset(to, 0, sizeof *to);
    to->dwServiceType = from.type;
    to->dwCurrentState = from.state;
    to->dwControlsAccepted = from.controlsAccepted;
    to->dwWin32ExitCode = from.exitCode;
    to->dwCheckPoint = from.checkPoint;
    to->dwWaitHint = from.waitHint;
}

// QUERY_SERVICE_CONFIGA as it lies in a buffer at `at`: the structure,
// then its strings in this order, each with its NUL; the dependencies are
// a list ended by an empty string. The pointers point into the buffer.
std::string ConfigBytes(const sim::ServiceConfig& c, std::uintptr_t at) {
    std::string dependencies;
    for (const std::string& d : c.dependencies) dependencies += d + '\0';
    dependencies += '\0';
    if (c.dependencies.empty()) dependencies += '\0';
    const std::string shown = c.displayName.empty() ? c.name : c.displayName;
    const std::string strings[] = {c.imagePath + '\0', c.group + '\0', dependencies, c.objectName + '\0',
                                   shown + '\0'};
    LPSTR places[std::size(strings)] = {};
    std::string tail;
    for (size_t i = 0; i < std::size(strings); ++i) {
        places[i] = reinterpret_cast<LPSTR>(at + sizeof(QUERY_SERVICE_CONFIGA) + tail.size());
        tail += strings[i];
    }
    QUERY_SERVICE_CONFIGA head = {};
    head.dwServiceType = c.type;
    head.dwStartType = c.start;
    head.dwErrorControl = c.errorControl;
    head.lpBinaryPathName = places[0];
    head.lpLoadOrderGroup = places[1];
    head.dwTagId = c.tag;
    head.lpDependencies = places[2];
    head.lpServiceStartName = places[3];
    head.lpDisplayName = places[4];
    return std::string(reinterpret_cast<const char*>(&head), sizeof head) + tail;
}

}  // namespace

// ---- the manager ------------------------------------------------------------------

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
    if (Unavailable("OpenSCManagerA")) return nullptr;
    Request request("OpenSCManagerA", "OpenSCManagerA access " + Hex8(access));
    if (machine && *machine) {
        request.what += std::string(" machine ") + machine;
        return request.Refuse(RPC_S_SERVER_UNAVAILABLE);
    }
    if (database && !sim::EqualNoCase(database, SERVICES_ACTIVE_DATABASEA)) {
        request.what += std::string(" database ") + database;
        return request.Refuse(sim::EqualNoCase(database, SERVICES_FAILED_DATABASEA) ? ERROR_DATABASE_DOES_NOT_EXIST
                                                                                   : ERROR_INVALID_NAME);
    }
    if (request.FailsOnDemand()) return nullptr;
    SC_HANDLE handle = nullptr;
    request.Answer(Services().OpenManager(access, &handle));
    return handle;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
    if (Unavailable("OpenServiceA")) return nullptr;
    Request request("OpenServiceA", std::string("OpenServiceA ") + (name ? name : "(null)") + " access " + Hex8(access),
                    name ? name : "");
    if (!IsManager(Services().FindHandle(manager))) return request.Refuse(ERROR_INVALID_HANDLE);
    if (!name) return request.Refuse(ERROR_INVALID_ADDRESS);
    if (request.FailsOnDemand()) return nullptr;
    SC_HANDLE handle = nullptr;
    request.Answer(Services().Open(name, access, &handle));
    return handle;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
    (void)password;
    if (Unavailable("CreateServiceA")) return nullptr;
    Request request("CreateServiceA", std::string("CreateServiceA ") + (name ? name : "(null)"), name ? name : "");
    const ServiceHandle* m = Services().FindHandle(manager);
    if (!IsManager(m)) return request.Refuse(ERROR_INVALID_HANDLE);
    if (!m->Allows(SC_MANAGER_CREATE_SERVICE)) return request.Refuse(ERROR_ACCESS_DENIED);
    if (!name) return request.Refuse(ERROR_INVALID_ADDRESS);
    if (request.FailsOnDemand()) return nullptr;

    sim::ServiceCreation creation;
    creation.name = name;
    creation.displayName = displayName ? displayName : "";
    creation.access = access;
    creation.type = serviceType;
    creation.start = startType;
    creation.errorControl = errorControl;
    creation.binaryPath = binaryPath ? binaryPath : "";
    creation.group = loadOrderGroup ? loadOrderGroup : "";
    creation.wantsTag = tagId != nullptr;
    // The dependencies come as a list of NUL-terminated names ended by an
    // empty one.
    for (const char* d = dependencies; d && *d; d += std::strlen(d) + 1) creation.dependencies.emplace_back(d);
    creation.account = account ? account : "";
    SC_HANDLE handle = nullptr;
    DWORD tag = 0;
    const DWORD error = Services().Create(creation, &handle, &tag);
    if (error == ERROR_SUCCESS) {
        if (tagId) *tagId = tag;
        request.what += " binary " + creation.binaryPath + " stored " + Services().Config(name)->imagePath;
    }
    request.Answer(error);
    return handle;
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
    if (Unavailable("QueryServiceConfigA")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("QueryServiceConfigA", "QueryServiceConfigA " + NameOf(h) + " size " + std::to_string(size),
                    ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (!h->Allows(SERVICE_QUERY_CONFIG)) return request.Answer(ERROR_ACCESS_DENIED);
    if (!needed) return request.Answer(ERROR_INVALID_ADDRESS);
    if (request.FailsOnDemand()) return FALSE;
    const std::optional<sim::ServiceConfig> c = Services().Config(h->service);
    if (!c) return request.Answer(ERROR_FILE_NOT_FOUND);
    const std::string bytes = ConfigBytes(*c, reinterpret_cast<std::uintptr_t>(config));
    const DWORD offered = size > kConfigBufferLimit ? kConfigBufferLimit : size;
    const bool copied = sim::dll::CopyDataOut(bytes, config, offered, needed) == sim::dll::CopyOut::Copied;
    return request.Answer(copied ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (Unavailable("QueryServiceStatus")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("QueryServiceStatus", "QueryServiceStatus " + NameOf(h), ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (!h->Allows(SERVICE_QUERY_STATUS)) return request.Answer(ERROR_ACCESS_DENIED);
    if (!status) return request.Answer(ERROR_INVALID_ADDRESS);
    if (request.FailsOnDemand()) return FALSE;
    CopyStatusOut(Services().Status(h->service), status);
    return request.Answer(ERROR_SUCCESS);
}

BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
    if (Unavailable("StartServiceA")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("StartServiceA", "StartServiceA " + NameOf(h), ObjectOf(h));
    if (argv) {
        for (DWORD i = 0; i < argc; ++i) request.what += std::string(" ") + (argv[i] ? argv[i] : "(null)");
    }
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (!h->Allows(SERVICE_START)) return request.Answer(ERROR_ACCESS_DENIED);
    if (argc && !argv) return request.Answer(ERROR_INVALID_PARAMETER);
    if (request.FailsOnDemand()) return FALSE;
    std::string missingImage;
    const DWORD error = Services().Start(*h, &missingImage);
    if (!missingImage.empty()) request.what += " image " + missingImage;
    return request.Answer(error);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    if (Unavailable("ControlService")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    const char* controlName = ControlName(control);
    Request request("ControlService",
                    "ControlService " + NameOf(h) + " " +
                        (controlName ? std::string(controlName) : "control " + std::to_string(control)),
                    ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (request.FailsOnDemand()) return FALSE;
    std::optional<sim::ServiceStatus> reported;
    const DWORD error = Services().Control(*h, control, &reported);
    // Windows fills the status on success and for the errors about the
    // service's state.
    if (reported && status) CopyStatusOut(*reported, status);
    return request.Answer(error);
}

BOOL DeleteService(SC_HANDLE service) {
    if (Unavailable("DeleteService")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("DeleteService", "DeleteService " + NameOf(h), ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (!h->Allows(DELETE)) return request.Answer(ERROR_ACCESS_DENIED);
    if (request.FailsOnDemand()) return FALSE;
    return request.Answer(Services().Delete(*h));
}

SC_LOCK LockServiceDatabase(SC_HANDLE manager) {
    if (Unavailable("LockServiceDatabase")) return nullptr;
    Request request("LockServiceDatabase", "LockServiceDatabase");
    const ServiceHandle* m = Services().FindHandle(manager);
    if (!IsManager(m)) return request.Refuse(ERROR_INVALID_HANDLE);
    if (!m->Allows(SC_MANAGER_LOCK)) return request.Refuse(ERROR_ACCESS_DENIED);
    if (request.FailsOnDemand()) return nullptr;
    SC_LOCK lock = nullptr;
    request.Answer(Services().Lock(&lock));
    return lock;
}

BOOL UnlockServiceDatabase(SC_LOCK lock) {
    if (Unavailable("UnlockServiceDatabase")) return FALSE;
    Request request("UnlockServiceDatabase", "UnlockServiceDatabase");
    if (request.FailsOnDemand()) return FALSE;
    return request.Answer(Services().Unlock(lock));
}

BOOL SetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
    if (Unavailable("SetServiceObjectSecurity")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("SetServiceObjectSecurity",
                    "SetServiceObjectSecurity " + NameOf(h) + " " + sim::SecurityInformationText(information),
                    ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    constexpr SECURITY_INFORMATION kKnown = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    if (!information || (information & ~kKnown) || !descriptor) return request.Answer(ERROR_INVALID_PARAMETER);
    const std::optional<sim::SecurityDescriptor> given = sim::SecurityDescriptor::FromMemory(descriptor);
    if (!given) return request.Answer(ERROR_INVALID_PARAMETER);
    ACCESS_MASK needed = 0;
    if (information & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
    // Changing the audit list needs ACCESS_SYSTEM_SECURITY, which no
    // handle of the emulator holds.
    if (!h->Allows(needed) || (information & SACL_SECURITY_INFORMATION)) return request.Answer(ERROR_ACCESS_DENIED);
    if (request.FailsOnDemand()) return FALSE;
    return request.Answer(Services().SetObjectSecurity(*h, information, *given));
}

BOOL QueryServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                                DWORD size, LPDWORD needed) {
    if (Unavailable("QueryServiceObjectSecurity")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(service);
    Request request("QueryServiceObjectSecurity",
                    "QueryServiceObjectSecurity " + NameOf(h) + " " + sim::SecurityInformationText(information),
                    ObjectOf(h));
    if (!IsService(h)) return request.Answer(ERROR_INVALID_HANDLE);
    if (!needed) return request.Answer(ERROR_INVALID_ADDRESS);
    if (information & SACL_SECURITY_INFORMATION) return request.Answer(ERROR_ACCESS_DENIED);
    constexpr SECURITY_INFORMATION kReadable =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if ((information & kReadable) && !h->Allows(READ_CONTROL)) return request.Answer(ERROR_ACCESS_DENIED);
    if (request.FailsOnDemand()) return FALSE;
    const std::string bytes = Services().Security(h->service).ToSelfRelative(information);
    const bool copied = sim::dll::CopyDataOut(bytes, descriptor, size, needed) == sim::dll::CopyOut::Copied;
    return request.Answer(copied ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (Unavailable("CloseServiceHandle")) return FALSE;
    const ServiceHandle* h = Services().FindHandle(handle);
    if (!h) return Request("CloseServiceHandle", "CloseServiceHandle (bad handle)").Answer(ERROR_INVALID_HANDLE);
    Request request("CloseServiceHandle", "CloseServiceHandle " + Services().NameOf(*h), ObjectOf(h));
    if (request.FailsOnDemand()) return FALSE;
    return request.Answer(Services().Close(handle));
}
