// The service database: which keys below the services key are services,
// their configurations, access lists and run states as scenarios and tests
// set and read them. Nothing here records to the transcript; a bad name or
// a missing service is answered with false or nullopt and changes nothing.
#include "sim/machine/services.h"

#include "sim/base/text.h"
#include "sim/include/errors.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace sim {

const char* const ServiceManager::kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

ServiceManager::ServiceManager(Machine& machine) : machine_(machine) {}

ServiceManager::~ServiceManager() = default;

bool ServiceManager::Available() const { return machine_.IsNt(); }

bool ServiceManager::ValidName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    return name.find_first_of("\\/") == std::string::npos;
}

std::string ServiceManager::KeyOf(const std::string& name) const { return std::string(kServicesKey) + "\\" + name; }

std::optional<std::string> ServiceManager::StoredName(const std::string& name) const {
    if (!ValidName(name)) return std::nullopt;
    Registry& reg = machine_.registry();
    for (const std::string& key : reg.SubKeys(kServicesKey)) {
        if (EqualNoCase(key, name)) {
            if (!reg.GetDword(KeyOf(key), "Type")) return std::nullopt;
            return key;
        }
    }
    return std::nullopt;
}

bool ServiceManager::Exists(const std::string& name) const { return StoredName(name).has_value(); }

std::vector<std::string> ServiceManager::Names() const {
    std::vector<std::string> out;
    Registry& reg = machine_.registry();
    for (const std::string& key : reg.SubKeys(kServicesKey)) {
        if (reg.GetDword(KeyOf(key), "Type")) out.push_back(key);
    }
    return out;
}

std::optional<ServiceConfig> ServiceManager::Config(const std::string& name) const {
    const std::optional<std::string> stored = StoredName(name);
    if (!stored) return std::nullopt;
    Registry& reg = machine_.registry();
    const std::string key = KeyOf(*stored);
    auto text = [&](const char* value) {
        std::string s = reg.GetString(key, value).value_or(std::string());
        // A string ends at its first NUL, whatever the value holds behind it.
        const size_t nul = s.find('\0');
        if (nul != std::string::npos) s.resize(nul);
        return s;
    };
    ServiceConfig c;
    c.name = *stored;
    c.type = reg.GetDword(key, "Type").value_or(0);
    c.start = reg.GetDword(key, "Start").value_or(SERVICE_DEMAND_START);
    c.errorControl = reg.GetDword(key, "ErrorControl").value_or(SERVICE_ERROR_NORMAL);
    c.imagePath = text("ImagePath");
    c.group = text("Group");
    c.objectName = text("ObjectName");
    c.displayName = text("DisplayName");
    for (const std::string& s : reg.GetMultiString(key, "DependOnService").value_or(std::vector<std::string>())) {
        c.dependencies.push_back(s);
    }
    for (const std::string& g : reg.GetMultiString(key, "DependOnGroup").value_or(std::vector<std::string>())) {
        c.dependencies.push_back("+" + g);
    }
    c.tag = reg.GetDword(key, "Tag").value_or(0);
    return c;
}

bool ServiceManager::AddService(const ServiceConfig& config) {
    if (!ValidName(config.name) || Exists(config.name)) return false;
    Registry& reg = machine_.registry();
    const std::string key = KeyOf(config.name);
    reg.SetDword(key, "Type", config.type);
    reg.SetDword(key, "Start", config.start);
    reg.SetDword(key, "ErrorControl", config.errorControl);
    reg.SetString(key, "ImagePath", config.imagePath, REG_EXPAND_SZ);
    if (!config.displayName.empty()) reg.SetString(key, "DisplayName", config.displayName);
    if (!config.group.empty()) reg.SetString(key, "Group", config.group);
    std::vector<std::string> services;
    std::vector<std::string> groups;
    for (const std::string& d : config.dependencies) {
        if (!d.empty() && d[0] == '+') {
            groups.push_back(d.substr(1));
        } else if (!d.empty()) {
            services.push_back(d);
        }
    }
    if (!services.empty()) reg.SetMultiString(key, "DependOnService", services);
    if (!groups.empty()) reg.SetMultiString(key, "DependOnGroup", groups);
    if (!config.objectName.empty()) reg.SetString(key, "ObjectName", config.objectName);
    if (config.tag) reg.SetDword(key, "Tag", config.tag);
    const std::string sd = DefaultSecurity().ToSelfRelative();
    reg.SetValue(key + "\\Security", "Security", REG_BINARY, sd);
    Runtime& rt = RuntimeOf(config.name);
    CancelPending(rt);
    rt = Runtime();
    return true;
}

ServiceManager::Runtime& ServiceManager::RuntimeOf(const std::string& name) { return runtime_[Upper(name)]; }

const ServiceManager::Runtime* ServiceManager::FindRuntime(const std::string& name) const {
    auto it = runtime_.find(Upper(name));
    return it == runtime_.end() ? nullptr : &it->second;
}

void ServiceManager::CancelPending(Runtime& rt) {
    if (rt.pending) machine_.clock.Cancel(rt.pending);
    rt.pending = 0;
}

bool ServiceManager::SetRunState(const std::string& name, const ServiceRunState& run) {
    if (!Exists(name)) return false;
    Runtime& rt = RuntimeOf(name);
    CancelPending(rt);
    rt.behaviour = run;
    rt.state = run.state;
    if (run.state != SERVICE_STOPPED) rt.everStarted = true;
    return true;
}

std::optional<ServiceRunState> ServiceManager::RunState(const std::string& name) const {
    if (!Exists(name)) return std::nullopt;
    ServiceRunState out;
    if (const Runtime* rt = FindRuntime(name)) {
        out = rt->behaviour;
        out.state = rt->state;
    }
    return out;
}

DWORD ServiceManager::State(const std::string& name) const {
    if (!Exists(name)) return 0;
    const Runtime* rt = FindRuntime(name);
    return rt ? rt->state : static_cast<DWORD>(SERVICE_STOPPED);
}

bool ServiceManager::IsMarkedForDelete(const std::string& name) const {
    const Runtime* rt = FindRuntime(name);
    return rt && rt->markedForDelete;
}

SecurityDescriptor ServiceManager::DefaultSecurity() {
    const ACCESS_MASK control = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                                SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;
    const ACCESS_MASK query = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                              SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;
    SecurityDescriptor sd;
    sd.owner = sids::kLocalSystem;
    sd.group = sids::kLocalSystem;
    sd.dacl = SecurityDescriptor::Dacl::List;
    sd.entries = {
        {ACCESS_ALLOWED_ACE_TYPE, 0, query, sids::kAuthenticatedUsers},
        {ACCESS_ALLOWED_ACE_TYPE, 0, control, sids::kPowerUsers},
        {ACCESS_ALLOWED_ACE_TYPE, 0, SERVICE_ALL_ACCESS, sids::kAdministrators},
        {ACCESS_ALLOWED_ACE_TYPE, 0, control, sids::kLocalSystem},
    };
    return sd;
}

SecurityDescriptor ServiceManager::Security(const std::string& name) const {
    const std::optional<std::string> stored = StoredName(name);
    if (stored) {
        std::optional<RegValue> v = machine_.registry().GetValue(KeyOf(*stored) + "\\Security", "Security");
        if (v) {
            if (std::optional<SecurityDescriptor> sd = SecurityDescriptor::FromSelfRelative(v->data)) return *sd;
        }
    }
    return DefaultSecurity();
}

bool ServiceManager::SetSecurity(const std::string& name, const SecurityDescriptor& descriptor) {
    const std::optional<std::string> stored = StoredName(name);
    if (!stored) return false;
    return machine_.registry().SetValue(KeyOf(*stored) + "\\Security", "Security", REG_BINARY,
                                        descriptor.ToSelfRelative());
}

bool ServiceManager::MayAccess(const std::string& name, Principal who, ACCESS_MASK rights) const {
    if (!Exists(name)) return false;
    return CheckAccess(Security(name), TokenSids(who), rights, kServiceMapping).has_value();
}

bool ServiceManager::IsLocked() const {
    if (!locks_.empty()) return true;
    return lockedElsewhereUntil_ && machine_.clock.Now() < *lockedElsewhereUntil_;
}

bool ServiceManager::HasRunningDependents(const std::string& name) const {
    for (const std::string& other : Names()) {
        if (EqualNoCase(other, name)) continue;
        const std::optional<ServiceConfig> config = Config(other);
        if (!config) continue;
        for (const std::string& d : config->dependencies) {
            if (EqualNoCase(d, name) && State(other) != SERVICE_STOPPED) return true;
        }
    }
    return false;
}

bool ServiceManager::DisplayNameTaken(const std::string& displayName, const std::string& exceptName) const {
    for (const std::string& other : Names()) {
        if (EqualNoCase(other, exceptName)) continue;
        const std::optional<ServiceConfig> config = Config(other);
        if (!config) continue;
        const std::string& shown = config->displayName.empty() ? config->name : config->displayName;
        if (EqualNoCase(shown, displayName) || EqualNoCase(other, displayName)) return true;
    }
    return false;
}

}  // namespace sim
