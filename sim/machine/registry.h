// The emulated registry.
//
// A tree of keys under the roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG and HKEY_DYN_DATA.
// Key and value names are compared without regard to case and keep the case
// they were created with. Values hold a type and raw bytes exactly as they
// were set (a string set without its NUL is stored without it, as Windows
// does; the NT family counts a forgotten NUL that follows the data, and
// adds a NUL when it reads an unterminated string into a buffer with room).
// Sub-keys enumerate in Windows' order (by upper-cased name); values in the
// order they were created.
//
// Two faces: the Win32 functions (sim/dlls/advapi32/registry.cpp) work through handles
// as the tool does; the C++ interface below lets scenarios and tests set up
// and inspect a machine directly, by full path ("HKEY_LOCAL_MACHINE\Software\X";
// the short root names HKLM, HKCU, HKCR, HKU, HKCC and HKDD are accepted too).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "sim/include/kernel.h"
#include "sim/include/types.h"

namespace sim {

class Machine;

struct RegValue {
    std::string name;  // as created; "" is the key's default value
    DWORD type = 0;    // REG_SZ, REG_DWORD, ...
    std::string data;  // the raw bytes

    bool operator==(const RegValue& other) const;
};

// Who may do what with a key. Windows keeps an access list per key; the
// tool only ever meets these three cases.
enum class KeyAccess {
    Default,         // the inherited list: the user may read and write
    OpenToEveryone,  // a present, null access list: everyone has full access
    DenyFullAccess,  // the user may read but not obtain full or write access
};

// A value-type copy of a whole registry, for comparing a machine before and
// after a run. Keys are held in enumeration order.
struct RegistryKeySnapshot {
    std::string name;
    KeyAccess access = KeyAccess::Default;
    std::vector<RegValue> values;
    std::vector<RegistryKeySnapshot> subKeys;

    // Equal names (exact case), access, values in order and sub-keys.
    bool operator==(const RegistryKeySnapshot& other) const;
    bool operator!=(const RegistryKeySnapshot& other) const { return !(*this == other); }
};

struct RegistrySnapshot {
    std::vector<RegistryKeySnapshot> roots;  // one per root, in a fixed order

    bool operator==(const RegistrySnapshot& other) const { return roots == other.roots; }
    bool operator!=(const RegistrySnapshot& other) const { return !(*this == other); }
};

struct RegistryNode;

// A key held by reference, as an open handle holds it: it stays the same
// key while it exists and answers as removed once it has been deleted
// (by the tool, a scenario or a restore). Look-ups below it go through the
// key's index of children, not through its path again. Cheap to copy.
class KeyRef {
public:
    KeyRef() = default;

    // Refers to a key that has not been deleted.
    bool Exists() const;
    explicit operator bool() const { return Exists(); }
    // The key was deleted after this reference was taken.
    bool Removed() const;

    // The sub-key of that name (letter case ignored); an empty reference
    // when there is none.
    KeyRef Child(std::string_view name) const;
    // The value of that name (letter case ignored), or null; valid until
    // the key's values change.
    const RegValue* Value(std::string_view name) const;
    const std::string& Name() const;

private:
    friend class Registry;
    friend class RegistryInternals;
    explicit KeyRef(std::shared_ptr<RegistryNode> node) : node_(std::move(node)) {}
    std::shared_ptr<RegistryNode> node_;
};

class Registry {
public:
    // A new registry holds the bare keys every installation of the
    // machine's family has (HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion,
    // HKLM\SYSTEM\CurrentControlSet\Services or, on the 9x family,
    // HKLM\System\CurrentControlSet\Services\Class and
    // HKEY_DYN_DATA\Config Manager\Enum, ...) and no values.
    // Restore(RegistrySnapshot{}) empties it.
    explicit Registry(Machine& machine);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // ---- paths ------------------------------------------------------------
    // The long names of the roots, in the order snapshots hold them:
    // HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
    // HKEY_CURRENT_CONFIG, HKEY_DYN_DATA.
    static const std::vector<std::string>& RootNames();
    // Splits "HKLM\A\B" into the root's long name and the key names below it.
    // One trailing backslash is allowed; false for an unknown root or an
    // empty key name.
    static bool SplitKeyPath(const std::string& path, std::string* root, std::vector<std::string>* names);

    // ---- direct access by full path ------------------------------------
    // These set up and inspect a machine as a scenario does: no handles and
    // no access checks.
    bool KeyExists(const std::string& path) const;
    // The key at a full path, held by reference; empty when there is none.
    KeyRef Find(const std::string& path) const;
    // Creates the key and any missing parents; false for a bad root.
    bool CreateKey(const std::string& path);
    // Removes the key with everything below it; false when it did not exist
    // (and for a root, which cannot be removed). Handles to removed keys
    // answer ERROR_KEY_DELETED from then on.
    bool DeleteKeyTree(const std::string& path);

    // The setters create the key (and its parents) when it is missing;
    // false only for a bad path.
    bool SetValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
    // Stores the text followed by its NUL (REG_SZ unless told otherwise).
    bool SetString(const std::string& path, const std::string& name, const std::string& text, DWORD type = 1);
    bool SetDword(const std::string& path, const std::string& name, DWORD value);
    bool SetMultiString(const std::string& path, const std::string& name, const std::vector<std::string>& items);
    bool DeleteValue(const std::string& path, const std::string& name);

    std::optional<RegValue> GetValue(const std::string& path, const std::string& name) const;
    // The text of a string value, without the NUL (one trailing NUL is
    // dropped when present); nullopt when the value is missing.
    std::optional<std::string> GetString(const std::string& path, const std::string& name) const;
    std::optional<DWORD> GetDword(const std::string& path, const std::string& name) const;
    std::optional<std::vector<std::string>> GetMultiString(const std::string& path, const std::string& name) const;

    std::vector<std::string> SubKeys(const std::string& path) const;
    std::vector<std::string> ValueNames(const std::string& path) const;

    bool SetKeyAccess(const std::string& path, KeyAccess access);
    std::optional<KeyAccess> GetKeyAccess(const std::string& path) const;

    RegistrySnapshot Snapshot() const;
    // Replaces the whole tree with the snapshot's; handles still open on the
    // old tree answer ERROR_KEY_DELETED.
    void Restore(const RegistrySnapshot& snapshot);

    // Handles the tool holds open right now (predefined roots excluded).
    size_t OpenHandleCount() const;

    // ---- the Win32 side (used by sim/dlls/advapi32/registry.cpp) -------------------
    // Each returns a Windows error code, as the Reg* functions do. Open
    // does not handle RegOpenKeyA's special case of an empty sub-key (the
    // caller's own handle is given back); the API layer does.
    LONG Open(HKEY parent, const char* subKey, REGSAM access, HKEY* result);
    LONG Create(HKEY parent, const char* subKey, REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY* result,
                DWORD* disposition);
    LONG Close(HKEY key);
    LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
    LONG SetValueRaw(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
    LONG DeleteValueRaw(HKEY key, const char* name);
    // withSubKeys false is RegDeleteKeyA (the NT family refuses a key with
    // sub-keys, the 9x family removes the sub-tree); true is SHDeleteKeyA.
    LONG DeleteKey(HKEY parent, const char* subKey, bool withSubKeys);
    LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize);
    LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data, DWORD* dataSize);
    LONG SetSecurity(HKEY key, SECURITY_INFORMATION information, const void* descriptor);

    using Node = RegistryNode;

private:
    Machine& machine_;
    std::vector<std::shared_ptr<Node>> roots_;
    struct OpenKey {
        std::shared_ptr<Node> node;
        REGSAM access;
    };
    std::map<std::uintptr_t, OpenKey> handles_;

    friend class RegistryInternals;
};

}  // namespace sim
