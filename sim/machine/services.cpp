#include "sim/machine/services.h"

#include <cstring>
#include <limits>

#include "sim/include/errors.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/base/text.h"

namespace sim {

namespace {

// ---- little-endian fields in byte buffers --------------------------------------

WORD ReadWord(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

DWORD ReadDword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

void PutWord(std::string& out, WORD value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void PutDword(std::string& out, DWORD value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PatchDword(std::string& out, size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// ---- access lists -------------------------------------------------------------

constexpr size_t kAclHeader = 8;
constexpr size_t kAceFixed = 8;  // ACE_HEADER and the mask, before the SID
constexpr size_t kRelativeHeader = 20;
// How far a descriptor handed over in memory is read at most; its parts
// say their own sizes, as Windows trusts them.
constexpr size_t kMemoryReach = 0x10000;

bool IsAllowOrDeny(BYTE type) { return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE; }

// The entries of the binary ACL at `acl`, which may use at most `available`
// bytes; nullopt when it is not a valid list.
std::optional<std::vector<AccessEntry>> ParseAcl(const BYTE* acl, size_t available) {
    if (available < kAclHeader) return std::nullopt;
    const BYTE revision = acl[0];
    if (revision < ACL_REVISION || revision > ACL_REVISION_DS) return std::nullopt;
    const size_t size = ReadWord(acl + 2);
    const size_t count = ReadWord(acl + 4);
    if (size < kAclHeader || size > available) return std::nullopt;
    std::vector<AccessEntry> entries;
    size_t offset = kAclHeader;
    for (size_t i = 0; i < count; ++i) {
        if (offset + 4 > size) return std::nullopt;
        const BYTE* ace = acl + offset;
        const size_t aceSize = ReadWord(ace + 2);
        if (aceSize < 4 || offset + aceSize > size) return std::nullopt;
        AccessEntry entry;
        entry.type = ace[0];
        entry.flags = ace[1];
        if (IsAllowOrDeny(entry.type)) {
            if (aceSize < kAceFixed + 8) return std::nullopt;
            entry.mask = ReadDword(ace + 4);
            size_t sidLength = 0;
            std::optional<std::string> sid = SidFromBinary(ace + kAceFixed, aceSize - kAceFixed, &sidLength);
            if (!sid) return std::nullopt;
            entry.sid = *sid;
        } else if (aceSize >= kAceFixed) {
            entry.mask = ReadDword(ace + 4);
        }
        entries.push_back(std::move(entry));
        offset += aceSize;
    }
    return entries;
}

std::string BuildAcl(const std::vector<AccessEntry>& entries) {
    std::string body;
    for (const AccessEntry& e : entries) {
        const std::string sid = e.sid.empty() ? std::string() : SidToBinary(e.sid);
        std::string ace;
        ace += static_cast<char>(e.type);
        ace += static_cast<char>(e.flags);
        PutWord(ace, static_cast<WORD>(kAceFixed + sid.size()));
        PutDword(ace, e.mask);
        ace += sid;
        body += ace;
    }
    std::string acl;
    acl += static_cast<char>(ACL_REVISION);
    acl += '\0';
    PutWord(acl, static_cast<WORD>(kAclHeader + body.size()));
    PutWord(acl, static_cast<WORD>(entries.size()));
    PutWord(acl, 0);
    return acl + body;
}

// A descriptor laid out in `data` (self-relative), reading at most
// `available` bytes.
std::optional<SecurityDescriptor> ParseRelative(const BYTE* data, size_t available) {
    if (available < kRelativeHeader || data[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    const WORD control = ReadWord(data + 2);
    SecurityDescriptor sd;
    const DWORD owner = ReadDword(data + 4);
    const DWORD group = ReadDword(data + 8);
    const DWORD dacl = ReadDword(data + 16);
    if (owner) {
        if (owner >= available) return std::nullopt;
        std::optional<std::string> sid = SidFromBinary(data + owner, available - owner);
        if (!sid) return std::nullopt;
        sd.owner = *sid;
    }
    if (group) {
        if (group >= available) return std::nullopt;
        std::optional<std::string> sid = SidFromBinary(data + group, available - group);
        if (!sid) return std::nullopt;
        sd.group = *sid;
    }
    if (!(control & SE_DACL_PRESENT)) {
        sd.dacl = SecurityDescriptor::Dacl::Absent;
    } else if (dacl == 0) {
        sd.dacl = SecurityDescriptor::Dacl::Null;
    } else {
        if (dacl >= available) return std::nullopt;
        std::optional<std::vector<AccessEntry>> entries = ParseAcl(data + dacl, available - dacl);
        if (!entries) return std::nullopt;
        sd.dacl = SecurityDescriptor::Dacl::List;
        sd.entries = std::move(*entries);
    }
    return sd;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list) {
        if (s == item) return true;
    }
    return false;
}

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

constexpr size_t kMaxNameLength = 256;
// QueryServiceConfig's buffer is bounded by the interface to 8 KB.
constexpr DWORD kConfigBufferLimit = 8 * 1024;

bool ValidName(const char* name) {
    if (!name || !*name) return false;
    const size_t length = std::strlen(name);
    if (length > kMaxNameLength) return false;
    return std::strpbrk(name, "\\/") == nullptr;
}

std::string Hex8(DWORD value) { return "0x" + Upper(Hex(value, 0)); }

const char* ControlName(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP: return "stop";
        case SERVICE_CONTROL_PAUSE: return "pause";
        case SERVICE_CONTROL_CONTINUE: return "continue";
        case SERVICE_CONTROL_INTERROGATE: return "interrogate";
        default: return nullptr;
    }
}

std::string InformationName(SECURITY_INFORMATION information) {
    std::string out;
    auto add = [&](SECURITY_INFORMATION bit, const char* name) {
        if (information & bit) out += std::string(out.empty() ? "" : "+") + name;
    };
    add(OWNER_SECURITY_INFORMATION, "owner");
    add(GROUP_SECURITY_INFORMATION, "group");
    add(DACL_SECURITY_INFORMATION, "dacl");
    add(SACL_SECURITY_INFORMATION, "sacl");
    return out.empty() ? Hex8(information) : out;
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

}  // namespace

// ---- SIDs ------------------------------------------------------------------------

std::string SidToBinary(const std::string& text) {
    if (!StartsWithNoCase(text, "S-1-")) return std::string();
    std::vector<unsigned long long> parts;
    size_t pos = 4;
    while (pos <= text.size()) {
        const size_t dash = text.find('-', pos);
        const std::string piece = text.substr(pos, dash == std::string::npos ? std::string::npos : dash - pos);
        unsigned long long value = 0;
        if (piece.empty() || !ParseNumber(piece, value)) return std::string();
        parts.push_back(value);
        if (dash == std::string::npos) break;
        pos = dash + 1;
    }
    if (parts.empty() || parts.size() - 1 > SID_MAX_SUB_AUTHORITIES) return std::string();
    if (parts[0] >= (1ull << 48)) return std::string();
    std::string out;
    out += static_cast<char>(SID_REVISION);
    out += static_cast<char>(parts.size() - 1);
    for (int i = 5; i >= 0; --i) out += static_cast<char>((parts[0] >> (8 * i)) & 0xFF);
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] > 0xFFFFFFFFull) return std::string();
        PutDword(out, static_cast<DWORD>(parts[i]));
    }
    return out;
}

std::optional<std::string> SidFromBinary(const BYTE* data, size_t available, size_t* length) {
    if (!data || available < 8 || data[0] != SID_REVISION || data[1] > SID_MAX_SUB_AUTHORITIES) return std::nullopt;
    const size_t size = 8 + 4 * static_cast<size_t>(data[1]);
    if (size > available) return std::nullopt;
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i) authority = (authority << 8) | data[2 + i];
    // Windows writes an authority of 2^32 or more in hexadecimal.
    std::string text = "S-1-" + (authority >= (1ull << 32) ? "0x" + Upper(Hex(authority, 12)) : std::to_string(authority));
    for (size_t i = 0; i < data[1]; ++i) text += "-" + std::to_string(ReadDword(data + 8 + 4 * i));
    if (length) *length = size;
    return text;
}

// ---- descriptors -------------------------------------------------------------------

std::optional<SecurityDescriptor> SecurityDescriptor::FromMemory(const void* descriptor) {
    if (!descriptor) return std::nullopt;
    const auto* bytes = static_cast<const BYTE*>(descriptor);
    if (bytes[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    const WORD control = ReadWord(bytes + 2);
    if (control & SE_SELF_RELATIVE) return ParseRelative(bytes, kMemoryReach);

    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    SecurityDescriptor out;
    if (sd->Owner) {
        std::optional<std::string> sid = SidFromBinary(static_cast<const BYTE*>(sd->Owner), kMemoryReach);
        if (!sid) return std::nullopt;
        out.owner = *sid;
    }
    if (sd->Group) {
        std::optional<std::string> sid = SidFromBinary(static_cast<const BYTE*>(sd->Group), kMemoryReach);
        if (!sid) return std::nullopt;
        out.group = *sid;
    }
    if (!(control & SE_DACL_PRESENT)) {
        out.dacl = Dacl::Absent;
    } else if (!sd->Dacl) {
        out.dacl = Dacl::Null;
    } else {
        const auto* acl = reinterpret_cast<const BYTE*>(sd->Dacl);
        std::optional<std::vector<AccessEntry>> entries = ParseAcl(acl, ReadWord(acl + 2));
        if (!entries) return std::nullopt;
        out.dacl = Dacl::List;
        out.entries = std::move(*entries);
    }
    return out;
}

std::optional<SecurityDescriptor> SecurityDescriptor::FromSelfRelative(const std::string& bytes) {
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (bytes.size() < kRelativeHeader || !(ReadWord(data + 2) & SE_SELF_RELATIVE)) return std::nullopt;
    return ParseRelative(data, bytes.size());
}

std::string SecurityDescriptor::ToSelfRelative(SECURITY_INFORMATION parts) const {
    const bool withDacl = (parts & DACL_SECURITY_INFORMATION) && dacl != Dacl::Absent;
    WORD control = SE_SELF_RELATIVE;
    if (withDacl) control |= SE_DACL_PRESENT;
    std::string out;
    out += static_cast<char>(SECURITY_DESCRIPTOR_REVISION);
    out += '\0';
    PutWord(out, control);
    for (int i = 0; i < 4; ++i) PutDword(out, 0);
    // The parts follow in the order Windows' MakeSelfRelativeSD uses:
    // access list, owner, group.
    if (withDacl && dacl == Dacl::List) {
        PatchDword(out, 16, static_cast<DWORD>(out.size()));
        out += AclBytes();
    }
    if ((parts & OWNER_SECURITY_INFORMATION) && !owner.empty()) {
        PatchDword(out, 4, static_cast<DWORD>(out.size()));
        out += SidToBinary(owner);
    }
    if ((parts & GROUP_SECURITY_INFORMATION) && !group.empty()) {
        PatchDword(out, 8, static_cast<DWORD>(out.size()));
        out += SidToBinary(group);
    }
    return out;
}

std::string SecurityDescriptor::AclBytes() const {
    if (dacl != Dacl::List) return std::string();
    return BuildAcl(entries);
}

// ---- access checks -----------------------------------------------------------------

const GenericMapping kServiceMapping = {
    STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS,
    STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
    STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL,
    SERVICE_ALL_ACCESS,
};

const GenericMapping kManagerMapping = {
    STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
    STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK,
    SC_MANAGER_ALL_ACCESS,
};

ACCESS_MASK MapGenericRights(ACCESS_MASK access, const GenericMapping& mapping) {
    ACCESS_MASK out = access & ~static_cast<ACCESS_MASK>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access & GENERIC_READ) out |= mapping.read;
    if (access & GENERIC_WRITE) out |= mapping.write;
    if (access & GENERIC_EXECUTE) out |= mapping.execute;
    if (access & GENERIC_ALL) out |= mapping.all;
    return out;
}

std::vector<std::string> TokenSids(Principal who) {
    switch (who) {
        case Principal::Administrator:
            return {sids::kEveryone, sids::kInteractive, sids::kAuthenticatedUsers, sids::kAdministrators,
                    sids::kUsers};
        case Principal::User:
            return {sids::kEveryone, sids::kInteractive, sids::kAuthenticatedUsers, sids::kUsers};
        case Principal::LocalSystem:
            return {sids::kLocalSystem, sids::kEveryone, sids::kAuthenticatedUsers, sids::kAdministrators};
    }
    return {};
}

std::optional<ACCESS_MASK> CheckAccess(const SecurityDescriptor& descriptor, const std::vector<std::string>& token,
                                       ACCESS_MASK desired, const GenericMapping& mapping) {
    ACCESS_MASK wanted = MapGenericRights(desired, mapping);
    const bool maximum = (wanted & MAXIMUM_ALLOWED) != 0;
    wanted &= ~static_cast<ACCESS_MASK>(MAXIMUM_ALLOWED);
    if (wanted & ACCESS_SYSTEM_SECURITY) return std::nullopt;
    const ACCESS_MASK everything = mapping.all | STANDARD_RIGHTS_ALL;

    if (descriptor.dacl != SecurityDescriptor::Dacl::List) return maximum ? (everything | wanted) : wanted;

    ACCESS_MASK granted = 0;
    ACCESS_MASK denied = 0;
    if (!descriptor.owner.empty() && Contains(token, descriptor.owner)) granted |= READ_CONTROL | WRITE_DAC;
    for (const AccessEntry& e : descriptor.entries) {
        if (!IsAllowOrDeny(e.type) || (e.flags & INHERIT_ONLY_ACE) || !Contains(token, e.sid)) continue;
        const ACCESS_MASK mask = MapGenericRights(e.mask, mapping);
        if (e.type == ACCESS_ALLOWED_ACE_TYPE) {
            granted |= mask & ~denied;
        } else {
            denied |= mask & ~granted;
        }
    }
    if (wanted & ~granted) return std::nullopt;
    return maximum ? granted : wanted;
}

// ---- the service manager ---------------------------------------------------------------

const char* const ServiceManager::kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

ServiceManager::ServiceManager(Machine& machine) : machine_(machine) {}

ServiceManager::~ServiceManager() = default;

bool ServiceManager::Available() const { return machine_.IsNt(); }

std::string ServiceManager::KeyOf(const std::string& name) const { return std::string(kServicesKey) + "\\" + name; }

std::optional<std::string> ServiceManager::StoredName(const std::string& name) const {
    if (!ValidName(name.c_str())) return std::nullopt;
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
    return c;
}

bool ServiceManager::AddService(const ServiceConfig& config) {
    if (!ValidName(config.name.c_str()) || Exists(config.name)) return false;
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

// ---- handles and the transcript -----------------------------------------------------

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

DWORD ServiceManager::Note(const std::string& text, DWORD error) {
    machine_.Record("service", text + (error == ERROR_SUCCESS ? " -> ok" : " -> error " + std::to_string(error)));
    return error;
}

void ServiceManager::RecordUnavailable(const std::string& function) {
    Note(function, ERROR_CALL_NOT_IMPLEMENTED);
}

void ServiceManager::FillStatus(const std::string& name, SERVICE_STATUS* status) const {
    if (!status) return;
    std::memset(status, 0, sizeof *status);
    const std::optional<ServiceConfig> config = Config(name);
    const Runtime* rt = FindRuntime(name);
    const Runtime none;
    const Runtime& r = rt ? *rt : none;
    status->dwServiceType = config ? config->type : 0;
    status->dwCurrentState = r.state;
    if (r.state == SERVICE_RUNNING || r.state == SERVICE_PAUSED) status->dwControlsAccepted = r.behaviour.controlsAccepted;
    if (r.state == SERVICE_STOPPED && !r.everStarted) status->dwWin32ExitCode = ERROR_SERVICE_NEVER_STARTED;
    if (r.state == SERVICE_START_PENDING || r.state == SERVICE_STOP_PENDING) {
        status->dwCheckPoint = 1;
        const Clock::Millis now = machine_.clock.Now();
        status->dwWaitHint = static_cast<DWORD>(r.pendingUntil > now ? r.pendingUntil - now : 0);
    }
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

// ---- the Win32 side ---------------------------------------------------------------------

DWORD ServiceManager::OpenManager(const char* machineName, const char* database, DWORD access, SC_HANDLE* result) {
    *result = nullptr;
    const std::string what = "OpenSCManagerA access " + Hex8(access);
    if (machineName && *machineName) return Note(what + " machine " + machineName, RPC_S_SERVER_UNAVAILABLE);
    if (database && !EqualNoCase(database, SERVICES_ACTIVE_DATABASEA)) {
        return Note(what + " database " + database, EqualNoCase(database, SERVICES_FAILED_DATABASEA)
                                                        ? ERROR_DATABASE_DOES_NOT_EXIST
                                                        : ERROR_INVALID_NAME);
    }
    const std::optional<ACCESS_MASK> granted =
        CheckAccess(ManagerSecurity(), TokenSids(caller), access | SC_MANAGER_CONNECT, kManagerMapping);
    if (!granted) return Note(what, ERROR_ACCESS_DENIED);
    Handle h;
    h.manager = true;
    h.granted = *granted;
    *result = NewHandle(std::move(h));
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Open(SC_HANDLE manager, const char* name, DWORD access, SC_HANDLE* result) {
    *result = nullptr;
    const std::string what = std::string("OpenServiceA ") + (name ? name : "(null)") + " access " + Hex8(access);
    const Handle* m = FindHandle(manager);
    if (!m || !m->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!name) return Note(what, ERROR_INVALID_ADDRESS);
    if (!ValidName(name)) return Note(what, ERROR_INVALID_NAME);
    const std::optional<std::string> stored = StoredName(name);
    if (!stored) return Note(what, ERROR_SERVICE_DOES_NOT_EXIST);
    const std::optional<ACCESS_MASK> granted =
        CheckAccess(Security(*stored), TokenSids(caller), access, kServiceMapping);
    if (!granted) return Note(what, ERROR_ACCESS_DENIED);
    Handle h;
    h.service = Upper(*stored);
    h.granted = *granted;
    *result = NewHandle(std::move(h));
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Create(SC_HANDLE manager, const char* name, const char* displayName, DWORD access, DWORD type,
                             DWORD start, DWORD errorControl, const char* binaryPath, const char* group,
                             DWORD* tagId, const char* dependencies, const char* account, const char*,
                             SC_HANDLE* result) {
    *result = nullptr;
    const std::string what = std::string("CreateServiceA ") + (name ? name : "(null)");
    const Handle* m = FindHandle(manager);
    if (!m || !m->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!(m->granted & SC_MANAGER_CREATE_SERVICE)) return Note(what, ERROR_ACCESS_DENIED);
    if (!name) return Note(what, ERROR_INVALID_ADDRESS);
    if (!ValidName(name)) return Note(what, ERROR_INVALID_NAME);
    if (displayName && std::strlen(displayName) > kMaxNameLength) return Note(what, ERROR_INVALID_NAME);

    const DWORD baseType = type & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    const bool driver = baseType == SERVICE_KERNEL_DRIVER || baseType == SERVICE_FILE_SYSTEM_DRIVER;
    const bool win32 = baseType == SERVICE_WIN32_OWN_PROCESS || baseType == SERVICE_WIN32_SHARE_PROCESS;
    const bool interactive = (type & SERVICE_INTERACTIVE_PROCESS) != 0;
    if ((!driver && !win32) || (driver && interactive)) return Note(what, ERROR_INVALID_PARAMETER);
    if (start > SERVICE_DISABLED || (!driver && start < SERVICE_AUTO_START)) return Note(what, ERROR_INVALID_PARAMETER);
    if (errorControl > SERVICE_ERROR_CRITICAL) return Note(what, ERROR_INVALID_PARAMETER);
    if (!binaryPath || !*binaryPath) return Note(what, ERROR_INVALID_PARAMETER);
    if (tagId && !(driver && start <= SERVICE_SYSTEM_START)) return Note(what, ERROR_INVALID_PARAMETER);
    std::string objectName = account ? account : "";
    if (win32 && objectName.empty()) objectName = "LocalSystem";
    if (interactive && !EqualNoCase(objectName, "LocalSystem")) return Note(what, ERROR_INVALID_PARAMETER);

    if (StoredName(name)) {
        const Runtime* rt = FindRuntime(name);
        return Note(what, rt && rt->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
    }
    if (DisplayNameTaken(name, name) || (displayName && *displayName && DisplayNameTaken(displayName, name))) {
        return Note(what, ERROR_DUPLICATE_SERVICE_NAME);
    }

    ServiceConfig config;
    config.name = name;
    config.displayName = displayName ? displayName : "";
    config.type = type;
    config.start = start;
    config.errorControl = errorControl;
    config.imagePath = driver ? DriverImagePath(binaryPath, start, machine_.WindowsDir()) : std::string(binaryPath);
    config.group = group ? group : "";
    for (const char* d = dependencies; d && *d; d += std::strlen(d) + 1) config.dependencies.emplace_back(d);
    config.objectName = objectName;
    AddService(config);
    if (tagId) {
        *tagId = 1;
        machine_.registry().SetDword(KeyOf(name), "Tag", 1);
    }

    const std::optional<ACCESS_MASK> granted = CheckAccess(SecurityDescriptor(), {}, access, kServiceMapping);
    Handle h;
    h.service = Upper(name);
    h.granted = granted.value_or(0);
    *result = NewHandle(std::move(h));
    return Note(what + " binary " + binaryPath + " stored " + config.imagePath, ERROR_SUCCESS);
}

DWORD ServiceManager::QueryConfig(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD size, DWORD* needed) {
    const Handle* h = FindHandle(service);
    const std::string what = "QueryServiceConfigA " + (h ? NameOf(*h) : std::string("(bad handle)")) + " size " +
                             std::to_string(size);
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!(h->granted & SERVICE_QUERY_CONFIG)) return Note(what, ERROR_ACCESS_DENIED);
    if (!needed) return Note(what, ERROR_INVALID_ADDRESS);
    const std::optional<ServiceConfig> c = Config(h->service);
    if (!c) return Note(what, ERROR_FILE_NOT_FOUND);

    // The strings follow the structure in this order, each with its NUL;
    // the dependencies are a list ended by an empty string.
    std::string dependencies;
    for (const std::string& d : c->dependencies) dependencies += d + '\0';
    dependencies += '\0';
    if (c->dependencies.empty()) dependencies += '\0';
    const std::string shown = c->displayName.empty() ? c->name : c->displayName;
    const std::string strings[] = {c->imagePath + '\0', c->group + '\0', dependencies, c->objectName + '\0',
                                   shown + '\0'};
    DWORD required = sizeof(QUERY_SERVICE_CONFIGA);
    for (const std::string& s : strings) required += static_cast<DWORD>(s.size());
    *needed = required;
    const DWORD offered = size > kConfigBufferLimit ? kConfigBufferLimit : size;
    if (!config || offered < required) return Note(what, ERROR_INSUFFICIENT_BUFFER);

    char* p = reinterpret_cast<char*>(config + 1);
    char* places[5] = {};
    for (size_t i = 0; i < 5; ++i) {
        places[i] = p;
        std::memcpy(p, strings[i].data(), strings[i].size());
        p += strings[i].size();
    }
    config->dwServiceType = c->type;
    config->dwStartType = c->start;
    config->dwErrorControl = c->errorControl;
    config->lpBinaryPathName = places[0];
    config->lpLoadOrderGroup = places[1];
    config->dwTagId = machine_.registry().GetDword(KeyOf(c->name), "Tag").value_or(0);
    config->lpDependencies = places[2];
    config->lpServiceStartName = places[3];
    config->lpDisplayName = places[4];
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    const Handle* h = FindHandle(service);
    const std::string what = "QueryServiceStatus " + (h ? NameOf(*h) : std::string("(bad handle)"));
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!(h->granted & SERVICE_QUERY_STATUS)) return Note(what, ERROR_ACCESS_DENIED);
    if (!status) return Note(what, ERROR_INVALID_ADDRESS);
    FillStatus(h->service, status);
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Start(SC_HANDLE service, DWORD argc, const char** argv) {
    const Handle* h = FindHandle(service);
    std::string what = "StartServiceA " + (h ? NameOf(*h) : std::string("(bad handle)"));
    if (argv) {
        for (DWORD i = 0; i < argc; ++i) what += std::string(" ") + (argv[i] ? argv[i] : "(null)");
    }
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!(h->granted & SERVICE_START)) return Note(what, ERROR_ACCESS_DENIED);
    if (argc && !argv) return Note(what, ERROR_INVALID_PARAMETER);
    const std::optional<ServiceConfig> config = Config(h->service);
    if (!config) return Note(what, ERROR_FILE_NOT_FOUND);
    Runtime& rt = RuntimeOf(h->service);
    if (config->start == SERVICE_DISABLED) return Note(what, ERROR_SERVICE_DISABLED);
    if (rt.markedForDelete) return Note(what, ERROR_SERVICE_MARKED_FOR_DELETE);
    if (rt.state != SERVICE_STOPPED) return Note(what, ERROR_SERVICE_ALREADY_RUNNING);
    if (IsLocked()) return Note(what, ERROR_SERVICE_DATABASE_LOCKED);
    if (config->type & SERVICE_DRIVER) {
        // The kernel loads a driver from its image file: without the file
        // the start fails as opening it fails.
        const std::string image = DriverImageFile(*config, machine_.WindowsDir());
        if (image.empty()) return Note(what, ERROR_PATH_NOT_FOUND);
        if (!machine_.files().Exists(image)) {
            const std::string folder = image.substr(0, image.rfind('\\'));
            const bool folderExists = folder.size() <= 2 || machine_.files().IsFolder(folder);
            return Note(what + " image " + image, folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        }
    }
    if (rt.behaviour.startError) return Note(what, rt.behaviour.startError);

    rt.everStarted = true;
    if (rt.behaviour.startDelay == 0) {
        rt.state = SERVICE_RUNNING;
    } else {
        rt.state = SERVICE_START_PENDING;
        rt.pendingUntil = machine_.clock.Now() + rt.behaviour.startDelay;
        const std::string upper = h->service;
        rt.pending = machine_.clock.ScheduleIn(rt.behaviour.startDelay, [this, upper] {
            auto it = runtime_.find(upper);
            if (it == runtime_.end() || it->second.state != SERVICE_START_PENDING) return;
            it->second.state = SERVICE_RUNNING;
            it->second.pending = 0;
        });
    }
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status, bool* filled) {
    *filled = false;
    const Handle* h = FindHandle(service);
    const char* controlName = ControlName(control);
    const std::string what = "ControlService " + (h ? NameOf(*h) : std::string("(bad handle)")) + " " +
                             (controlName ? std::string(controlName) : "control " + std::to_string(control));
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);

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
    } else if (control == SERVICE_CONTROL_PARAMCHANGE && machine_.Version() != WindowsVersion::NT4 &&
               machine_.Version() != WindowsVersion::NT351) {
        right = SERVICE_PAUSE_CONTINUE;
        accepts = SERVICE_ACCEPT_PARAMCHANGE;
    } else if (control >= SERVICE_CONTROL_NETBINDADD && control <= SERVICE_CONTROL_NETBINDDISABLE &&
               machine_.Version() != WindowsVersion::NT4 && machine_.Version() != WindowsVersion::NT351) {
        right = SERVICE_PAUSE_CONTINUE;
        accepts = SERVICE_ACCEPT_NETBINDCHANGE;
    } else if (control >= 128 && control <= 255) {
        right = SERVICE_USER_DEFINED_CONTROL;
    } else {
        return Note(what, ERROR_INVALID_PARAMETER);
    }
    if (!(h->granted & right)) return Note(what, ERROR_ACCESS_DENIED);

    const std::optional<ServiceConfig> config = Config(h->service);
    Runtime& rt = RuntimeOf(h->service);
    auto refuse = [&](DWORD error) {
        FillStatus(h->service, status);
        *filled = status != nullptr;
        return Note(what, error);
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
        if (HasRunningDependents(h->service)) return Note(what, ERROR_DEPENDENT_SERVICES_RUNNING);
        const std::string upper = h->service;
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
    FillStatus(h->service, status);
    *filled = status != nullptr;
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Delete(SC_HANDLE service) {
    const Handle* h = FindHandle(service);
    const std::string what = "DeleteService " + (h ? NameOf(*h) : std::string("(bad handle)"));
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!(h->granted & DELETE)) return Note(what, ERROR_ACCESS_DENIED);
    const std::optional<std::string> stored = StoredName(h->service);
    Runtime& rt = RuntimeOf(h->service);
    if (rt.markedForDelete || !stored) return Note(what, ERROR_SERVICE_MARKED_FOR_DELETE);
    rt.markedForDelete = true;
    machine_.registry().SetDword(KeyOf(*stored), "DeleteFlag", 1);
    RemoveIfDeleted(h->service);
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Lock(SC_HANDLE manager, SC_LOCK* lock) {
    *lock = nullptr;
    const Handle* m = FindHandle(manager);
    if (!m || !m->manager) return Note("LockServiceDatabase", ERROR_INVALID_HANDLE);
    if (!(m->granted & SC_MANAGER_LOCK)) return Note("LockServiceDatabase", ERROR_ACCESS_DENIED);
    if (IsLocked()) return Note("LockServiceDatabase", ERROR_SERVICE_DATABASE_LOCKED);
    const std::uintptr_t value = machine_.NewHandleValue();
    locks_.insert(value);
    *lock = reinterpret_cast<SC_LOCK>(value);
    return Note("LockServiceDatabase", ERROR_SUCCESS);
}

DWORD ServiceManager::Unlock(SC_LOCK lock) {
    if (locks_.erase(reinterpret_cast<std::uintptr_t>(lock)) == 0) {
        return Note("UnlockServiceDatabase", ERROR_INVALID_SERVICE_LOCK);
    }
    return Note("UnlockServiceDatabase", ERROR_SUCCESS);
}

DWORD ServiceManager::SetObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, const void* descriptor) {
    const Handle* h = FindHandle(service);
    const std::string what = "SetServiceObjectSecurity " + (h ? NameOf(*h) : std::string("(bad handle)")) + " " +
                             InformationName(information);
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    constexpr SECURITY_INFORMATION kKnown = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    if (!information || (information & ~kKnown) || !descriptor) return Note(what, ERROR_INVALID_PARAMETER);
    const std::optional<SecurityDescriptor> given = SecurityDescriptor::FromMemory(descriptor);
    if (!given) return Note(what, ERROR_INVALID_PARAMETER);
    ACCESS_MASK needed = 0;
    if (information & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
    // Changing the audit list needs ACCESS_SYSTEM_SECURITY, which no
    // handle of the emulator holds.
    if ((h->granted & needed) != needed || (information & SACL_SECURITY_INFORMATION)) {
        return Note(what, ERROR_ACCESS_DENIED);
    }
    const Runtime* rt = FindRuntime(h->service);
    if (rt && rt->markedForDelete) return Note(what, ERROR_SERVICE_MARKED_FOR_DELETE);
    if (!Exists(h->service)) return Note(what, ERROR_FILE_NOT_FOUND);

    SecurityDescriptor merged = Security(h->service);
    if (information & OWNER_SECURITY_INFORMATION) merged.owner = given->owner;
    if (information & GROUP_SECURITY_INFORMATION) merged.group = given->group;
    if (information & DACL_SECURITY_INFORMATION) {
        merged.dacl = given->dacl;
        merged.entries = given->entries;
        // The stored list holds specific rights, as Windows maps generic
        // ones when it applies a descriptor.
        for (AccessEntry& e : merged.entries) e.mask = MapGenericRights(e.mask, kServiceMapping);
    }
    SetSecurity(h->service, merged);
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::QueryObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, void* descriptor,
                                          DWORD size, DWORD* needed) {
    const Handle* h = FindHandle(service);
    const std::string what = "QueryServiceObjectSecurity " + (h ? NameOf(*h) : std::string("(bad handle)")) + " " +
                             InformationName(information);
    if (!h || h->manager) return Note(what, ERROR_INVALID_HANDLE);
    if (!needed) return Note(what, ERROR_INVALID_ADDRESS);
    if (information & SACL_SECURITY_INFORMATION) return Note(what, ERROR_ACCESS_DENIED);
    if ((information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) &&
        !(h->granted & READ_CONTROL)) {
        return Note(what, ERROR_ACCESS_DENIED);
    }
    const std::string bytes = Security(h->service).ToSelfRelative(information);
    *needed = static_cast<DWORD>(bytes.size());
    if (!descriptor || size < bytes.size()) return Note(what, ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(descriptor, bytes.data(), bytes.size());
    return Note(what, ERROR_SUCCESS);
}

DWORD ServiceManager::Close(SC_HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) return Note("CloseServiceHandle (bad handle)", ERROR_INVALID_HANDLE);
    const std::string what = "CloseServiceHandle " + NameOf(it->second);
    const bool manager = it->second.manager;
    const std::string service = it->second.service;
    handles_.erase(it);
    if (!manager) RemoveIfDeleted(service);
    return Note(what, ERROR_SUCCESS);
}

}  // namespace sim
