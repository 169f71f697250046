// Security identifiers, access lists, security descriptors and the access
// check, shared by the registry and the service manager.
//
// Descriptors are kept as values (SecurityDescriptor): SIDs in their text
// form, the access list as a vector of entries. The binary layouts Windows
// uses (SIDs, ACLs, the absolute descriptor with pointers and the
// self-relative one with offsets) are read and written here and nowhere
// else. A reader that meets a malformed structure answers nullopt and
// touches nothing; the callers turn that into their function's error.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/kernel.h"  // before registry.h, which uses its types
#include "sim/include/registry.h"
#include "sim/include/types.h"

namespace sim {

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

// The size of a SID with `subAuthorities` sub-authorities.
constexpr size_t SidLength(size_t subAuthorities) { return 8 + 4 * subAuthorities; }

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

// What a descriptor handed over in memory (either layout) says about its
// access list, reading only its header, as the registry's key functions
// look at it; nullopt when its revision is not SECURITY_DESCRIPTOR_REVISION.
std::optional<SecurityDescriptor::Dacl> DaclOf(const void* descriptor);

// The entries of the binary ACL at `acl`, reading at most `available`
// bytes; nullopt when it is not a valid list.
std::optional<std::vector<AccessEntry>> ParseAcl(const BYTE* acl, size_t available);

// "owner+dacl" for a set of OWNER_, GROUP_, DACL_ and SACL_SECURITY_INFORMATION
// bits; the number in hexadecimal when none of them is set.
std::string SecurityInformationText(SECURITY_INFORMATION information);

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
// The generic rights of service objects, of the service manager and of
// registry keys.
extern const GenericMapping kServiceMapping;
extern const GenericMapping kManagerMapping;
extern const GenericMapping kKeyMapping;
ACCESS_MASK MapGenericRights(ACCESS_MASK access, const GenericMapping& mapping);

// The rights the descriptor grants a token asking for `desired` (generic
// rights mapped, MAXIMUM_ALLOWED understood), as Windows' access check
// computes them: entries in order, an allowed entry granting what no
// earlier entry denied, a denied entry refusing what no earlier entry
// granted; the owner may always read and change the access list. nullopt
// when a wanted right is refused. ACCESS_SYSTEM_SECURITY is never granted.
std::optional<ACCESS_MASK> CheckAccess(const SecurityDescriptor& descriptor, const std::vector<std::string>& token,
                                       ACCESS_MASK desired, const GenericMapping& mapping);

}  // namespace sim
