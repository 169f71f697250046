#include "sys/registry_helpers.h"

#include <cstring>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "sys/handles.h"
#include "sys/text.h"

namespace {

// Makes the `length` bytes a query reported into a NUL-terminated text in
// a buffer of `size` bytes: data that already holds a NUL is left as it is;
// data without one is terminated behind it when there is room. False when
// there is no room, so that a value that does not fit with its NUL never
// counts as read.
bool TerminateQueriedText(char* buffer, DWORD length, DWORD size) {
    if (BoundedLength(buffer, length) < length) return true;
    if (length >= size) return false;
    buffer[length] = '\0';
    return true;
}

// RegCreateOpenKey with the Windows error code of the step that failed.
LONG CreateOpenKey(HKEY root, const char* subKey, HKEY* key) {
    *key = nullptr;
    if (!IsWin2000OrXP(DetectWindowsKind())) {
        return RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key,
                               nullptr);
    }

    // On Windows 2000 and XP the key gets an access list that lets every
    // user read and write it: a present, null DACL.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return GetLastError();
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) return GetLastError();

    UniqueRegKey opened;
    if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, opened.Receive()) == ERROR_SUCCESS) {
        const LONG secured = RegSetKeySecurity(opened.Get(), DACL_SECURITY_INFORMATION, &descriptor);
        if (secured != ERROR_SUCCESS) return secured;
        *key = opened.Release();
        return ERROR_SUCCESS;
    }

    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
    return RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &attributes, key,
                           nullptr);
}

}  // namespace

int RegQueryString(HKEY root, const char* subKey, const char* valueName, char* out, DWORD size) {
    if (!out || size == 0) return 0;
    if (size > kPathSize) size = static_cast<DWORD>(kPathSize);

    UniqueRegKey opened;
    HKEY key = root;
    if (subKey) {
        if (RegOpenKeyExA(root, subKey, 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS) return 0;
        key = opened.Get();
    }

    // Read into a buffer of our own so that a failed read leaves the
    // caller's buffer as it was.
    char value[kPathSize];
    DWORD length = size;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &length) != ERROR_SUCCESS)
        return 0;
    if (!TerminateQueriedText(value, length, size)) return 0;
    std::memcpy(out, value, std::strlen(value) + 1);
    return 1;
}

int RegReadString(char* out, const char* valueName, DWORD size) {
    if (!out || size == 0 || !ProfileKeyPath) return 0;
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProfileKeyPath, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
        return 0;
    DWORD length = size;
    const LONG queried = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &length);
    if (queried != ERROR_SUCCESS || length == 0 || !TerminateQueriedText(out, length, size)) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

LONG RegWriteString(const char* text, const char* valueName) {
    if (!ProfileSubKey || !text) return ERROR_INVALID_PARAMETER;
    UniqueRegKey software;
    const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_WRITE, software.Receive());
    if (opened != ERROR_SUCCESS) return opened;

    UniqueRegKey profile;
    LONG result = CreateOpenKey(software.Get(), ProfileSubKey, profile.Receive());
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(profile.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(std::strlen(text) + 1));
        profile.Reset();
    }
    const LONG closed = software.Close();
    return result != ERROR_SUCCESS ? result : closed;
}

int RegCreateOpenKey(HKEY root, const char* subKey, HKEY* key) {
    if (!key) return 0;
    return CreateOpenKey(root, subKey, key) == ERROR_SUCCESS ? 1 : 0;
}

int CreateUtilityKey() {
    UniqueRegKey key;
    if (!RegCreateOpenKey(HKEY_LOCAL_MACHINE, TavarinKeyPath, key.Receive())) return 0;
    return 1;
}
