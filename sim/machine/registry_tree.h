// The key nodes of the emulated registry, shared by registry.cpp (the tree,
// direct access, snapshots) and registry_handles.cpp (the handle side).
// Nothing outside sim::Registry includes this: everyone else holds keys
// through KeyRef.
//
// A node is owned by its parent's `children` (and `index`), by the handles
// and KeyRefs that hold it, and, for a root, by the registry. A removed
// node is marked deleted and loses its parent; whoever still holds it sees
// it removed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim/machine/registry.h"

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

namespace registry_tree {

using Node = RegistryNode;
using NodePtr = std::shared_ptr<Node>;

struct RootInfo {
    const char* longName;
    const char* shortName;
    std::uint32_t handle;
};

// The roots in snapshot order, with their predefined handle values.
inline constexpr RootInfo kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},  {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u}, {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u}, {"HKEY_DYN_DATA", "HKDD", 0x80000006u},
};
inline constexpr size_t kRootCount = sizeof kRoots / sizeof kRoots[0];

// "HKEY_LOCAL_MACHINE\SOFTWARE\X"; only the key's own name once it is removed.
std::string FullPath(const Node& node);
NodePtr FindChild(const Node& node, std::string_view name);
// The child of that name, made when it is missing.
NodePtr AddChild(Node& node, const std::string& name);
void MarkDeleted(Node& node);
// Takes a key out of the tree; handles that still hold it see it deleted.
void Detach(Node& node);

std::vector<RegValue>::iterator FindValueIn(Node& node, std::string_view name);
std::vector<RegValue>::const_iterator FindValueIn(const Node& node, std::string_view name);
// A value set again keeps its place and the case of its first name.
void PutValue(Node& node, const std::string& name, DWORD type, std::string data);

}  // namespace registry_tree
}  // namespace sim
