// The service manager's handles and database locks, and the requests that
// open the manager and services, create services and change their access
// lists. Each answers ERROR_SUCCESS or the error its function fails with;
// a refused request opens, writes and locks nothing.
#include "sim/base/text.h"
#include "sim/include/errors.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"

namespace sim {

namespace {

// The tag CreateServiceA gives a boot or system driver that asks for one.
constexpr DWORD kFirstTag = 1;
// The account a Win32 service without one runs as.
constexpr const char* kLocalSystemAccount = "LocalSystem";

// What the service manager object itself allows: administrators and the
// system everything, other signed-in users to connect, enumerate and read
// the lock status.
SecurityDescriptor ManagerSecurity() {
    SecurityDescriptor sd;
    sd.owner = sids::kLocalSystem;
    sd.group = sids::kLocalSystem;
    sd.dacl = SecurityDescriptor::Dacl::List;
    sd.entries = {
        {ACCESS_ALLOWED_ACE_TYPE, 0, SC_MANAGER_ALL_ACCESS, sids::kLocalSystem},
        {ACCESS_ALLOWED_ACE_TYPE, 0, SC_MANAGER_ALL_ACCESS, sids::kAdministrators},
        {ACCESS_ALLOWED_ACE_TYPE, 0,
         SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL,
         sids::kAuthenticatedUsers},
    };
    return sd;
}

// How the service manager stores the binary path of a driver: a DOS path
// becomes an NT path ("C:\X.sys" -> "\??\C:\X.sys"); relative paths and
// paths below \SystemRoot stay as given; "%SystemRoot%\X" becomes the
// relative "X". A boot driver's path below the Windows folder is stored
// relative to it.
std::string DriverImagePath(const std::string& path, DWORD start, const std::string& windowsDir) {
    if (StartsWithNoCase(path, "%SystemRoot%\\")) return path.substr(13);
    if (StartsWithNoCase(path, "\\SystemRoot\\")) return start == SERVICE_BOOT_START ? path.substr(12) : path;
    if (StartsWithNoCase(path, "\\??\\")) return path;
    const bool dosPath = path.size() >= 2 && path[1] == ':';
    const bool uncPath = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    if (!dosPath && !uncPath) return path;
    if (start == SERVICE_BOOT_START && dosPath) {
        std::string root = windowsDir;
        if (root.empty() || root.back() != '\\') root += '\\';
        if (StartsWithNoCase(path, root)) return path.substr(root.size());
    }
    if (uncPath) return "\\??\\UNC\\" + path.substr(2);
    return "\\??\\" + path;
}

}  // namespace

const ServiceManager::Handle* ServiceManager::FindHandle(SC_HANDLE handle) const {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == handles_.end() ? nullptr : &it->second;
}

SC_HANDLE ServiceManager::NewHandle(Handle handle) {
    const std::uintptr_t value = machine_.NewHandleValue();
    handles_[value] = std::move(handle);
    return reinterpret_cast<SC_HANDLE>(value);
}

std::string ServiceManager::NameOf(const Handle& handle) const {
    if (handle.manager) return "manager";
    const std::optional<std::string> stored = StoredName(handle.service);
    return stored ? *stored : handle.service;
}

DWORD ServiceManager::OpenManager(DWORD access, SC_HANDLE* result) {
    const std::optional<ACCESS_MASK> granted =
        CheckAccess(ManagerSecurity(), TokenSids(caller), access | SC_MANAGER_CONNECT, kManagerMapping);
    if (!granted) return ERROR_ACCESS_DENIED;
    Handle h;
    h.manager = true;
    h.granted = *granted;
    *result = NewHandle(std::move(h));
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Open(const std::string& name, DWORD access, SC_HANDLE* result) {
    if (!ValidName(name)) return ERROR_INVALID_NAME;
    const std::optional<std::string> stored = StoredName(name);
    if (!stored) return ERROR_SERVICE_DOES_NOT_EXIST;
    const std::optional<ACCESS_MASK> granted =
        CheckAccess(Security(*stored), TokenSids(caller), access, kServiceMapping);
    if (!granted) return ERROR_ACCESS_DENIED;
    Handle h;
    h.service = Upper(*stored);
    h.granted = *granted;
    *result = NewHandle(std::move(h));
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Create(const ServiceCreation& request, SC_HANDLE* result, DWORD* tag) {
    const std::string& name = request.name;
    if (!ValidName(name)) return ERROR_INVALID_NAME;
    if (request.displayName.size() > kMaxNameLength) return ERROR_INVALID_NAME;

    const DWORD type = request.type;
    const DWORD start = request.start;
    const DWORD baseType = type & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    const bool driver = baseType == SERVICE_KERNEL_DRIVER || baseType == SERVICE_FILE_SYSTEM_DRIVER;
    const bool win32 = baseType == SERVICE_WIN32_OWN_PROCESS || baseType == SERVICE_WIN32_SHARE_PROCESS;
    const bool interactive = (type & SERVICE_INTERACTIVE_PROCESS) != 0;
    if ((!driver && !win32) || (driver && interactive)) return ERROR_INVALID_PARAMETER;
    if (start > SERVICE_DISABLED || (!driver && start < SERVICE_AUTO_START)) return ERROR_INVALID_PARAMETER;
    if (request.errorControl > SERVICE_ERROR_CRITICAL) return ERROR_INVALID_PARAMETER;
    if (request.binaryPath.empty()) return ERROR_INVALID_PARAMETER;
    if (request.wantsTag && !(driver && start <= SERVICE_SYSTEM_START)) return ERROR_INVALID_PARAMETER;
    std::string objectName = request.account;
    if (win32 && objectName.empty()) objectName = kLocalSystemAccount;
    if (interactive && !EqualNoCase(objectName, kLocalSystemAccount)) return ERROR_INVALID_PARAMETER;

    if (StoredName(name)) {
        const Runtime* rt = FindRuntime(name);
        return rt && rt->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
    }
    const std::string& displayName = request.displayName;
    if (DisplayNameTaken(name, name) || (!displayName.empty() && DisplayNameTaken(displayName, name))) {
        return ERROR_DUPLICATE_SERVICE_NAME;
    }

    ServiceConfig config;
    config.name = name;
    config.displayName = displayName;
    config.type = type;
    config.start = start;
    config.errorControl = request.errorControl;
    config.imagePath = driver ? DriverImagePath(request.binaryPath, start, machine_.WindowsDir()) : request.binaryPath;
    config.group = request.group;
    config.dependencies = request.dependencies;
    config.objectName = objectName;
    if (request.wantsTag) config.tag = kFirstTag;
    AddService(config);
    *tag = config.tag;

    const std::optional<ACCESS_MASK> granted = CheckAccess(SecurityDescriptor(), {}, request.access, kServiceMapping);
    Handle h;
    h.service = Upper(name);
    h.granted = granted.value_or(0);
    *result = NewHandle(std::move(h));
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Lock(SC_LOCK* lock) {
    if (IsLocked()) return ERROR_SERVICE_DATABASE_LOCKED;
    const std::uintptr_t value = machine_.NewHandleValue();
    locks_.insert(value);
    *lock = reinterpret_cast<SC_LOCK>(value);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Unlock(SC_LOCK lock) {
    return locks_.erase(reinterpret_cast<std::uintptr_t>(lock)) == 0 ? ERROR_INVALID_SERVICE_LOCK : ERROR_SUCCESS;
}

DWORD ServiceManager::SetObjectSecurity(const Handle& service, SECURITY_INFORMATION information,
                                        const SecurityDescriptor& given) {
    const Runtime* rt = FindRuntime(service.service);
    if (rt && rt->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (!Exists(service.service)) return ERROR_FILE_NOT_FOUND;

    SecurityDescriptor merged = Security(service.service);
    if (information & OWNER_SECURITY_INFORMATION) merged.owner = given.owner;
    if (information & GROUP_SECURITY_INFORMATION) merged.group = given.group;
    if (information & DACL_SECURITY_INFORMATION) {
        merged.dacl = given.dacl;
        merged.entries = given.entries;
        // The stored list holds specific rights, as Windows maps generic
        // ones when it applies a descriptor.
        for (AccessEntry& e : merged.entries) e.mask = MapGenericRights(e.mask, kServiceMapping);
    }
    SetSecurity(service.service, merged);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Close(SC_HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    const bool manager = it->second.manager;
    const std::string service = it->second.service;
    handles_.erase(it);
    if (!manager) RemoveIfDeleted(service);
    return ERROR_SUCCESS;
}

}  // namespace sim
