// The registry's key tree: nodes and their index, paths, the direct access
// by full path that scenarios and tests use, and snapshots. Nothing here
// records to the transcript; a bad path is answered with false or nullopt
// and changes nothing.
#include "sim/machine/registry.h"

#include <algorithm>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/include/errors.h"
#include "sim/include/registry.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry_tree.h"

namespace sim {

namespace registry_tree {

namespace {

std::vector<NodePtr>::iterator ChildPosition(Node& node, std::string_view name) {
    return std::lower_bound(node.children.begin(), node.children.end(), name,
                            [](const NodePtr& child, std::string_view n) { return LessNoCase(child->name, n); });
}

}  // namespace

std::string FullPath(const Node& node) {
    std::string path = node.name;
    for (const Node* up = node.parent; up; up = up->parent) path = up->name + "\\" + path;
    return path;
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

}  // namespace registry_tree

using namespace registry_tree;

namespace {

int RootIndexByName(std::string_view name) {
    for (size_t i = 0; i < kRootCount; ++i) {
        if (EqualNoCase(name, kRoots[i].longName) || EqualNoCase(name, kRoots[i].shortName)) {
            return static_cast<int>(i);
        }
    }
    return -1;
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

}  // namespace

// Finding keys by full path; a friend so that it can reach the roots.
class RegistryInternals {
public:
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

std::string Registry::PathOf(const KeyRef& key) { return NodeOf(key) ? FullPath(*NodeOf(key)) : std::string(); }

LONG Registry::SplitSubKey(std::string_view subKey, bool skipOneLeading, std::vector<std::string>* names) {
    names->clear();
    if (skipOneLeading && !subKey.empty() && subKey.front() == '\\') subKey.remove_prefix(1);
    if (!subKey.empty() && subKey.front() == '\\') return ERROR_BAD_PATHNAME;
    for (std::string& part : SplitPath(subKey)) {
        if (!part.empty()) names->push_back(std::move(part));
    }
    return ERROR_SUCCESS;
}

KeyRef Registry::Descend(const KeyRef& base, const std::vector<std::string>& names) {
    KeyRef key = base;
    for (const std::string& name : names) {
        key = key.Child(name);
        if (!key) return KeyRef();
    }
    return key;
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
    return SetValue(path, name, REG_DWORD, Le32(value));
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
    constexpr size_t kDwordSize = 4;
    std::optional<RegValue> v = GetValue(path, name);
    if (!v || v->data.size() != kDwordSize) return std::nullopt;
    if (v->type != REG_DWORD && v->type != REG_BINARY && v->type != REG_DWORD_BIG_ENDIAN) return std::nullopt;
    std::string bytes = v->data;
    if (v->type == REG_DWORD_BIG_ENDIAN) std::reverse(bytes.begin(), bytes.end());
    return static_cast<DWORD>(GetLe(bytes, 0, kDwordSize));
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

// ---- snapshots ------------------------------------------------------------------

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

}  // namespace sim
