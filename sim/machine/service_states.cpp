// The run states of services and the requests that change them: start,
// control codes, deletion, and the pending starts and stops that complete
// on the virtual clock. A refused request changes nothing; a service
// marked for deletion goes (with its key) once it has stopped and its last
// handle is closed.
#include "sim/base/text.h"
#include "sim/include/errors.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"

namespace sim {

namespace {

// The user-defined control codes.
constexpr DWORD kFirstUserControl = 128;
constexpr DWORD kLastUserControl = 255;

// Where the kernel looks for a driver's image: an NT path (\??\C:\x.sys)
// names a file of drive C:, a \SystemRoot path and a relative path lie below
// the Windows folder, and no path at all means System32\drivers\<name>.sys.
// Empty for a path the machine cannot reach (another drive, the network).
std::string DriverImageFile(const ServiceConfig& config, const std::string& windowsDir) {
    std::string path = config.imagePath;
    if (path.empty()) path = "System32\\drivers\\" + config.name + ".sys";
    if (StartsWithNoCase(path, "\\??\\")) {
        path = path.substr(4);
    } else if (StartsWithNoCase(path, "\\SystemRoot\\")) {
        path = windowsDir + "\\" + path.substr(12);
    } else if (!(path.size() >= 2 && path[1] == ':') && path[0] != '\\') {
        path = windowsDir + "\\" + path;
    }
    if (!StartsWithNoCase(path, "C:\\")) return std::string();
    return path;
}

bool OlderThanWindows2000(WindowsVersion version) {
    return version == WindowsVersion::NT4 || version == WindowsVersion::NT351;
}

}  // namespace

ServiceStatus ServiceManager::Status(const std::string& name) const {
    ServiceStatus status;
    const std::optional<ServiceConfig> config = Config(name);
    const Runtime* rt = FindRuntime(name);
    const Runtime none;
    const Runtime& r = rt ? *rt : none;
    status.type = config ? config->type : 0;
    status.state = r.state;
    if (r.state == SERVICE_RUNNING || r.state == SERVICE_PAUSED) status.controlsAccepted = r.behaviour.controlsAccepted;
    if (r.state == SERVICE_STOPPED && !r.everStarted) status.exitCode = ERROR_SERVICE_NEVER_STARTED;
    if (r.state == SERVICE_START_PENDING || r.state == SERVICE_STOP_PENDING) {
        status.checkPoint = 1;
        const Clock::Millis now = machine_.clock.Now();
        status.waitHint = static_cast<DWORD>(r.pendingUntil > now ? r.pendingUntil - now : 0);
    }
    return status;
}

void ServiceManager::FinishStop(const std::string& upperName) {
    auto it = runtime_.find(upperName);
    if (it == runtime_.end()) return;
    it->second.state = SERVICE_STOPPED;
    it->second.pending = 0;
    RemoveIfDeleted(upperName);
}

void ServiceManager::RemoveIfDeleted(const std::string& upperName) {
    auto it = runtime_.find(upperName);
    if (it == runtime_.end() || !it->second.markedForDelete || it->second.state != SERVICE_STOPPED) return;
    for (const auto& [value, handle] : handles_) {
        if (!handle.manager && handle.service == upperName) return;
    }
    if (const std::optional<std::string> stored = StoredName(upperName)) {
        machine_.registry().DeleteKeyTree(KeyOf(*stored));
    }
    runtime_.erase(it);
}

DWORD ServiceManager::Start(const Handle& service, std::string* missingImage) {
    const std::optional<ServiceConfig> config = Config(service.service);
    if (!config) return ERROR_FILE_NOT_FOUND;
    Runtime& rt = RuntimeOf(service.service);
    if (config->start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    if (rt.markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (rt.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    if (IsLocked()) return ERROR_SERVICE_DATABASE_LOCKED;
    if (config->type & SERVICE_DRIVER) {
        // The kernel loads a driver from its image file: without the file
        // the start fails as opening it fails.
        const std::string image = DriverImageFile(*config, machine_.WindowsDir());
        if (image.empty()) return ERROR_PATH_NOT_FOUND;
        if (!machine_.files().Exists(image)) {
            const std::string folder = image.substr(0, image.rfind('\\'));
            const bool folderExists = folder.size() <= 2 || machine_.files().IsFolder(folder);
            *missingImage = image;
            return folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        }
    }
    if (rt.behaviour.startError) return rt.behaviour.startError;

    rt.everStarted = true;
    if (rt.behaviour.startDelay == 0) {
        rt.state = SERVICE_RUNNING;
    } else {
        rt.state = SERVICE_START_PENDING;
        rt.pendingUntil = machine_.clock.Now() + rt.behaviour.startDelay;
        const std::string upper = service.service;
        rt.pending = machine_.clock.ScheduleIn(rt.behaviour.startDelay, [this, upper] {
            auto it = runtime_.find(upper);
            if (it == runtime_.end() || it->second.state != SERVICE_START_PENDING) return;
            it->second.state = SERVICE_RUNNING;
            it->second.pending = 0;
        });
    }
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Control(const Handle& service, DWORD control, std::optional<ServiceStatus>* status) {
    const WindowsVersion version = machine_.Version();
    ACCESS_MASK right = 0;
    DWORD accepts = 0;  // the SERVICE_ACCEPT_* bit the service must have set
    if (control == SERVICE_CONTROL_STOP) {
        right = SERVICE_STOP;
        accepts = SERVICE_ACCEPT_STOP;
    } else if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) {
        right = SERVICE_PAUSE_CONTINUE;
        accepts = SERVICE_ACCEPT_PAUSE_CONTINUE;
    } else if (control == SERVICE_CONTROL_INTERROGATE) {
        right = SERVICE_INTERROGATE;
    } else if (control == SERVICE_CONTROL_PARAMCHANGE && !OlderThanWindows2000(version)) {
        right = SERVICE_PAUSE_CONTINUE;
        accepts = SERVICE_ACCEPT_PARAMCHANGE;
    } else if (control >= SERVICE_CONTROL_NETBINDADD && control <= SERVICE_CONTROL_NETBINDDISABLE &&
               !OlderThanWindows2000(version)) {
        right = SERVICE_PAUSE_CONTINUE;
        accepts = SERVICE_ACCEPT_NETBINDCHANGE;
    } else if (control >= kFirstUserControl && control <= kLastUserControl) {
        right = SERVICE_USER_DEFINED_CONTROL;
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    if (!service.Allows(right)) return ERROR_ACCESS_DENIED;

    const std::optional<ServiceConfig> config = Config(service.service);
    Runtime& rt = RuntimeOf(service.service);
    auto refuse = [&](DWORD error) {
        *status = Status(service.service);
        return error;
    };
    if (rt.state == SERVICE_STOPPED) return refuse(ERROR_SERVICE_NOT_ACTIVE);
    if (rt.state == SERVICE_START_PENDING || rt.state == SERVICE_STOP_PENDING) {
        return refuse(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    const bool driver = config && (config->type & SERVICE_DRIVER) != 0;
    if (driver && control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE) {
        return refuse(ERROR_INVALID_SERVICE_CONTROL);
    }
    if (accepts && !(rt.behaviour.controlsAccepted & accepts)) return refuse(ERROR_INVALID_SERVICE_CONTROL);

    if (control == SERVICE_CONTROL_STOP) {
        if (HasRunningDependents(service.service)) return ERROR_DEPENDENT_SERVICES_RUNNING;
        const std::string upper = service.service;
        if (rt.behaviour.stopDelay == 0) {
            FinishStop(upper);
        } else {
            rt.state = SERVICE_STOP_PENDING;
            rt.pendingUntil = machine_.clock.Now() + rt.behaviour.stopDelay;
            rt.pending = machine_.clock.ScheduleIn(rt.behaviour.stopDelay, [this, upper] { FinishStop(upper); });
        }
    } else if (control == SERVICE_CONTROL_PAUSE) {
        rt.state = SERVICE_PAUSED;
    } else if (control == SERVICE_CONTROL_CONTINUE) {
        rt.state = SERVICE_RUNNING;
    }
    *status = Status(service.service);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Delete(const Handle& service) {
    const std::optional<std::string> stored = StoredName(service.service);
    Runtime& rt = RuntimeOf(service.service);
    if (rt.markedForDelete || !stored) return ERROR_SERVICE_MARKED_FOR_DELETE;
    rt.markedForDelete = true;
    machine_.registry().SetDword(KeyOf(*stored), "DeleteFlag", 1);
    RemoveIfDeleted(service.service);
    return ERROR_SUCCESS;
}

}  // namespace sim
