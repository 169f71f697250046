// The tree of folders and files: lookups, the machine's own folders, the
// direct access of scenarios and tests, and attributes.
#include <algorithm>

#include "sim/base/text.h"
#include "sim/machine/filesystem/internals.h"
#include "sim/machine/machine.h"

namespace sim {

using Internals = FileSystemInternals;

// ---- lookups ---------------------------------------------------------------------

Internals::NodePtr Internals::Child(const FileSystem::Node& folder, const std::string& name) {
    for (const NodePtr& c : folder.children) {
        if (EqualNoCase(c->name, name) || (!c->alias.empty() && EqualNoCase(c->alias, name))) return c;
    }
    return nullptr;
}

Internals::Located Internals::Locate(const FileSystem& fs, const ParsedPath& p) {
    Located r;
    if (p.error) {
        r.error = p.error;
        return r;
    }
    if (p.parts.empty()) {
        r.node = fs.root_;
        return r;
    }
    NodePtr cur = fs.root_;
    for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
        NodePtr next = Child(*cur, p.parts[i]);
        if (!next || !next->folder) {
            r.error = ERROR_PATH_NOT_FOUND;
            return r;
        }
        cur = next;
    }
    r.parent = cur;
    r.node = Child(*cur, p.parts.back());
    if (!r.node) r.error = ERROR_FILE_NOT_FOUND;
    return r;
}

Internals::Located Internals::Locate(const FileSystem& fs, const std::string& path) {
    return Locate(fs, ParsePath(path, false));
}

DWORD Internals::Reported(const FileSystem::Node& n) {
    DWORD a = n.attributes;
    if (n.folder) a |= FILE_ATTRIBUTE_DIRECTORY;
    return a ? a : FILE_ATTRIBUTE_NORMAL;
}

std::string Internals::FullPath(const FileSystem::Node& n) {
    if (n.parent.expired()) return n.folder && n.name == "C:" ? "C:\\" : n.name;
    std::vector<std::string> names;
    NodePtr up;
    for (const FileSystem::Node* cur = &n; cur; cur = up.get()) {
        up = cur->parent.lock();
        if (up) names.push_back(cur->name);
    }
    std::reverse(names.begin(), names.end());
    return "C:\\" + JoinPath(names, names.size());
}

std::vector<Internals::NodePtr> Internals::Listing(const FileSystem& fs, const FileSystem::Node& folder) {
    std::vector<NodePtr> out = folder.children;
    if (fs.machine_.IsNt()) {
        std::stable_sort(out.begin(), out.end(),
                         [](const NodePtr& a, const NodePtr& b) { return LessNoCase(a->name, b->name); });
    }
    return out;
}

bool Internals::IsWithin(const FileSystem::Node* n, const FileSystem::Node* folder) {
    while (n) {
        if (n == folder) return true;
        const NodePtr up = n->parent.lock();
        n = up.get();
    }
    return false;
}

Internals::NodePtr Internals::AddChild(const FileSystem& fs, const NodePtr& folder, const std::string& name,
                                       bool isFolder, DWORD attributes) {
    auto n = std::make_shared<FileSystem::Node>();
    n->name = name;
    n->alias = MakeAlias(fs, *folder, name, nullptr);
    n->folder = isFolder;
    n->attributes = attributes & kStoredAttributes;
    n->parent = folder;
    folder->children.push_back(n);
    return n;
}

void Internals::Detach(FileSystem::Node& node) {
    const NodePtr parent = node.parent.lock();
    if (!parent) return;
    auto& siblings = parent->children;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [&](const NodePtr& c) { return c.get() == &node; }),
                   siblings.end());
    node.parent.reset();
}

Internals::NodePtr Internals::EnsureFolders(FileSystem& fs, const std::vector<std::string>& parts, size_t count) {
    NodePtr cur = fs.root_;
    for (size_t i = 0; i < count; ++i) {
        NodePtr next = Child(*cur, parts[i]);
        if (!next) next = AddChild(fs, cur, parts[i], true, 0);
        if (!next->folder) return nullptr;
        cur = next;
    }
    return cur;
}

void Internals::Record(const FileSystem& fs, const std::string& line) { fs.machine_.Record("file", line); }

// ---- the machine's folders -------------------------------------------------------------

FileSystem::FileSystem(Machine& machine) : machine_(machine) {
    root_ = std::make_shared<Node>();
    root_->name = "C:";
    root_->folder = true;
    // The root of an NTFS volume is hidden and a system folder.
    if (machine_.IsNt()) root_->attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    CreateFolder(machine_.WindowsDir());
    CreateFolder(machine_.SystemDir());
    CreateFolder(JoinWindowsPath(machine_.WindowsDir(), "inf"));
    if (machine_.IsNt()) CreateFolder(JoinWindowsPath(machine_.SystemDir(), "drivers"));
}

FileSystem::~FileSystem() = default;

// ---- direct access ----------------------------------------------------------

bool FileSystem::Exists(const std::string& path) const { return Internals::Locate(*this, path).node != nullptr; }

bool FileSystem::IsFolder(const std::string& path) const {
    auto loc = Internals::Locate(*this, path);
    return loc.node && loc.node->folder;
}

bool FileSystem::CreateFolder(const std::string& path) {
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return false;
    return Internals::EnsureFolders(*this, p.parts, p.parts.size()) != nullptr;
}

bool FileSystem::WriteFile(const std::string& path, const std::string& content, DWORD attributes) {
    const ParsedPath p = ParsePath(path, false);
    if (p.error || p.parts.empty()) return false;
    auto folder = Internals::EnsureFolders(*this, p.parts, p.parts.size() - 1);
    if (!folder) return false;
    auto node = Internals::Child(*folder, p.parts.back());
    if (node && node->folder) return false;
    if (!node) node = Internals::AddChild(*this, folder, p.parts.back(), false, 0);
    node->content = content;
    node->attributes = attributes & kStoredAttributes;
    return true;
}

std::optional<std::string> FileSystem::ReadFile(const std::string& path) const {
    auto loc = Internals::Locate(*this, path);
    if (!loc.node || loc.node->folder) return std::nullopt;
    return loc.node->content;
}

std::optional<DWORD> FileSystem::Attributes(const std::string& path) const {
    auto loc = Internals::Locate(*this, path);
    if (!loc.node) return std::nullopt;
    return Internals::Reported(*loc.node);
}

bool FileSystem::SetAttributes(const std::string& path, DWORD attributes) {
    auto loc = Internals::Locate(*this, path);
    if (!loc.node) return false;
    loc.node->attributes = attributes & kStoredAttributes;
    return true;
}

bool FileSystem::Remove(const std::string& path) {
    auto loc = Internals::Locate(*this, path);
    if (!loc.node || loc.node == root_) return false;
    std::vector<const Node*> pending{loc.node.get()};
    while (!pending.empty()) {
        const Node* n = pending.back();
        pending.pop_back();
        if (n->inUse) return false;
        for (const auto& c : n->children) pending.push_back(c.get());
    }
    Internals::Detach(*loc.node);
    return true;
}

std::vector<std::string> FileSystem::List(const std::string& folder) const {
    std::vector<std::string> names;
    auto loc = Internals::Locate(*this, folder);
    if (!loc.node || !loc.node->folder) return names;
    for (const auto& c : Internals::Listing(*this, *loc.node)) names.push_back(c->name);
    return names;
}

// ---- attributes, as Kernel32 reads and sets them ------------------------------------

Result<DWORD> FileSystem::PathAttributes(std::string_view path) const {
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return WinError{loc.error};
    if (p.trailingSlash && !loc.node->folder) return WinError{ERROR_INVALID_NAME};
    return Internals::Reported(*loc.node);
}

DWORD FileSystem::ChangeAttributes(std::string_view path, DWORD attributes) {
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (p.trailingSlash && !loc.node->folder) return ERROR_INVALID_NAME;
    // FILE_ATTRIBUTE_NORMAL (or nothing) clears them all; a folder stays one.
    loc.node->attributes = attributes & kStoredAttributes;
    Internals::Record(*this, "SetFileAttributes " + Internals::FullPath(*loc.node) + " [" +
                                 AttributeLetters(Internals::Reported(*loc.node)) + "]");
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32GetAttributes(const char* path, DWORD* attributes) const {
    if (DWORD e = AnsiPathError(path)) return e;
    const Result<DWORD> found = PathAttributes(path);
    if (!found) return found.error();
    *attributes = *found;
    return ERROR_SUCCESS;
}

}  // namespace sim
