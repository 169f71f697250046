#include "sim/machine/registry.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "sim/include/errors.h"
#include "sim/include/registry.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"

namespace sim {

struct RegistryNode {
    std::string name;
    KeyAccess access = KeyAccess::Default;
    std::vector<RegValue> values;                  // in creation order
    std::vector<std::shared_ptr<RegistryNode>> children;   // sorted by upper-cased name (enumeration order)
    // The same children by upper-cased name, for look-ups.
    std::unordered_map<std::string, std::shared_ptr<RegistryNode>> index;
    RegistryNode* parent = nullptr;                        // not owning; null for roots and removed keys
    bool root = false;
    bool deleted = false;
};

namespace {

using Node = Registry::Node;
using NodePtr = std::shared_ptr<Node>;

struct RootInfo {
    const char* longName;
    const char* shortName;
    std::uint32_t handle;
};

// The roots in snapshot order, with their predefined handle values.
const RootInfo kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},  {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u}, {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u}, {"HKEY_DYN_DATA", "HKDD", 0x80000006u},
};
constexpr size_t kRootCount = sizeof kRoots / sizeof kRoots[0];

constexpr std::uint32_t kPredefinedFirst = 0x80000000u;
constexpr std::uint32_t kPredefinedLast = 0x80000006u;

// Everything a key handle can be granted, and the rights that modify a key.
constexpr REGSAM kAllRights = KEY_ALL_ACCESS | SYNCHRONIZE;
constexpr REGSAM kReadRights = KEY_READ | SYNCHRONIZE;

int RootIndexByName(std::string_view name) {
    for (size_t i = 0; i < kRootCount; ++i) {
        if (EqualNoCase(name, kRoots[i].longName) || EqualNoCase(name, kRoots[i].shortName)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Windows looks only at the low 32 bits of a predefined handle.
std::uint32_t Low32(HKEY key) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key)); }

bool IsPredefinedValue(HKEY key) {
    const std::uint32_t low = Low32(key);
    return low >= kPredefinedFirst && low <= kPredefinedLast;
}

std::vector<NodePtr>::iterator ChildPosition(Node& node, std::string_view name) {
    return std::lower_bound(node.children.begin(), node.children.end(), name,
                            [](const NodePtr& child, std::string_view n) { return LessNoCase(child->name, n); });
}

NodePtr FindChild(const Node& node, std::string_view name) {
    auto it = node.index.find(Upper(name));
    return it == node.index.end() ? nullptr : it->second;
}

NodePtr AddChild(Node& node, const std::string& name) {
    if (NodePtr existing = FindChild(node, name)) return existing;
    auto child = std::make_shared<Node>();
    child->name = name;
    child->parent = &node;
    node.children.insert(ChildPosition(node, name), child);
    node.index.emplace(Upper(name), child);
    return child;
}

void MarkDeleted(Node& node) {
    node.deleted = true;
    node.parent = nullptr;
    for (const NodePtr& child : node.children) MarkDeleted(*child);
}

// Takes a key out of the tree; handles that still hold it see it deleted.
void Detach(Node& node) {
    Node* parent = node.parent;
    if (!parent) return;
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == &node) {
            const NodePtr keep = *it;  // keeps the node alive while it is marked
            siblings.erase(it);
            parent->index.erase(Upper(node.name));
            MarkDeleted(*keep);
            return;
        }
    }
}

std::vector<RegValue>::iterator FindValueIn(Node& node, std::string_view name) {
    return std::find_if(node.values.begin(), node.values.end(),
                        [&](const RegValue& v) { return EqualNoCase(v.name, name); });
}

std::vector<RegValue>::const_iterator FindValueIn(const Node& node, std::string_view name) {
    return std::find_if(node.values.begin(), node.values.end(),
                        [&](const RegValue& v) { return EqualNoCase(v.name, name); });
}

// A value set again keeps its place and the case of its first name.
void PutValue(Node& node, const std::string& name, DWORD type, std::string data) {
    auto it = FindValueIn(node, name);
    if (it != node.values.end()) {
        it->type = type;
        it->data = std::move(data);
        return;
    }
    RegValue v;
    v.name = name;
    v.type = type;
    v.data = std::move(data);
    node.values.push_back(std::move(v));
}

RegistryKeySnapshot ToSnapshot(const Node& node) {
    RegistryKeySnapshot s;
    s.name = node.name;
    s.access = node.access;
    s.values = node.values;
    s.subKeys.reserve(node.children.size());
    for (const NodePtr& child : node.children) s.subKeys.push_back(ToSnapshot(*child));
    return s;
}

void FillFromSnapshot(Node& node, const RegistryKeySnapshot& s) {
    node.access = s.access;
    for (const RegValue& v : s.values) PutValue(node, v.name, v.type, v.data);
    for (const RegistryKeySnapshot& sub : s.subKeys) {
        if (sub.name.empty()) continue;
        FillFromSnapshot(*AddChild(node, sub.name), sub);
    }
}

REGSAM MapGenericRights(REGSAM access) {
    REGSAM out = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | KEY_WOW64_32KEY |
                            KEY_WOW64_64KEY);
    if (access & GENERIC_READ) out |= KEY_READ;
    if (access & GENERIC_WRITE) out |= KEY_WRITE;
    if (access & GENERIC_EXECUTE) out |= KEY_EXECUTE;
    if (access & GENERIC_ALL) out |= KEY_ALL_ACCESS;
    return out;
}

// Splits a sub-key argument of the Reg* functions. Backslashes between and
// after names are skipped; a leading one is refused (ERROR_BAD_PATHNAME),
// except that RegCreateKeyExA on the 9x family ignores one.
LONG SplitSubKey(const char* subKey, bool skipOneLeading, std::vector<std::string>& parts) {
    parts.clear();
    if (!subKey) return ERROR_SUCCESS;
    std::string_view s(subKey);
    if (skipOneLeading && !s.empty() && s.front() == '\\') s.remove_prefix(1);
    if (!s.empty() && s.front() == '\\') return ERROR_BAD_PATHNAME;
    for (std::string& part : SplitPath(s)) {
        if (!part.empty()) parts.push_back(std::move(part));
    }
    return ERROR_SUCCESS;
}

// A descriptor whose access list is present and null gives everyone full
// access. Handles both the absolute and the self-relative layout.
bool DescriptorHasNullDacl(const void* descriptor) {
    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (!(sd->Control & SE_DACL_PRESENT)) return false;
    if (sd->Control & SE_SELF_RELATIVE) {
        DWORD daclOffset = 0;
        std::memcpy(&daclOffset, static_cast<const BYTE*>(descriptor) + 16, sizeof daclOffset);
        return daclOffset == 0;
    }
    return sd->Dacl == nullptr;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// After a string value is copied out: the NT family adds a NUL when the
// value was stored without one and the buffer has room for it; the size
// reported stays the stored one.
void TerminateIfRoom(const Machine& machine, const RegValue& value, BYTE* data, DWORD offered) {
    if (!machine.IsNt() || !IsStringType(value.type) || value.data.empty()) return;
    if (value.data.back() != '\0' && value.data.size() < offered) data[value.data.size()] = 0;
}

bool DescriptorValid(const void* descriptor) {
    return static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Revision == SECURITY_DESCRIPTOR_REVISION;
}

}  // namespace

// The handle-side helpers; a friend so that they can reach the handle table.
class RegistryInternals {
public:
    struct Resolved {
        NodePtr node;
        REGSAM granted = 0;
    };

    static LONG Resolve(const Registry& reg, HKEY key, Resolved& out) {
        const auto value = reinterpret_cast<std::uintptr_t>(key);
        auto it = reg.handles_.find(value);
        if (it != reg.handles_.end()) {
            if (it->second.node->deleted) return ERROR_KEY_DELETED;
            out.node = it->second.node;
            out.granted = it->second.access;
            return ERROR_SUCCESS;
        }
        if (IsPredefinedValue(key)) {
            for (size_t i = 0; i < kRootCount; ++i) {
                if (kRoots[i].handle == Low32(key)) {
                    out.node = reg.roots_[i];
                    out.granted = kAllRights;
                    return ERROR_SUCCESS;
                }
            }
        }
        return ERROR_INVALID_HANDLE;
    }

    // What a handle to the key opened with the requested rights is granted.
    // The 9x family has no key security: every handle may do everything.
    static LONG Grant(const Registry& reg, const Node& node, REGSAM requested, REGSAM& granted) {
        if (!reg.machine_.IsNt()) {
            granted = kAllRights;
            return ERROR_SUCCESS;
        }
        REGSAM wanted = MapGenericRights(requested);
        const bool maximum = (wanted & MAXIMUM_ALLOWED) != 0;
        wanted &= ~static_cast<REGSAM>(MAXIMUM_ALLOWED);
        const REGSAM allowed = node.access == KeyAccess::DenyFullAccess ? kReadRights : kAllRights;
        if (wanted & KEY_ALL_ACCESS & ~allowed) return ERROR_ACCESS_DENIED;
        granted = maximum ? (allowed | wanted) : wanted;
        return ERROR_SUCCESS;
    }

    static HKEY NewHandle(Registry& reg, NodePtr node, REGSAM granted) {
        const std::uintptr_t value = reg.machine_.NewHandleValue();
        reg.handles_[value] = Registry::OpenKey{std::move(node), granted};
        return reinterpret_cast<HKEY>(value);
    }

    // The existing key at `subKey` below the key behind `parent`.
    static LONG Descend(const Registry& reg, HKEY parent, const char* subKey, NodePtr& out) {
        Resolved base;
        LONG r = Resolve(reg, parent, base);
        if (r != ERROR_SUCCESS) return r;
        std::vector<std::string> parts;
        r = SplitSubKey(subKey, false, parts);
        if (r != ERROR_SUCCESS) return r;
        NodePtr node = base.node;
        for (const std::string& part : parts) {
            node = FindChild(*node, part);
            if (!node) return ERROR_FILE_NOT_FOUND;
        }
        out = std::move(node);
        return ERROR_SUCCESS;
    }

    static NodePtr Find(const Registry& reg, const std::string& path) {
        std::string root;
        std::vector<std::string> names;
        if (!Registry::SplitKeyPath(path, &root, &names)) return nullptr;
        NodePtr node = reg.roots_[static_cast<size_t>(RootIndexByName(root))];
        for (const std::string& name : names) {
            node = FindChild(*node, name);
            if (!node) return nullptr;
        }
        return node;
    }

    static NodePtr FindOrCreate(Registry& reg, const std::string& path) {
        std::string root;
        std::vector<std::string> names;
        if (!Registry::SplitKeyPath(path, &root, &names)) return nullptr;
        NodePtr node = reg.roots_[static_cast<size_t>(RootIndexByName(root))];
        for (const std::string& name : names) node = AddChild(*node, name);
        return node;
    }

    // SHDeleteKeyA on the NT family: children first, each one needing
    // DELETE on itself; the first refusal stops the walk, leaving what was
    // not reached in place (as the shell's recursive delete does).
    static LONG DeleteTreeChecked(Node& node) {
        while (!node.children.empty()) {
            const NodePtr child = node.children.front();
            const LONG r = DeleteTreeChecked(*child);
            if (r != ERROR_SUCCESS) return r;
        }
        if (node.access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
        Detach(node);
        return ERROR_SUCCESS;
    }
};

using Internals = RegistryInternals;

bool RegValue::operator==(const RegValue& other) const {
    return name == other.name && type == other.type && data == other.data;
}

bool RegistryKeySnapshot::operator==(const RegistryKeySnapshot& other) const {
    return name == other.name && access == other.access && values == other.values && subKeys == other.subKeys;
}

Registry::Registry(Machine& machine) : machine_(machine) {
    for (const RootInfo& info : kRoots) {
        auto node = std::make_shared<Node>();
        node->name = info.longName;
        node->root = true;
        roots_.push_back(std::move(node));
    }
    // The keys every installation of the family has, spelled as it spells them.
    static const char* const kCommon[] = {
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
        "HKLM\\SOFTWARE\\Classes",
        "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion",
        "HKU\\.DEFAULT\\Software",
    };
    static const char* const kNt[] = {
        "HKLM\\HARDWARE\\DESCRIPTION\\System",
        "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class",
        "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
        "HKLM\\SYSTEM\\CurrentControlSet\\Enum",
        "HKLM\\SYSTEM\\CurrentControlSet\\Services",
    };
    static const char* const kNineX[] = {
        "HKLM\\hardware\\DESCRIPTION\\System",
        "HKLM\\Enum",
        "HKLM\\System\\CurrentControlSet\\Control",
        "HKLM\\System\\CurrentControlSet\\Services\\Class",
        "HKEY_DYN_DATA\\Config Manager\\Enum",
    };
    for (const char* path : kCommon) CreateKey(path);
    if (machine_.IsNt()) {
        for (const char* path : kNt) CreateKey(path);
    } else {
        for (const char* path : kNineX) CreateKey(path);
    }
}

Registry::~Registry() = default;

// ---- paths -----------------------------------------------------------------

const std::vector<std::string>& Registry::RootNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const RootInfo& info : kRoots) out.emplace_back(info.longName);
        return out;
    }();
    return names;
}

bool Registry::SplitKeyPath(const std::string& path, std::string* root, std::vector<std::string>* names) {
    std::string_view view(path);
    if (!view.empty() && view.back() == '\\') view.remove_suffix(1);
    std::vector<std::string> parts = SplitPath(view);
    const int index = RootIndexByName(parts.front());
    if (index < 0) return false;
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty()) return false;
    }
    if (root) *root = kRoots[index].longName;
    if (names) names->assign(parts.begin() + 1, parts.end());
    return true;
}

// ---- direct access ----------------------------------------------------------

bool Registry::KeyExists(const std::string& path) const { return Internals::Find(*this, path) != nullptr; }

KeyRef Registry::Find(const std::string& path) const { return KeyRef(Internals::Find(*this, path)); }

bool KeyRef::Exists() const { return node_ && !node_->deleted; }

bool KeyRef::Removed() const { return node_ && node_->deleted; }

KeyRef KeyRef::Child(std::string_view name) const {
    if (!Exists()) return KeyRef();
    return KeyRef(FindChild(*node_, name));
}

const RegValue* KeyRef::Value(std::string_view name) const {
    if (!Exists()) return nullptr;
    auto it = FindValueIn(static_cast<const Node&>(*node_), name);
    return it == node_->values.end() ? nullptr : &*it;
}

const std::string& KeyRef::Name() const {
    static const std::string empty;
    return node_ ? node_->name : empty;
}

bool Registry::CreateKey(const std::string& path) { return Internals::FindOrCreate(*this, path) != nullptr; }

bool Registry::DeleteKeyTree(const std::string& path) {
    const NodePtr node = Internals::Find(*this, path);
    if (!node || node->root) return false;
    Detach(*node);
    return true;
}

bool Registry::SetValue(const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    const NodePtr node = Internals::FindOrCreate(*this, path);
    if (!node) return false;
    PutValue(*node, name, type, data);
    return true;
}

bool Registry::SetString(const std::string& path, const std::string& name, const std::string& text, DWORD type) {
    std::string data = text;
    data.push_back('\0');
    return SetValue(path, name, type, data);
}

bool Registry::SetDword(const std::string& path, const std::string& name, DWORD value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return SetValue(path, name, REG_DWORD, data);
}

bool Registry::SetMultiString(const std::string& path, const std::string& name,
                              const std::vector<std::string>& items) {
    std::string data;
    for (const std::string& item : items) {
        data += item;
        data.push_back('\0');
    }
    data.push_back('\0');
    return SetValue(path, name, REG_MULTI_SZ, data);
}

bool Registry::DeleteValue(const std::string& path, const std::string& name) {
    const NodePtr node = Internals::Find(*this, path);
    if (!node) return false;
    auto it = FindValueIn(*node, name);
    if (it == node->values.end()) return false;
    node->values.erase(it);
    return true;
}

std::optional<RegValue> Registry::GetValue(const std::string& path, const std::string& name) const {
    const NodePtr node = Internals::Find(*this, path);
    if (!node) return std::nullopt;
    auto it = FindValueIn(static_cast<const Node&>(*node), name);
    if (it == node->values.end()) return std::nullopt;
    return *it;
}

std::optional<std::string> Registry::GetString(const std::string& path, const std::string& name) const {
    std::optional<RegValue> v = GetValue(path, name);
    if (!v) return std::nullopt;
    std::string text = v->data;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::optional<DWORD> Registry::GetDword(const std::string& path, const std::string& name) const {
    std::optional<RegValue> v = GetValue(path, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    if (v->type != REG_DWORD && v->type != REG_BINARY && v->type != REG_DWORD_BIG_ENDIAN) return std::nullopt;
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) {
        const int byte = v->type == REG_DWORD_BIG_ENDIAN ? 3 - i : i;
        value |= static_cast<DWORD>(static_cast<unsigned char>(v->data[static_cast<size_t>(byte)])) << (8 * i);
    }
    return value;
}

std::optional<std::vector<std::string>> Registry::GetMultiString(const std::string& path,
                                                                 const std::string& name) const {
    std::optional<RegValue> v = GetValue(path, name);
    if (!v) return std::nullopt;
    std::vector<std::string> items;
    size_t start = 0;
    while (start < v->data.size()) {
        size_t end = v->data.find('\0', start);
        if (end == std::string::npos) end = v->data.size();
        if (end == start) break;  // the empty string that ends the list
        items.push_back(v->data.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::vector<std::string> Registry::SubKeys(const std::string& path) const {
    std::vector<std::string> out;
    if (const NodePtr node = Internals::Find(*this, path)) {
        for (const NodePtr& child : node->children) out.push_back(child->name);
    }
    return out;
}

std::vector<std::string> Registry::ValueNames(const std::string& path) const {
    std::vector<std::string> out;
    if (const NodePtr node = Internals::Find(*this, path)) {
        for (const RegValue& v : node->values) out.push_back(v.name);
    }
    return out;
}

bool Registry::SetKeyAccess(const std::string& path, KeyAccess access) {
    const NodePtr node = Internals::Find(*this, path);
    if (!node) return false;
    node->access = access;
    return true;
}

std::optional<KeyAccess> Registry::GetKeyAccess(const std::string& path) const {
    const NodePtr node = Internals::Find(*this, path);
    if (!node) return std::nullopt;
    return node->access;
}

RegistrySnapshot Registry::Snapshot() const {
    RegistrySnapshot snapshot;
    for (const NodePtr& root : roots_) snapshot.roots.push_back(ToSnapshot(*root));
    return snapshot;
}

void Registry::Restore(const RegistrySnapshot& snapshot) {
    for (const NodePtr& root : roots_) {
        for (const NodePtr& child : root->children) MarkDeleted(*child);
        root->children.clear();
        root->index.clear();
        root->values.clear();
        root->access = KeyAccess::Default;
        for (const RegistryKeySnapshot& s : snapshot.roots) {
            if (EqualNoCase(s.name, root->name)) {
                FillFromSnapshot(*root, s);
                break;
            }
        }
    }
}

size_t Registry::OpenHandleCount() const { return handles_.size(); }

// ---- the Win32 side ---------------------------------------------------------

LONG Registry::Open(HKEY parent, const char* subKey, REGSAM access, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    // A predefined key with no sub-key gives back the predefined handle.
    if ((!subKey || !*subKey) && IsPredefinedValue(parent)) {
        *result = parent;
        return ERROR_SUCCESS;
    }
    *result = nullptr;
    NodePtr node;
    LONG r = Internals::Descend(*this, parent, subKey, node);
    if (r != ERROR_SUCCESS) return r;
    REGSAM granted = 0;
    r = Internals::Grant(*this, *node, access, granted);
    if (r != ERROR_SUCCESS) return r;
    *result = Internals::NewHandle(*this, std::move(node), granted);
    return ERROR_SUCCESS;
}

LONG Registry::Create(HKEY parent, const char* subKey, REGSAM access, const SECURITY_ATTRIBUTES* security,
                      HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_BADKEY;
    *result = nullptr;
    const bool nt = machine_.IsNt();
    Internals::Resolved base;
    LONG r = Internals::Resolve(*this, parent, base);
    if (r != ERROR_SUCCESS) return r;
    std::vector<std::string> parts;
    r = SplitSubKey(subKey, !nt, parts);
    if (r != ERROR_SUCCESS) return r;

    const void* descriptor = (nt && security) ? security->lpSecurityDescriptor : nullptr;
    if (descriptor && !DescriptorValid(descriptor)) return ERROR_INVALID_SECURITY_DESCR;

    NodePtr node = base.node;
    size_t existing = 0;
    while (existing < parts.size()) {
        NodePtr child = FindChild(*node, parts[existing]);
        if (!child) break;
        node = std::move(child);
        ++existing;
    }

    REGSAM granted = 0;
    if (existing == parts.size()) {
        // The key exists: its security stays as it is.
        r = Internals::Grant(*this, *node, access, granted);
        if (r != ERROR_SUCCESS) return r;
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        *result = Internals::NewHandle(*this, std::move(node), granted);
        return ERROR_SUCCESS;
    }

    // Windows checks the security of the key that gets the new sub-key, not
    // the rights of the handle it is reached through: a handle opened only
    // for querying can create sub-keys below a key the user may write.
    if (nt && node->access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
    for (size_t i = existing; i < parts.size(); ++i) node = AddChild(*node, parts[i]);
    if (descriptor && DescriptorHasNullDacl(descriptor)) node->access = KeyAccess::OpenToEveryone;
    r = Internals::Grant(*this, *node, access, granted);
    if (r != ERROR_SUCCESS) return r;  // cannot happen: a new key refuses nothing
    if (disposition) *disposition = REG_CREATED_NEW_KEY;
    *result = Internals::NewHandle(*this, std::move(node), granted);
    return ERROR_SUCCESS;
}

LONG Registry::Close(HKEY key) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it != handles_.end()) {
        handles_.erase(it);
        return ERROR_SUCCESS;
    }
    return IsPredefinedValue(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG Registry::QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    if (data && !size) return ERROR_INVALID_PARAMETER;
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!(h.granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    auto it = FindValueIn(static_cast<const Node&>(*h.node), name ? name : "");
    if (it == h.node->values.end()) return ERROR_FILE_NOT_FOUND;
    const auto needed = static_cast<DWORD>(it->data.size());
    if (type) *type = it->type;
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        // The buffer's contents are undefined after ERROR_MORE_DATA; make
        // that visible to a caller who would use them anyway.
        std::memset(data, 0xCD, *size);
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, it->data.data(), needed);
    TerminateIfRoom(machine_, *it, data, *size);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG Registry::SetValueRaw(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return ERROR_NOACCESS;
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!(h.granted & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    // The NT family counts the NUL a caller forgot: a string whose last
    // byte is no NUL but whose next byte is one is stored with that NUL.
    // (Windows reads that byte too, one past the size given.)
    if (machine_.IsNt() && size && IsStringType(type) && data[size - 1] != 0 && data[size] == 0) ++size;
    std::string bytes;
    if (size) bytes.assign(reinterpret_cast<const char*>(data), size);
    PutValue(*h.node, name ? name : "", type, std::move(bytes));
    return ERROR_SUCCESS;
}

LONG Registry::DeleteValueRaw(HKEY key, const char* name) {
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!(h.granted & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    auto it = FindValueIn(*h.node, name ? name : "");
    if (it == h.node->values.end()) return ERROR_FILE_NOT_FOUND;
    h.node->values.erase(it);
    return ERROR_SUCCESS;
}

LONG Registry::DeleteKey(HKEY parent, const char* subKey, bool withSubKeys) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    NodePtr node;
    LONG r = Internals::Descend(*this, parent, subKey, node);
    if (r != ERROR_SUCCESS) return r;
    if (node->root) return ERROR_ACCESS_DENIED;
    if (!machine_.IsNt()) {
        // No key security, and RegDeleteKeyA removes the whole sub-tree.
        Detach(*node);
        return ERROR_SUCCESS;
    }
    if (withSubKeys) return Internals::DeleteTreeChecked(*node);
    if (node->access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
    if (!node->children.empty()) return ERROR_ACCESS_DENIED;
    Detach(*node);
    return ERROR_SUCCESS;
}

LONG Registry::EnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!(h.granted & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (index >= h.node->children.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& child = h.node->children[index]->name;
    // Sizes count characters; the buffer needs room for the NUL, and the
    // size is left alone when it is too small.
    if (child.size() >= *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, child.c_str(), child.size() + 1);
    *nameSize = static_cast<DWORD>(child.size());
    return ERROR_SUCCESS;
}

LONG Registry::EnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
    if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!(h.granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (index >= h.node->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& v = h.node->values[index];
    const auto needed = static_cast<DWORD>(v.data.size());
    if (type) *type = v.type;
    if (v.name.size() >= *nameSize) {
        if (dataSize) *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *nameSize = static_cast<DWORD>(v.name.size());
    if (data) {
        if (*dataSize < needed) {
            std::memset(data, 0xCD, *dataSize);
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, v.data.data(), needed);
        TerminateIfRoom(machine_, v, data, *dataSize);
    }
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG Registry::SetSecurity(HKEY key, SECURITY_INFORMATION information, const void* descriptor) {
    if (!machine_.IsNt()) return ERROR_CALL_NOT_IMPLEMENTED;
    constexpr SECURITY_INFORMATION kKnown = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    if (!(information & kKnown) || !descriptor) return ERROR_INVALID_PARAMETER;
    Internals::Resolved h;
    LONG r = Internals::Resolve(*this, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!DescriptorValid(descriptor)) return ERROR_INVALID_SECURITY_DESCR;
    REGSAM needed = 0;
    if (information & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
    // Setting the audit list needs ACCESS_SYSTEM_SECURITY, which no handle
    // of the emulator is ever granted.
    if ((h.granted & needed) != needed || (information & SACL_SECURITY_INFORMATION)) return ERROR_ACCESS_DENIED;
    if (information & DACL_SECURITY_INFORMATION) {
        // A missing access list and a present null one both leave the key
        // open to everyone; any real list is taken as the inherited one.
        const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
        const bool open = !(sd->Control & SE_DACL_PRESENT) || DescriptorHasNullDacl(descriptor);
        h.node->access = open ? KeyAccess::OpenToEveryone : KeyAccess::Default;
    }
    return ERROR_SUCCESS;
}

}  // namespace sim
