// Advapi32's registry functions over the current machine's registry.
//
// Each turns its handle into the key it holds (sim::Registry::Resolve),
// checks its arguments and the handle's rights, asks whether the call is to
// fail on demand, lets the registry act and copies the result out with
// Windows' rules. The registry functions return their error and never set
// the last error; every failure is recorded on the "failure" channel, with
// the key's full path, and changes nothing. Every change is recorded on
// the "registry" channel: values set and deleted, keys created and
// deleted, key security set.
#include <cstring>
#include <string>
#include <vector>

#include "sim/dlls/advapi32/registry_calls.h"
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/security.h"

using sim::Current;
using sim::KeyRef;
using sim::Registry;
using sim::dll::FailQuietly;

namespace {

// What RegQueryValueExA and RegEnumValueA leave in a buffer that was too
// small: Windows documents its contents as undefined; a caller who would
// use them anyway sees this.
constexpr unsigned char kUndefinedByte = 0xCD;

Registry& Reg() { return Current().registry(); }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string_view Text(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// The full path of the key `names` below `base`, as failures and failures
// on demand name it; the names are spelled as the caller gave them.
std::string PathBelow(const KeyRef& base, const std::vector<std::string>& names) {
    std::string path = Registry::PathOf(base);
    for (const std::string& name : names) path += "\\" + name;
    return path;
}

std::string ValueObject(const KeyRef& key, std::string_view name) {
    return Registry::PathOf(key) + " " + (name.empty() ? std::string("@") : "\"" + std::string(name) + "\"");
}

void RecordChange(const std::string& text) { Current().Record("registry", text); }

// The key behind a handle, or the failure recorded under `call`.
LONG ResolveKey(std::string_view call, HKEY handle, Registry::OpenedKey* out) {
    const LONG r = Reg().Resolve(handle, out);
    return r == ERROR_SUCCESS ? r : FailQuietly(call, "", r);
}

// The existing or new key a sub-key argument names below a handle's key.
struct SubKey {
    Registry::OpenedKey base;
    std::vector<std::string> names;
    std::string path;
};

LONG ResolveSubKey(std::string_view call, HKEY handle, LPCSTR subKey, bool skipOneLeading, SubKey* out) {
    LONG r = ResolveKey(call, handle, &out->base);
    if (r != ERROR_SUCCESS) return r;
    r = Registry::SplitSubKey(Text(subKey), skipOneLeading, &out->names);
    if (r != ERROR_SUCCESS) return FailQuietly(call, Registry::PathOf(out->base.key) + "\\" + subKey, r);
    out->path = PathBelow(out->base.key, out->names);
    return ERROR_SUCCESS;
}

// After a string value is copied out: the NT family adds a NUL when the
// value was stored without one and the buffer has room for it; the size
// reported stays the stored one.
void TerminateIfRoom(const sim::RegValue& value, BYTE* data, DWORD offered) {
    if (!Current().IsNt() || !IsStringType(value.type) || value.data.empty()) return;
    if (value.data.back() != '\0' && value.data.size() < offered) data[value.data.size()] = 0;
}

// The data of a value into a buffer with an in-out size, as RegQueryValueExA
// and RegEnumValueA hand it out.
LONG CopyValueOut(const sim::RegValue& value, BYTE* data, DWORD* size) {
    const DWORD offered = size ? *size : 0;
    switch (sim::dll::CopyDataOut(value.data, data, offered, size)) {
        case sim::dll::CopyOut::Copied:
            TerminateIfRoom(value, data, offered);
            return ERROR_SUCCESS;
        case sim::dll::CopyOut::SizeOnly:
            return ERROR_SUCCESS;
        case sim::dll::CopyOut::TooSmall:
            std::memset(data, kUndefinedByte, offered);
            return ERROR_MORE_DATA;
    }
    return ERROR_SUCCESS;
}

LONG OpenKey(std::string_view call, HKEY key, LPCSTR subKey, REGSAM access, PHKEY result) {
    if (!result) return FailQuietly(call, "", ERROR_INVALID_PARAMETER);
    // A predefined key with no sub-key gives back the predefined handle.
    if ((!subKey || !*subKey) && Registry::IsPredefined(key)) {
        *result = key;
        return ERROR_SUCCESS;
    }
    *result = nullptr;
    SubKey target;
    LONG r = ResolveSubKey(call, key, subKey, false, &target);
    if (r != ERROR_SUCCESS) return r;
    if (const DWORD injected = sim::dll::Injected(call, target.path)) return static_cast<LONG>(injected);
    r = Reg().Open(target.base.key, target.names, access, result);
    return r == ERROR_SUCCESS ? r : FailQuietly(call, target.path, r);
}

}  // namespace

namespace sim::dll {

LONG DeleteRegistryKey(std::string_view call, HKEY key, LPCSTR subKey, bool withSubKeys) {
    if (!subKey) return FailQuietly(call, "", ERROR_INVALID_PARAMETER);
    SubKey target;
    LONG r = ResolveSubKey(call, key, subKey, false, &target);
    if (r != ERROR_SUCCESS) return r;
    if (const DWORD injected = Injected(call, target.path)) return static_cast<LONG>(injected);
    const KeyRef found = Registry::Descend(target.base.key, target.names);
    if (!found) return FailQuietly(call, target.path, ERROR_FILE_NOT_FOUND);
    std::vector<std::string> removed;
    r = Reg().DeleteKey(found, withSubKeys, &removed);
    for (const std::string& path : removed) RecordChange("delete key " + path);
    return r == ERROR_SUCCESS ? r : FailQuietly(call, target.path, r);
}

}  // namespace sim::dll

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (!result) return FailQuietly("RegOpenKeyA", "", ERROR_INVALID_PARAMETER);
    // Unlike RegOpenKeyExA, an empty sub-key gives back the caller's own
    // handle, whatever it is: nothing new is opened.
    if (!subKey || !*subKey) {
        *result = key;
        return ERROR_SUCCESS;
    }
    // RegOpenKeyA asks for the most the key allows.
    return OpenKey("RegOpenKeyA", key, subKey, MAXIMUM_ALLOWED, result);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    (void)options;
    return OpenKey("RegOpenKeyExA", key, subKey, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    (void)keyClass;
    (void)options;
    constexpr const char* kCall = "RegCreateKeyExA";
    if (!result) return FailQuietly(kCall, "", ERROR_BADKEY);
    *result = nullptr;
    if (reserved) return FailQuietly(kCall, "", ERROR_INVALID_PARAMETER);
    const bool nt = Current().IsNt();
    SubKey target;
    LONG r = ResolveSubKey(kCall, key, subKey, !nt, &target);
    if (r != ERROR_SUCCESS) return r;

    // Only the NT family looks at a descriptor; a key it creates is open to
    // everyone when the descriptor has a null access list.
    sim::KeyAccess newKeyAccess = sim::KeyAccess::Default;
    if (const void* descriptor = (nt && security) ? security->lpSecurityDescriptor : nullptr) {
        const auto dacl = sim::DaclOf(descriptor);
        if (!dacl) return FailQuietly(kCall, target.path, ERROR_INVALID_SECURITY_DESCR);
        if (*dacl == sim::SecurityDescriptor::Dacl::Null) newKeyAccess = sim::KeyAccess::OpenToEveryone;
    }
    if (const DWORD injected = sim::dll::Injected(kCall, target.path)) return static_cast<LONG>(injected);
    bool created = false;
    r = Reg().Create(target.base.key, target.names, access, newKeyAccess, result, &created);
    if (r != ERROR_SUCCESS) return FailQuietly(kCall, target.path, r);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    if (created) {
        const std::string path = Registry::PathOf(Registry::Descend(target.base.key, target.names));
        const bool open = newKeyAccess == sim::KeyAccess::OpenToEveryone;
        RecordChange("create key " + path + (open ? " with a null DACL" : ""));
    }
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    constexpr const char* kCall = "RegCloseKey";
    Registry::OpenedKey opened;
    const std::string path = Reg().Resolve(key, &opened) == ERROR_SUCCESS ? Registry::PathOf(opened.key) : "";
    if (const DWORD injected = sim::dll::Injected(kCall, path)) return static_cast<LONG>(injected);
    const LONG r = Reg().Close(key);
    return r == ERROR_SUCCESS ? r : FailQuietly(kCall, path, r);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    constexpr const char* kCall = "RegQueryValueExA";
    if (reserved || (data && !size)) return FailQuietly(kCall, "", ERROR_INVALID_PARAMETER);
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string object = ValueObject(opened.key, Text(valueName));
    if (!opened.Allows(KEY_QUERY_VALUE)) return FailQuietly(kCall, object, ERROR_ACCESS_DENIED);
    if (const DWORD injected = sim::dll::Injected(kCall, Registry::PathOf(opened.key))) {
        return static_cast<LONG>(injected);
    }
    const sim::RegValue* value = opened.key.Value(Text(valueName));
    if (!value) return FailQuietly(kCall, object, ERROR_FILE_NOT_FOUND);
    if (type) *type = value->type;
    const LONG r = CopyValueOut(*value, data, size);
    return r == ERROR_SUCCESS ? r : FailQuietly(kCall, object, r);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    (void)reserved;
    constexpr const char* kCall = "RegSetValueExA";
    if (!data && size) return FailQuietly(kCall, "", ERROR_NOACCESS);
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string path = Registry::PathOf(opened.key);
    if (!opened.Allows(KEY_SET_VALUE)) {
        return FailQuietly(kCall, ValueObject(opened.key, Text(valueName)), ERROR_ACCESS_DENIED);
    }
    // The NT family counts the NUL a caller forgot: a string whose last
    // byte is no NUL but whose next byte is one is stored with that NUL.
    // (Windows reads that byte too, one past the size given.)
    if (Current().IsNt() && size && IsStringType(type) && data[size - 1] != 0 && data[size] == 0) ++size;
    std::string bytes;
    if (size) bytes.assign(reinterpret_cast<const char*>(data), size);
    if (const DWORD injected = sim::dll::Injected(kCall, path)) return static_cast<LONG>(injected);
    RecordChange("set " + path + " " + sim::dll::RegistryValueText(Text(valueName), type, bytes));
    Registry::WriteValue(opened.key, std::string(Text(valueName)), type, std::move(bytes));
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    constexpr const char* kCall = "RegDeleteValueA";
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string object = ValueObject(opened.key, Text(valueName));
    if (!opened.Allows(KEY_SET_VALUE)) return FailQuietly(kCall, object, ERROR_ACCESS_DENIED);
    if (const DWORD injected = sim::dll::Injected(kCall, Registry::PathOf(opened.key))) {
        return static_cast<LONG>(injected);
    }
    if (!Registry::EraseValue(opened.key, Text(valueName))) return FailQuietly(kCall, object, ERROR_FILE_NOT_FOUND);
    RecordChange("delete value " + object);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) { return sim::dll::DeleteRegistryKey("RegDeleteKeyA", key, subKey, false); }

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, PFILETIME lastWrite) {
    constexpr const char* kCall = "RegEnumKeyExA";
    if (reserved || !name || !nameSize) return FailQuietly(kCall, "", ERROR_INVALID_PARAMETER);
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string path = Registry::PathOf(opened.key);
    if (!opened.Allows(KEY_ENUMERATE_SUB_KEYS)) return FailQuietly(kCall, path, ERROR_ACCESS_DENIED);
    if (const DWORD injected = sim::dll::Injected(kCall, path)) return static_cast<LONG>(injected);
    const std::optional<std::string> child = Registry::SubKeyAt(opened.key, index);
    if (!child) return FailQuietly(kCall, path, ERROR_NO_MORE_ITEMS);
    // A name too long for the buffer leaves buffer and count as they were.
    if (!sim::dll::CopyNameOut(*child, name, nameSize)) return FailQuietly(kCall, path, ERROR_MORE_DATA);
    // Keys of the emulator have no class and no recorded write time.
    if (keyClass && classSize && !sim::dll::CopyNameOut("", keyClass, classSize)) {
        return FailQuietly(kCall, path, ERROR_MORE_DATA);
    }
    if (classSize) *classSize = 0;
    if (lastWrite) {
        lastWrite->dwLowDateTime = 0;
        lastWrite->dwHighDateTime = 0;
    }
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
    constexpr const char* kCall = "RegEnumValueA";
    if (reserved || !name || !nameSize || (data && !dataSize)) return FailQuietly(kCall, "", ERROR_INVALID_PARAMETER);
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string path = Registry::PathOf(opened.key);
    if (!opened.Allows(KEY_QUERY_VALUE)) return FailQuietly(kCall, path, ERROR_ACCESS_DENIED);
    if (const DWORD injected = sim::dll::Injected(kCall, path)) return static_cast<LONG>(injected);
    const sim::RegValue* value = Registry::ValueAt(opened.key, index);
    if (!value) return FailQuietly(kCall, path, ERROR_NO_MORE_ITEMS);
    if (type) *type = value->type;
    if (!sim::dll::CopyNameOut(value->name, name, nameSize)) {
        // The data's size is still reported; the name's count stays.
        if (dataSize) *dataSize = static_cast<DWORD>(value->data.size());
        return FailQuietly(kCall, path, ERROR_MORE_DATA);
    }
    const LONG r = CopyValueOut(*value, data, dataSize);
    return r == ERROR_SUCCESS ? r : FailQuietly(kCall, ValueObject(opened.key, value->name), r);
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
    constexpr const char* kCall = "RegSetKeySecurity";
    if (!Current().IsNt()) return FailQuietly(kCall, "", ERROR_CALL_NOT_IMPLEMENTED);
    constexpr SECURITY_INFORMATION kKnown = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    if (!(information & kKnown) || !descriptor) return FailQuietly(kCall, "", ERROR_INVALID_PARAMETER);
    Registry::OpenedKey opened;
    if (const LONG r = ResolveKey(kCall, key, &opened)) return r;
    const std::string path = Registry::PathOf(opened.key);
    const auto dacl = sim::DaclOf(descriptor);
    if (!dacl) return FailQuietly(kCall, path, ERROR_INVALID_SECURITY_DESCR);
    REGSAM needed = 0;
    if (information & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
    // Setting the audit list needs ACCESS_SYSTEM_SECURITY, which no handle
    // of the emulator is ever granted.
    if (!opened.Allows(needed) || (information & SACL_SECURITY_INFORMATION)) {
        return FailQuietly(kCall, path, ERROR_ACCESS_DENIED);
    }
    if (const DWORD injected = sim::dll::Injected(kCall, path)) return static_cast<LONG>(injected);
    if (!(information & DACL_SECURITY_INFORMATION)) {
        RecordChange("security " + path + " " + sim::SecurityInformationText(information));
        return ERROR_SUCCESS;
    }
    // A missing access list and a present null one both leave the key open
    // to everyone; any real list is taken as the inherited one.
    const bool open = *dacl != sim::SecurityDescriptor::Dacl::List;
    Registry::SetAccess(opened.key, open ? sim::KeyAccess::OpenToEveryone : sim::KeyAccess::Default);
    const char* kind = *dacl == sim::SecurityDescriptor::Dacl::Null     ? "null DACL"
                       : *dacl == sim::SecurityDescriptor::Dacl::Absent ? "no DACL"
                                                                        : "access list";
    RecordChange("security " + path + " " + kind);
    return ERROR_SUCCESS;
}
