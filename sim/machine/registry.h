// The emulated registry.
//
// A tree of keys under the roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG and HKEY_DYN_DATA.
// Key and value names are compared without regard to case and keep the case
// they were created with. Values hold a type and raw bytes exactly as they
// were set. Sub-keys enumerate in Windows' order (by upper-cased name);
// values in the order they were created.
//
// Two faces. The C++ interface by full path ("HKEY_LOCAL_MACHINE\Software\X";
// the short root names HKLM, HKCU, HKCR, HKU, HKCC and HKDD are accepted too)
// lets scenarios and tests set up and inspect a machine directly: no
// handles, no access checks, nothing recorded. The handle side is what the
// Reg* functions (sim/dlls/advapi32/registry.cpp) act through: they turn a
// handle into the key it holds, apply Windows' rules for arguments and
// buffers, and record every change in the transcript; the functions here
// take and return values and report a failure as a Windows error code,
// with nothing changed.
//
// Files: registry.cpp holds the tree, paths, direct access and snapshots;
// registry_handles.cpp the handle table and the handle side;
// registry_tree.h the key nodes both share.
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

    // ---- the handle side (used by sim/dlls/advapi32/registry.cpp) ----------
    // A key as an open handle holds it, with the rights the handle was
    // granted (every right for a predefined root, and for every key on the
    // 9x family, which has no key security).
    struct OpenedKey {
        KeyRef key;
        REGSAM granted = 0;
        bool Allows(REGSAM rights) const { return (granted & rights) == rights; }
    };

    // A value of the predefined range HKEY_CLASSES_ROOT ... HKEY_DYN_DATA
    // (Windows looks only at the low 32 bits), whether or not a root stands
    // behind it.
    static bool IsPredefined(HKEY handle);
    // The key behind a handle: ERROR_INVALID_HANDLE for a value that is no
    // open handle, ERROR_KEY_DELETED when its key has been removed since.
    LONG Resolve(HKEY handle, OpenedKey* out) const;
    // "HKEY_LOCAL_MACHINE\SOFTWARE\X": a key's full path, its names as they
    // were created.
    static std::string PathOf(const KeyRef& key);
    // Splits a sub-key argument of the Reg* functions into key names.
    // Backslashes between and after names are skipped; a leading one is
    // refused (ERROR_BAD_PATHNAME) unless `skipOneLeading` (RegCreateKeyExA
    // on the 9x family ignores one).
    static LONG SplitSubKey(std::string_view subKey, bool skipOneLeading, std::vector<std::string>* names);
    // The existing key `names` below `base`; empty when one is missing.
    static KeyRef Descend(const KeyRef& base, const std::vector<std::string>& names);

    // A new handle to the existing key `names` below `base`, with the rights
    // `access` asks for: ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED.
    LONG Open(const KeyRef& base, const std::vector<std::string>& names, REGSAM access, HKEY* result);
    // Opens the key, or creates it with its missing parents; a key created
    // gets `newKeyAccess`, an existing one keeps its own. `created` tells
    // which happened. The NT family refuses (ERROR_ACCESS_DENIED) a new key
    // below a key the user may not write, whatever the rights of the handle
    // `base` was reached through.
    LONG Create(const KeyRef& base, const std::vector<std::string>& names, REGSAM access, KeyAccess newKeyAccess,
                HKEY* result, bool* created);
    // ERROR_INVALID_HANDLE for a value that is neither an open handle nor
    // predefined.
    LONG Close(HKEY handle);

    // The name of the sub-key and the value at a place in enumeration order;
    // nullopt and null past the end.
    static std::optional<std::string> SubKeyAt(const KeyRef& key, size_t index);
    static const RegValue* ValueAt(const KeyRef& key, size_t index);
    // A value set again keeps its place and the case of its first name.
    static void WriteValue(const KeyRef& key, const std::string& name, DWORD type, std::string data);
    // False when the key has no such value.
    static bool EraseValue(const KeyRef& key, std::string_view name);
    static void SetAccess(const KeyRef& key, KeyAccess access);
    // Removes `key` as RegDeleteKeyA (`withSubKeys` false: the NT family
    // refuses a key with sub-keys, the 9x family removes the sub-tree) or
    // SHDeleteKeyA (true: children first, each checked on its own, the
    // first refusal ending the walk) do; a root is refused. `removed`
    // receives the full path of each key taken out (only the topmost of a
    // removed tree), also when a refusal stopped the walk halfway.
    LONG DeleteKey(const KeyRef& key, bool withSubKeys, std::vector<std::string>* removed);

    using Node = RegistryNode;

private:
    LONG Grant(const Node& node, REGSAM requested, REGSAM* granted) const;
    HKEY NewHandle(std::shared_ptr<Node> node, REGSAM granted);
    static const std::shared_ptr<Node>& NodeOf(const KeyRef& key) { return key.node_; }

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
