// Advapi32's functions that build and check SIDs, access lists and
// absolute security descriptors in the caller's memory. They act on no
// object of the machine, so nothing fails on demand; a failure sets the
// last error and is recorded on the "failure" channel. The 9x family
// exports them as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED
// (GetSidLengthRequired, GetSidSubAuthority and GetLengthSid, which only
// compute, answer there too).
#include <cstddef>
#include <cstring>
#include <string_view>

#include "sim/base/bytes.h"
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/security.h"

using sim::Current;
using sim::dll::Fail;

namespace {

// The stub answer of the 9x family; true when the machine has no security.
bool NotNt(const char* call) {
    if (Current().IsNt()) return false;
    Fail(call, "", ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

BOOL Failed(const char* call, DWORD error) {
    Fail(call, "", error);
    return FALSE;
}

bool RevisionKnown(DWORD revision) { return revision >= ACL_REVISION && revision <= ACL_REVISION_DS; }

BOOL AddAce(const char* call, PACL acl, DWORD revision, DWORD mask, PSID sid, BYTE type) {
    if (NotNt(call)) return FALSE;
    if (!IsValidAcl(acl)) return Failed(call, ERROR_INVALID_ACL);
    if (!IsValidSid(sid)) return Failed(call, ERROR_INVALID_SID);
    if (!RevisionKnown(revision)) return Failed(call, ERROR_REVISION_MISMATCH);
    // The entries already there, each saying its own size, end where the
    // new one goes.
    auto* bytes = reinterpret_cast<BYTE*>(acl);
    const std::string_view list(reinterpret_cast<const char*>(bytes), acl->AclSize);
    size_t end = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) end += sim::GetLe(list, end + offsetof(ACE_HEADER, AceSize), 2);
    const DWORD sidLength = GetLengthSid(sid);
    const size_t aceSize = offsetof(ACCESS_ALLOWED_ACE, SidStart) + sidLength;
    if (end + aceSize > acl->AclSize) return Failed(call, ERROR_ALLOTTED_SPACE_EXCEEDED);
    ACCESS_ALLOWED_ACE ace = {};
    ace.Header.AceType = type;
    ace.Header.AceFlags = 0;
    ace.Header.AceSize = static_cast<WORD>(aceSize);
    ace.Mask = mask;
    std::memcpy(bytes + end, &ace, offsetof(ACCESS_ALLOWED_ACE, SidStart));
    std::memcpy(bytes + end + offsetof(ACCESS_ALLOWED_ACE, SidStart), sid, sidLength);
    ++acl->AceCount;
    if (revision > acl->AclRevision) acl->AclRevision = static_cast<BYTE>(revision);
    return TRUE;
}

}  // namespace

// ---- SIDs ------------------------------------------------------------------------

DWORD GetSidLengthRequired(UCHAR subAuthorityCount) { return static_cast<DWORD>(sim::SidLength(subAuthorityCount)); }

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount) {
    if (NotNt("InitializeSid")) return FALSE;
    if (subAuthorityCount > SID_MAX_SUB_AUTHORITIES) return Failed("InitializeSid", ERROR_INVALID_PARAMETER);
    auto* s = static_cast<SID*>(sid);
    s->Revision = SID_REVISION;
    s->SubAuthorityCount = subAuthorityCount;
    s->IdentifierAuthority = *authority;
    return TRUE;
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    // As in Windows, the index is not checked against the SID's count.
    return sid ? reinterpret_cast<PDWORD>(static_cast<BYTE*>(sid) + sim::SidLength(index)) : nullptr;
}

BOOL IsValidSid(PSID sid) {
    if (NotNt("IsValidSid")) return FALSE;
    return sim::SidFromBinary(static_cast<const BYTE*>(sid), sim::SidLength(SID_MAX_SUB_AUTHORITIES)).has_value();
}

DWORD GetLengthSid(PSID sid) {
    const auto* s = static_cast<const SID*>(sid);
    return s ? GetSidLengthRequired(s->SubAuthorityCount) : 0;
}

// ---- access lists ------------------------------------------------------------------

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    constexpr DWORD kLargestAcl = 0xFFFF;  // the size is a WORD
    if (NotNt("InitializeAcl")) return FALSE;
    if (length < sizeof(ACL)) return Failed("InitializeAcl", ERROR_INSUFFICIENT_BUFFER);
    if (!RevisionKnown(revision) || length > kLargestAcl) return Failed("InitializeAcl", ERROR_INVALID_PARAMETER);
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<WORD>(length & ~3u);  // Windows keeps the size a multiple of four
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return TRUE;
}

BOOL IsValidAcl(PACL acl) {
    if (NotNt("IsValidAcl") || !acl) return FALSE;
    return sim::ParseAcl(reinterpret_cast<const BYTE*>(acl), acl->AclSize).has_value();
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddAce("AddAccessAllowedAce", acl, revision, mask, sid, ACCESS_ALLOWED_ACE_TYPE);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddAce("AddAccessDeniedAce", acl, revision, mask, sid, ACCESS_DENIED_ACE_TYPE);
}

// ---- security descriptors --------------------------------------------------------------

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    if (NotNt("IsValidSecurityDescriptor")) return FALSE;
    if (sim::SecurityDescriptor::FromMemory(descriptor)) return TRUE;
    return Failed("IsValidSecurityDescriptor", ERROR_INVALID_SECURITY_DESCR);
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    constexpr const char* kCall = "InitializeSecurityDescriptor";
    if (NotNt(kCall)) return FALSE;
    if (revision != SECURITY_DESCRIPTOR_REVISION) return Failed(kCall, ERROR_UNKNOWN_REVISION);
    if (!descriptor) return Failed(kCall, ERROR_NOACCESS);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    std::memset(sd, 0, sizeof *sd);
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted) {
    constexpr const char* kCall = "SetSecurityDescriptorDacl";
    if (NotNt(kCall)) return FALSE;
    if (!descriptor) return Failed(kCall, ERROR_NOACCESS);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Failed(kCall, ERROR_UNKNOWN_REVISION);
    if (sd->Control & SE_SELF_RELATIVE) return Failed(kCall, ERROR_INVALID_SECURITY_DESCR);
    if (!present) {
        sd->Control = static_cast<WORD>(sd->Control & ~SE_DACL_PRESENT);
        return TRUE;
    }
    sd->Control = static_cast<WORD>(sd->Control | SE_DACL_PRESENT);
    sd->Dacl = dacl;
    if (defaulted) {
        sd->Control = static_cast<WORD>(sd->Control | SE_DACL_DEFAULTED);
    } else {
        sd->Control = static_cast<WORD>(sd->Control & ~SE_DACL_DEFAULTED);
    }
    return TRUE;
}
