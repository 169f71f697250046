#include "driver/protocol_service.h"

#include <cstddef>
#include <cstring>

#include "app/windows_kind.h"
#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

const char kServiceName[] = "W32NDIS5";
const char kDisplayName[] = "W32NDIS5 Protocol Driver";
const char kLoadOrderGroup[] = "PNP_TDI";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
const char kNtPathPrefix[] = "\\??\\";
// The rights both handles are opened with: the standard rights (WRITE_DAC
// among them) with query and change of the configuration, query of the
// status, enumeration of dependents, start and stop.
constexpr DWORD kServiceAccess = 0xF003F;
// How long another program may hold the service database lock before the
// step gives up, and how often the lock is asked for meanwhile.
constexpr DWORD kLockWaitLimit = 30000;
constexpr DWORD kLockRetryDelay = 100;

// "<windows>\system32\W32NDIS5.sys" behind `prefix`, with one backslash
// after the Windows folder (a drive root already ends in one).
bool ComposeDriverPath(char* out, size_t size, const char* prefix) {
    char windows[kPathSize];
    const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return false;
    const char* separator = EndsWithBackslash(windows) ? "" : "\\";
    return ComposeText(out, size, "%s%s%ssystem32\\%s.sys", prefix, windows, separator, kServiceName);
}


bool ComposeServiceKey(char* out, size_t size) {
    return ComposeText(out, size, "%s\\%s", kServicesKey, kServiceName);
}

// Whether the driver file an image path names exists. The kernel takes a
// path without a drive, and one below \SystemRoot, relative to the Windows
// folder.
bool DriverFileExists(const char* imagePath) {
    const char* path = imagePath;
    if (const char* nt = std::strstr(path, kNtPathPrefix)) path = nt + std::strlen(kNtPathPrefix);
    char resolved[kPathSize];
    const bool absolute = (path[0] != '\0' && path[1] == ':') || (path[0] == '\\' && path[1] == '\\');
    if (!absolute) {
        const char* relative = path;
        static const char* const kWindowsFolderPrefixes[] = {"\\SystemRoot\\", "%SystemRoot%\\"};
        bool belowWindows = false;
        for (const char* prefix : kWindowsFolderPrefixes) {
            if (StartsWithAscii(relative, prefix)) {
                relative += std::strlen(prefix);
                belowWindows = true;
                break;
            }
        }
        if (!belowWindows && relative[0] == '\\') return false;
        char windows[kPathSize];
        const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
        if (length == 0 || length >= sizeof windows) return false;
        if (!ComposeText(resolved, sizeof resolved, EndsWithBackslash(windows) ? "%s%s" : "%s\\%s", windows,
                         relative)) {
            return false;
        }
        path = resolved;
    }
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Rewrites "ImagePath" to the driver file in the system32 folder when the
// file it names is missing.
void RepairImagePath() {
    char keyPath[kPathSize];
    if (!ComposeServiceKey(keyPath, sizeof keyPath)) return;
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) return;
    char imagePath[kPathSize];
    if (!RegQueryString(key.Get(), nullptr, "ImagePath", imagePath, sizeof imagePath)) return;
    if (DriverFileExists(imagePath)) return;
    char repaired[kPathSize];
    if (!ComposeDriverPath(repaired, sizeof repaired, kNtPathPrefix)) return;
    ::RegSetValueExA(key.Get(), "ImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(repaired),
                     static_cast<DWORD>(std::strlen(repaired) + 1));
}

// Sets "Start" = 2 in the service's key. The key keeps its own access list.
void ForceAutomaticStart() {
    char keyPath[kPathSize];
    if (!ComposeServiceKey(keyPath, sizeof keyPath)) return;
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) return;
    const DWORD start = SERVICE_AUTO_START;
    ::RegSetValueExA(key.Get(), "Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start), sizeof(start));
}

// A SID of the NT authority with one or two sub-authorities, in the
// documented binary layout.
size_t WriteSid(BYTE* out, DWORD first, DWORD second, bool two) {
    const SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    const BYTE count = two ? 2 : 1;
    out[0] = SID_REVISION;
    out[1] = count;
    std::memcpy(out + 2, nt.Value, sizeof nt.Value);
    std::memcpy(out + 8, &first, sizeof first);
    if (two) std::memcpy(out + 12, &second, sizeof second);
    return 8 + 4 * static_cast<size_t>(count);
}

// Appends an ACCESS_ALLOWED_ACE for the SID to the list at `acl`, which
// ends at `used` bytes; returns the new end.
size_t AppendAllowed(BYTE* acl, size_t used, ACCESS_MASK mask, DWORD first, DWORD second, bool two) {
    BYTE* ace = acl + used;
    const size_t sidStart = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    const size_t sidLength = WriteSid(ace + sidStart, first, second, two);
    ACE_HEADER header = {};
    header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    header.AceFlags = 0;
    header.AceSize = static_cast<WORD>(sidStart + sidLength);
    std::memcpy(ace, &header, sizeof header);
    std::memcpy(ace + offsetof(ACCESS_ALLOWED_ACE, Mask), &mask, sizeof mask);
    return used + header.AceSize;
}

// The service's access list, built in the documented binary layout so that
// no function beyond those every supported Windows exports is needed.
struct ProtocolAcl {
    // Room for the header and three entries; DWORDs keep it aligned.
    DWORD storage[32] = {};

    ProtocolAcl() {
        const ACCESS_MASK control = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                    SERVICE_START | SERVICE_STOP | SERVICE_INTERROGATE | READ_CONTROL;
        auto* bytes = reinterpret_cast<BYTE*>(storage);
        size_t used = sizeof(ACL);
        used = AppendAllowed(bytes, used, control, SECURITY_AUTHENTICATED_USER_RID, 0, false);
        used = AppendAllowed(bytes, used, SERVICE_ALL_ACCESS, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                             true);
        used = AppendAllowed(bytes, used, SERVICE_ALL_ACCESS, SECURITY_LOCAL_SYSTEM_RID, 0, false);
        ACL header = {};
        header.AclRevision = ACL_REVISION;
        header.AclSize = static_cast<WORD>(used);
        header.AceCount = 3;
        std::memcpy(bytes, &header, sizeof header);
    }

    PACL Get() { return reinterpret_cast<PACL>(storage); }
};

}  // namespace

void SetupProtocolDriver() {
    if (!EnsureProtocolService()) return;
    if (!IsWin2000OrXP(CurrentWindowsKind)) return;
    RepairImagePath();
    OpenProtocolServiceAccess();
}

bool EnsureProtocolService() {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return true;

    // Another setup program may be changing services: wait for the lock,
    // but not for ever.
    UniqueServiceLock lock;
    const DWORD waitStart = ::GetTickCount();
    for (;;) {
        lock.Reset(::LockServiceDatabase(manager.Get()));
        if (lock) break;
        if (::GetTickCount() - waitStart >= kLockWaitLimit) return false;
        ::Sleep(kLockRetryDelay);
    }

    UniqueServiceHandle service(::OpenServiceA(manager.Get(), kServiceName, kServiceAccess));
    if (!service) {
        char binaryPath[kPathSize];
        if (ComposeDriverPath(binaryPath, sizeof binaryPath, "")) {
            UniqueServiceHandle created(::CreateServiceA(manager.Get(), kServiceName, kDisplayName, GENERIC_EXECUTE,
                                                         SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                                                         SERVICE_ERROR_NORMAL, binaryPath, kLoadOrderGroup, nullptr,
                                                         nullptr, nullptr, nullptr));
        }
        return true;
    }

    union {
        QUERY_SERVICE_CONFIGA config;
        BYTE bytes[1024];
    } buffer;
    DWORD needed = 0;
    if (::QueryServiceConfigA(service.Get(), &buffer.config, sizeof buffer, &needed) && needed <= sizeof buffer &&
        ::QueryServiceConfigA(service.Get(), &buffer.config, needed, &needed) &&
        buffer.config.dwStartType != SERVICE_AUTO_START) {
        ForceAutomaticStart();
    }
    return true;
}

void OpenProtocolServiceAccess() {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    UniqueServiceHandle service(::OpenServiceA(manager.Get(), kServiceName, kServiceAccess));
    if (!service) return;

    ProtocolAcl acl;
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return;
    if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, acl.Get(), FALSE)) return;
    ::SetServiceObjectSecurity(service.Get(), DACL_SECURITY_INFORMATION, &descriptor);
}
