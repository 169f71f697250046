// The registry's handle side: the table of open handles, the rights each
// handle was granted, and the key operations the Reg* functions act
// through. Every function answers a Windows error code; a refusal changes
// nothing (except SHDeleteKeyA's walk, which keeps what it removed before
// it was refused, as the shell's does). Nothing here records to the
// transcript: the entry points do, once they know the outcome.
#include <algorithm>

#include "sim/base/text.h"
#include "sim/include/errors.h"
#include "sim/include/kernel.h"  // before registry.h, which uses its types
#include "sim/include/registry.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/machine/registry_tree.h"
#include "sim/machine/security.h"

namespace sim {

using namespace registry_tree;

namespace {

constexpr std::uint32_t kPredefinedFirst = 0x80000000u;
constexpr std::uint32_t kPredefinedLast = 0x80000006u;

// Everything a key handle can be granted, and what a key the user may not
// write still grants.
constexpr REGSAM kAllRights = KEY_ALL_ACCESS | SYNCHRONIZE;
constexpr REGSAM kReadRights = KEY_READ | SYNCHRONIZE;

// Windows looks only at the low 32 bits of a predefined handle.
std::uint32_t Low32(HKEY key) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key)); }

// Takes a key out of the tree and notes its path, which stands for the
// paths of its children taken out before it.
void Remove(Node& node, std::vector<std::string>* removed) {
    const std::string path = FullPath(node);
    const std::string below = path + "\\";
    removed->erase(std::remove_if(removed->begin(), removed->end(),
                                  [&](const std::string& p) { return StartsWithNoCase(p, below); }),
                   removed->end());
    removed->push_back(path);
    Detach(node);
}

// SHDeleteKeyA on the NT family: children first, each one needing DELETE
// on itself; the first refusal stops the walk, leaving what was not
// reached in place (as the shell's recursive delete does).
LONG DeleteTreeChecked(Node& node, std::vector<std::string>* removed) {
    while (!node.children.empty()) {
        const NodePtr child = node.children.front();
        const LONG r = DeleteTreeChecked(*child, removed);
        if (r != ERROR_SUCCESS) return r;
    }
    if (node.access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
    Remove(node, removed);
    return ERROR_SUCCESS;
}

}  // namespace

bool Registry::IsPredefined(HKEY handle) {
    const std::uint32_t low = Low32(handle);
    return low >= kPredefinedFirst && low <= kPredefinedLast;
}

LONG Registry::Resolve(HKEY handle, OpenedKey* out) const {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it != handles_.end()) {
        if (it->second.node->deleted) return ERROR_KEY_DELETED;
        out->key = KeyRef(it->second.node);
        out->granted = it->second.access;
        return ERROR_SUCCESS;
    }
    if (IsPredefined(handle)) {
        for (size_t i = 0; i < kRootCount; ++i) {
            if (kRoots[i].handle == Low32(handle)) {
                out->key = KeyRef(roots_[i]);
                out->granted = kAllRights;
                return ERROR_SUCCESS;
            }
        }
    }
    return ERROR_INVALID_HANDLE;
}

// What a handle to the key opened with the requested rights is granted.
// The 9x family has no key security: every handle may do everything.
LONG Registry::Grant(const Node& node, REGSAM requested, REGSAM* granted) const {
    if (!machine_.IsNt()) {
        *granted = kAllRights;
        return ERROR_SUCCESS;
    }
    REGSAM wanted = MapGenericRights(requested & ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY), kKeyMapping);
    const bool maximum = (wanted & MAXIMUM_ALLOWED) != 0;
    wanted &= ~static_cast<REGSAM>(MAXIMUM_ALLOWED);
    const REGSAM allowed = node.access == KeyAccess::DenyFullAccess ? kReadRights : kAllRights;
    if (wanted & KEY_ALL_ACCESS & ~allowed) return ERROR_ACCESS_DENIED;
    *granted = maximum ? (allowed | wanted) : wanted;
    return ERROR_SUCCESS;
}

HKEY Registry::NewHandle(std::shared_ptr<Node> node, REGSAM granted) {
    const std::uintptr_t value = machine_.NewHandleValue();
    handles_[value] = OpenKey{std::move(node), granted};
    return reinterpret_cast<HKEY>(value);
}

size_t Registry::OpenHandleCount() const { return handles_.size(); }

LONG Registry::Open(const KeyRef& base, const std::vector<std::string>& names, REGSAM access, HKEY* result) {
    const KeyRef key = Descend(base, names);
    if (!key) return ERROR_FILE_NOT_FOUND;
    REGSAM granted = 0;
    const LONG r = Grant(*NodeOf(key), access, &granted);
    if (r != ERROR_SUCCESS) return r;
    *result = NewHandle(NodeOf(key), granted);
    return ERROR_SUCCESS;
}

LONG Registry::Create(const KeyRef& base, const std::vector<std::string>& names, REGSAM access,
                      KeyAccess newKeyAccess, HKEY* result, bool* created) {
    NodePtr node = NodeOf(base);
    size_t existing = 0;
    while (existing < names.size()) {
        NodePtr child = FindChild(*node, names[existing]);
        if (!child) break;
        node = std::move(child);
        ++existing;
    }

    REGSAM granted = 0;
    if (existing == names.size()) {
        // The key exists: its security stays as it is.
        const LONG r = Grant(*node, access, &granted);
        if (r != ERROR_SUCCESS) return r;
        *created = false;
        *result = NewHandle(std::move(node), granted);
        return ERROR_SUCCESS;
    }

    // Windows checks the security of the key that gets the new sub-key, not
    // the rights of the handle it is reached through: a handle opened only
    // for querying can create sub-keys below a key the user may write.
    if (machine_.IsNt() && node->access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
    for (size_t i = existing; i < names.size(); ++i) node = AddChild(*node, names[i]);
    node->access = newKeyAccess;
    const LONG r = Grant(*node, access, &granted);
    if (r != ERROR_SUCCESS) return r;  // cannot happen: a new key refuses nothing
    *created = true;
    *result = NewHandle(std::move(node), granted);
    return ERROR_SUCCESS;
}

LONG Registry::Close(HKEY handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it != handles_.end()) {
        handles_.erase(it);
        return ERROR_SUCCESS;
    }
    return IsPredefined(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::optional<std::string> Registry::SubKeyAt(const KeyRef& key, size_t index) {
    const Node& node = *NodeOf(key);
    if (index >= node.children.size()) return std::nullopt;
    return node.children[index]->name;
}

const RegValue* Registry::ValueAt(const KeyRef& key, size_t index) {
    const Node& node = *NodeOf(key);
    return index < node.values.size() ? &node.values[index] : nullptr;
}

void Registry::WriteValue(const KeyRef& key, const std::string& name, DWORD type, std::string data) {
    PutValue(*NodeOf(key), name, type, std::move(data));
}

bool Registry::EraseValue(const KeyRef& key, std::string_view name) {
    Node& node = *NodeOf(key);
    auto it = FindValueIn(node, name);
    if (it == node.values.end()) return false;
    node.values.erase(it);
    return true;
}

void Registry::SetAccess(const KeyRef& key, KeyAccess access) { NodeOf(key)->access = access; }

LONG Registry::DeleteKey(const KeyRef& key, bool withSubKeys, std::vector<std::string>* removed) {
    Node& node = *NodeOf(key);
    if (node.root) return ERROR_ACCESS_DENIED;
    if (!machine_.IsNt()) {
        // No key security, and RegDeleteKeyA removes the whole sub-tree.
        Remove(node, removed);
        return ERROR_SUCCESS;
    }
    if (withSubKeys) return DeleteTreeChecked(node, removed);
    if (node.access == KeyAccess::DenyFullAccess) return ERROR_ACCESS_DENIED;
    if (!node.children.empty()) return ERROR_ACCESS_DENIED;
    Remove(node, removed);
    return ERROR_SUCCESS;
}

}  // namespace sim
