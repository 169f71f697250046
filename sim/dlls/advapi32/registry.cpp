// Advapi32's registry functions and security descriptors over the current
// machine's registry.
#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

using sim::Current;

namespace {

sim::Registry& Reg() { return Current().registry(); }

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    // Unlike RegOpenKeyExA, an empty sub-key gives back the caller's own
    // handle, whatever it is: nothing new is opened.
    if (!subKey || !*subKey) {
        *result = key;
        return ERROR_SUCCESS;
    }
    // RegOpenKeyA asks for the most the key allows.
    return Reg().Open(key, subKey, MAXIMUM_ALLOWED, result);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    (void)options;
    return Reg().Open(key, subKey, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    (void)keyClass;
    (void)options;
    if (!result) return ERROR_BADKEY;
    if (reserved) {
        *result = nullptr;
        return ERROR_INVALID_PARAMETER;
    }
    return Reg().Create(key, subKey, access, security, result, disposition);
}

LONG RegCloseKey(HKEY key) { return Reg().Close(key); }

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    return Reg().QueryValue(key, valueName, type, data, size);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    (void)reserved;
    return Reg().SetValueRaw(key, valueName, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) { return Reg().DeleteValueRaw(key, valueName); }

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) { return Reg().DeleteKey(key, subKey, false); }

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, PFILETIME lastWrite) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    const LONG r = Reg().EnumKey(key, index, name, nameSize);
    if (r != ERROR_SUCCESS) return r;
    // Keys of the emulator have no class and no recorded write time.
    if (classSize) {
        if (keyClass) {
            if (*classSize == 0) return ERROR_MORE_DATA;
            keyClass[0] = '\0';
        }
        *classSize = 0;
    }
    if (lastWrite) {
        lastWrite->dwLowDateTime = 0;
        lastWrite->dwHighDateTime = 0;
    }
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    return Reg().EnumValue(key, index, name, nameSize, type, data, dataSize);
}

// ---- security descriptors --------------------------------------------------

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        m.lastError = ERROR_UNKNOWN_REVISION;
        return FALSE;
    }
    if (!descriptor) {
        m.lastError = ERROR_NOACCESS;
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    std::memset(sd, 0, sizeof *sd);
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (!descriptor) {
        m.lastError = ERROR_NOACCESS;
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        m.lastError = ERROR_UNKNOWN_REVISION;
        return FALSE;
    }
    if (sd->Control & SE_SELF_RELATIVE) {
        m.lastError = ERROR_INVALID_SECURITY_DESCR;
        return FALSE;
    }
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

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
    return Reg().SetSecurity(key, information, descriptor);
}
