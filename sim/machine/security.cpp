// SIDs, access lists and descriptors in their binary layouts, and the
// access check. Everything here is a pure function of its arguments: the
// readers answer nullopt for a malformed structure and change nothing.
#include "sim/machine/security.h"

#include <string_view>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/include/services.h"

namespace sim {

namespace {

constexpr size_t kAclHeader = 8;        // ACL: revision, pad, size, count, pad
constexpr size_t kAceFixed = 8;         // ACE_HEADER and the mask, before the SID
constexpr size_t kSidAuthorityBytes = 6;  // the identifier authority, most significant first

// The self-relative header: revision, pad, control, then the offsets of
// owner, group, audit list and access list.
constexpr size_t kRelativeHeader = 20;
constexpr size_t kControlAt = 2;
constexpr size_t kOwnerAt = 4;
constexpr size_t kGroupAt = 8;
constexpr size_t kDaclAt = 16;

// How far a descriptor handed over in memory is read at most; its parts
// say their own sizes, as Windows trusts them.
constexpr size_t kMemoryReach = 0x10000;

std::string_view Bytes(const BYTE* data, size_t available) {
    return std::string_view(reinterpret_cast<const char*>(data), available);
}

WORD Word(std::string_view data, size_t at) { return static_cast<WORD>(GetLe(data, at, 2)); }
DWORD Dword(std::string_view data, size_t at) { return static_cast<DWORD>(GetLe(data, at, 4)); }

bool IsAllowOrDeny(BYTE type) { return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE; }

std::string BuildAcl(const std::vector<AccessEntry>& entries) {
    std::string body;
    for (const AccessEntry& e : entries) {
        const std::string sid = e.sid.empty() ? std::string() : SidToBinary(e.sid);
        body += static_cast<char>(e.type);
        body += static_cast<char>(e.flags);
        AppendLe(body, kAceFixed + sid.size(), 2);
        AppendLe(body, e.mask, 4);
        body += sid;
    }
    std::string acl;
    acl += static_cast<char>(ACL_REVISION);
    acl += '\0';
    AppendLe(acl, kAclHeader + body.size(), 2);
    AppendLe(acl, entries.size(), 2);
    AppendLe(acl, 0, 2);
    return acl + body;
}

// The SID at `offset` of a self-relative descriptor: "" when the offset is
// 0 (none), nullopt when it points outside or at no valid SID.
std::optional<std::string> RelativeSid(const BYTE* data, size_t available, DWORD offset) {
    if (offset == 0) return std::string();
    if (offset >= available) return std::nullopt;
    return SidFromBinary(data + offset, available - offset);
}

// A descriptor laid out in `data` (self-relative), reading at most
// `available` bytes.
std::optional<SecurityDescriptor> ParseRelative(const BYTE* data, size_t available) {
    if (available < kRelativeHeader || data[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    const std::string_view header = Bytes(data, kRelativeHeader);
    const WORD control = Word(header, kControlAt);
    SecurityDescriptor sd;
    std::optional<std::string> owner = RelativeSid(data, available, Dword(header, kOwnerAt));
    std::optional<std::string> group = RelativeSid(data, available, Dword(header, kGroupAt));
    if (!owner || !group) return std::nullopt;
    sd.owner = std::move(*owner);
    sd.group = std::move(*group);
    const DWORD dacl = Dword(header, kDaclAt);
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

// The SID an absolute descriptor points at: "" for none.
std::optional<std::string> AbsoluteSid(const void* sid) {
    if (!sid) return std::string();
    return SidFromBinary(static_cast<const BYTE*>(sid), kMemoryReach);
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list) {
        if (s == item) return true;
    }
    return false;
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
    if (parts[0] >= (1ull << (8 * kSidAuthorityBytes))) return std::string();
    std::string out;
    out += static_cast<char>(SID_REVISION);
    out += static_cast<char>(parts.size() - 1);
    for (size_t i = kSidAuthorityBytes; i-- > 0;) out += static_cast<char>((parts[0] >> (8 * i)) & 0xFF);
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] > 0xFFFFFFFFull) return std::string();
        AppendLe(out, parts[i], 4);
    }
    return out;
}

std::optional<std::string> SidFromBinary(const BYTE* data, size_t available, size_t* length) {
    if (!data || available < SidLength(0) || data[0] != SID_REVISION || data[1] > SID_MAX_SUB_AUTHORITIES) {
        return std::nullopt;
    }
    const size_t count = data[1];
    const size_t size = SidLength(count);
    if (size > available) return std::nullopt;
    const std::string_view sid = Bytes(data, size);
    unsigned long long authority = 0;
    for (size_t i = 0; i < kSidAuthorityBytes; ++i) authority = (authority << 8) | data[2 + i];
    // Windows writes an authority of 2^32 or more in hexadecimal.
    std::string text =
        "S-1-" + (authority >= (1ull << 32) ? "0x" + Upper(Hex(authority, 12)) : std::to_string(authority));
    for (size_t i = 0; i < count; ++i) text += "-" + std::to_string(Dword(sid, SidLength(i)));
    if (length) *length = size;
    return text;
}

// ---- access lists and descriptors -----------------------------------------------------

std::optional<std::vector<AccessEntry>> ParseAcl(const BYTE* acl, size_t available) {
    if (!acl || available < kAclHeader) return std::nullopt;
    const BYTE revision = acl[0];
    if (revision < ACL_REVISION || revision > ACL_REVISION_DS) return std::nullopt;
    const std::string_view header = Bytes(acl, kAclHeader);
    const size_t size = Word(header, 2);
    const size_t count = Word(header, 4);
    if (size < kAclHeader || size > available) return std::nullopt;
    const std::string_view list = Bytes(acl, size);
    std::vector<AccessEntry> entries;
    size_t offset = kAclHeader;
    for (size_t i = 0; i < count; ++i) {
        if (offset + 4 > size) return std::nullopt;
        const size_t aceSize = Word(list, offset + 2);
        if (aceSize < 4 || offset + aceSize > size) return std::nullopt;
        AccessEntry entry;
        entry.type = acl[offset];
        entry.flags = acl[offset + 1];
        if (IsAllowOrDeny(entry.type)) {
            if (aceSize < kAceFixed + SidLength(0)) return std::nullopt;
            entry.mask = Dword(list, offset + 4);
            std::optional<std::string> sid = SidFromBinary(acl + offset + kAceFixed, aceSize - kAceFixed);
            if (!sid) return std::nullopt;
            entry.sid = *sid;
        } else if (aceSize >= kAceFixed) {
            entry.mask = Dword(list, offset + 4);
        }
        entries.push_back(std::move(entry));
        offset += aceSize;
    }
    return entries;
}

std::optional<SecurityDescriptor> SecurityDescriptor::FromMemory(const void* descriptor) {
    if (!descriptor) return std::nullopt;
    const auto* bytes = static_cast<const BYTE*>(descriptor);
    if (bytes[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    const WORD control = Word(Bytes(bytes, kControlAt + 2), kControlAt);
    if (control & SE_SELF_RELATIVE) return ParseRelative(bytes, kMemoryReach);

    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    SecurityDescriptor out;
    std::optional<std::string> owner = AbsoluteSid(sd->Owner);
    std::optional<std::string> group = AbsoluteSid(sd->Group);
    if (!owner || !group) return std::nullopt;
    out.owner = std::move(*owner);
    out.group = std::move(*group);
    if (!(control & SE_DACL_PRESENT)) {
        out.dacl = Dacl::Absent;
    } else if (!sd->Dacl) {
        out.dacl = Dacl::Null;
    } else {
        std::optional<std::vector<AccessEntry>> entries = ParseAcl(reinterpret_cast<const BYTE*>(sd->Dacl),
                                                                   sd->Dacl->AclSize);
        if (!entries) return std::nullopt;
        out.dacl = Dacl::List;
        out.entries = std::move(*entries);
    }
    return out;
}

std::optional<SecurityDescriptor> SecurityDescriptor::FromSelfRelative(const std::string& bytes) {
    if (bytes.size() < kRelativeHeader || !(Word(bytes, kControlAt) & SE_SELF_RELATIVE)) return std::nullopt;
    return ParseRelative(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

std::string SecurityDescriptor::ToSelfRelative(SECURITY_INFORMATION parts) const {
    const bool withDacl = (parts & DACL_SECURITY_INFORMATION) && dacl != Dacl::Absent;
    WORD control = SE_SELF_RELATIVE;
    if (withDacl) control |= SE_DACL_PRESENT;
    std::string out;
    out += static_cast<char>(SECURITY_DESCRIPTOR_REVISION);
    out += '\0';
    AppendLe(out, control, 2);
    out.resize(kRelativeHeader, '\0');
    // The parts follow in the order Windows' MakeSelfRelativeSD uses:
    // access list, owner, group.
    if (withDacl && dacl == Dacl::List) {
        PutLe(out, kDaclAt, out.size(), 4);
        out += AclBytes();
    }
    if ((parts & OWNER_SECURITY_INFORMATION) && !owner.empty()) {
        PutLe(out, kOwnerAt, out.size(), 4);
        out += SidToBinary(owner);
    }
    if ((parts & GROUP_SECURITY_INFORMATION) && !group.empty()) {
        PutLe(out, kGroupAt, out.size(), 4);
        out += SidToBinary(group);
    }
    return out;
}

std::string SecurityDescriptor::AclBytes() const {
    if (dacl != Dacl::List) return std::string();
    return BuildAcl(entries);
}

std::optional<SecurityDescriptor::Dacl> DaclOf(const void* descriptor) {
    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    if (!(sd->Control & SE_DACL_PRESENT)) return SecurityDescriptor::Dacl::Absent;
    // A self-relative descriptor holds offsets where the absolute one has
    // pointers; only the layout's own field is read.
    const bool null = (sd->Control & SE_SELF_RELATIVE)
                          ? Dword(Bytes(static_cast<const BYTE*>(descriptor), kRelativeHeader), kDaclAt) == 0
                          : sd->Dacl == nullptr;
    return null ? SecurityDescriptor::Dacl::Null : SecurityDescriptor::Dacl::List;
}

std::string SecurityInformationText(SECURITY_INFORMATION information) {
    std::string out;
    auto add = [&](SECURITY_INFORMATION bit, const char* name) {
        if (information & bit) out += std::string(out.empty() ? "" : "+") + name;
    };
    add(OWNER_SECURITY_INFORMATION, "owner");
    add(GROUP_SECURITY_INFORMATION, "group");
    add(DACL_SECURITY_INFORMATION, "dacl");
    add(SACL_SECURITY_INFORMATION, "sacl");
    return out.empty() ? "0x" + Upper(Hex(information, 0)) : out;
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

const GenericMapping kKeyMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};

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

}  // namespace sim
