// Advapi32's service control manager functions over the current machine's
// services, and the functions that build and check SIDs and access lists.
// On the 9x family advapi32 exports the service functions as stubs that
// fail with ERROR_CALL_NOT_IMPLEMENTED.
#include <cstddef>
#include <cstring>
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/services.h"

using sim::Current;

namespace {

sim::ServiceManager& Services() { return Current().services(); }

// The stub answer of the 9x family; true when the machine has no manager.
bool Unavailable(const char* function) {
    sim::Machine& m = Current();
    if (m.services().Available()) return false;
    m.services().RecordUnavailable(function);
    m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
    return true;
}

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS) return TRUE;
    Current().lastError = error;
    return FALSE;
}

bool NotNt() {
    sim::Machine& m = Current();
    if (m.IsNt()) return false;
    m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
    return true;
}

}  // namespace

// ---- the service control manager -------------------------------------------------

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
    if (Unavailable("OpenSCManagerA")) return nullptr;
    SC_HANDLE handle = nullptr;
    Result(Services().OpenManager(machine, database, access, &handle));
    return handle;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
    if (Unavailable("OpenServiceA")) return nullptr;
    SC_HANDLE handle = nullptr;
    Result(Services().Open(manager, name, access, &handle));
    return handle;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
    if (Unavailable("CreateServiceA")) return nullptr;
    SC_HANDLE handle = nullptr;
    Result(Services().Create(manager, name, displayName, access, serviceType, startType, errorControl, binaryPath,
                             loadOrderGroup, tagId, dependencies, account, password, &handle));
    return handle;
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
    if (Unavailable("QueryServiceConfigA")) return FALSE;
    return Result(Services().QueryConfig(service, config, size, needed));
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (Unavailable("QueryServiceStatus")) return FALSE;
    return Result(Services().QueryStatus(service, status));
}

BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
    if (Unavailable("StartServiceA")) return FALSE;
    return Result(Services().Start(service, argc, argv));
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    if (Unavailable("ControlService")) return FALSE;
    bool filled = false;
    return Result(Services().Control(service, control, status, &filled));
}

BOOL DeleteService(SC_HANDLE service) {
    if (Unavailable("DeleteService")) return FALSE;
    return Result(Services().Delete(service));
}

SC_LOCK LockServiceDatabase(SC_HANDLE manager) {
    if (Unavailable("LockServiceDatabase")) return nullptr;
    SC_LOCK lock = nullptr;
    Result(Services().Lock(manager, &lock));
    return lock;
}

BOOL UnlockServiceDatabase(SC_LOCK lock) {
    if (Unavailable("UnlockServiceDatabase")) return FALSE;
    return Result(Services().Unlock(lock));
}

BOOL SetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
    if (Unavailable("SetServiceObjectSecurity")) return FALSE;
    return Result(Services().SetObjectSecurity(service, information, descriptor));
}

BOOL QueryServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                                DWORD size, LPDWORD needed) {
    if (Unavailable("QueryServiceObjectSecurity")) return FALSE;
    return Result(Services().QueryObjectSecurity(service, information, descriptor, size, needed));
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (Unavailable("CloseServiceHandle")) return FALSE;
    return Result(Services().Close(handle));
}

// ---- SIDs and access lists ---------------------------------------------------------

DWORD GetSidLengthRequired(UCHAR subAuthorityCount) { return 8 + 4 * static_cast<DWORD>(subAuthorityCount); }

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount) {
    if (NotNt()) return FALSE;
    if (subAuthorityCount > SID_MAX_SUB_AUTHORITIES) {
        Current().lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    auto* s = static_cast<SID*>(sid);
    s->Revision = SID_REVISION;
    s->SubAuthorityCount = subAuthorityCount;
    s->IdentifierAuthority = *authority;
    return TRUE;
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    // As in Windows, the index is not checked against the SID's count.
    return static_cast<BYTE*>(sid) ? reinterpret_cast<PDWORD>(static_cast<BYTE*>(sid) + 8 + 4 * index) : nullptr;
}

BOOL IsValidSid(PSID sid) {
    if (NotNt()) return FALSE;
    return sim::SidFromBinary(static_cast<const BYTE*>(sid), 8 + 4 * SID_MAX_SUB_AUTHORITIES).has_value();
}

DWORD GetLengthSid(PSID sid) {
    const auto* s = static_cast<const SID*>(sid);
    return s ? GetSidLengthRequired(s->SubAuthorityCount) : 0;
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    if (NotNt()) return FALSE;
    sim::Machine& m = Current();
    if (length < sizeof(ACL)) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (revision < ACL_REVISION || revision > ACL_REVISION_DS || length > 0xFFFF) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<WORD>(length & ~3u);  // Windows keeps the size a multiple of four
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return TRUE;
}

BOOL IsValidAcl(PACL acl) {
    if (NotNt() || !acl) return FALSE;
    SECURITY_DESCRIPTOR sd = {};
    sd.Revision = SECURITY_DESCRIPTOR_REVISION;
    sd.Control = SE_DACL_PRESENT;
    sd.Dacl = acl;
    return sim::SecurityDescriptor::FromMemory(&sd).has_value();
}

namespace {

BOOL AddAce(PACL acl, DWORD revision, DWORD mask, PSID sid, BYTE type) {
    if (NotNt()) return FALSE;
    sim::Machine& m = Current();
    if (!IsValidAcl(acl)) {
        m.lastError = ERROR_INVALID_ACL;
        return FALSE;
    }
    if (!IsValidSid(sid)) {
        m.lastError = ERROR_INVALID_SID;
        return FALSE;
    }
    if (revision < ACL_REVISION || revision > ACL_REVISION_DS) {
        m.lastError = ERROR_REVISION_MISMATCH;
        return FALSE;
    }
    auto* bytes = reinterpret_cast<BYTE*>(acl);
    size_t end = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        WORD aceSize = 0;
        std::memcpy(&aceSize, bytes + end + 2, sizeof aceSize);
        end += aceSize;
    }
    const DWORD sidLength = GetLengthSid(sid);
    const size_t aceSize = offsetof(ACCESS_ALLOWED_ACE, SidStart) + sidLength;
    if (end + aceSize > acl->AclSize) {
        m.lastError = ERROR_ALLOTTED_SPACE_EXCEEDED;
        return FALSE;
    }
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

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddAce(acl, revision, mask, sid, ACCESS_ALLOWED_ACE_TYPE);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddAce(acl, revision, mask, sid, ACCESS_DENIED_ACE_TYPE);
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    if (NotNt()) return FALSE;
    if (sim::SecurityDescriptor::FromMemory(descriptor)) return TRUE;
    Current().lastError = ERROR_INVALID_SECURITY_DESCR;
    return FALSE;
}
