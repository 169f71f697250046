#include "sim/machine/filesystem.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "sim/include/errors.h"
#include "sim/include/kernel.h"
#include "sim/include/registry.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"
#include "sim/base/text.h"

namespace sim {

namespace {

// The attributes an entry keeps; DIRECTORY follows from being a folder and
// NORMAL from having none of these.
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | 0x100 /* TEMPORARY */ | 0x1000 /* OFFLINE */ |
                                    0x2000 /* NOT_CONTENT_INDEXED */;

// What an open of a file asks for, reduced to what sharing checks need.
constexpr DWORD kRead = 1;
constexpr DWORD kWrite = 2;
constexpr DWORD kDelete = 4;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

constexpr DWORD kDeleteAccess = 0x00010000;       // DELETE
constexpr DWORD kFlagDeleteOnClose = 0x04000000;  // FILE_FLAG_DELETE_ON_CLOSE
// The ANSI functions of CreateDirectory leave room for an 8.3 name below
// the new folder: MAX_PATH - 12 characters.
constexpr size_t kMaxFolderPath = MAX_PATH - 12;

const char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

// A path as Windows reads it before looking anything up: the drive, the
// folder names with "." and ".." worked out, and how it ended.
struct ParsedPath {
    DWORD error = ERROR_SUCCESS;
    char drive = 'C';
    bool otherDrive = false;         // a well-formed path on a drive the machine lacks
    std::vector<std::string> parts;  // below the root
    bool trailingSlash = false;      // "C:\WINDOWS\"
    bool endedWithDot = false;       // the last name lost trailing dots ("*." -> "*")

    std::string Full() const {
        std::string out(1, drive);
        out += ":\\";
        out += JoinPath(parts, parts.size());
        return out;
    }
};

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsWildcard(char c) { return c == '*' || c == '?'; }

bool HasWildcards(std::string_view name) { return std::any_of(name.begin(), name.end(), IsWildcard); }

bool InvalidNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || c == '<' || c == '>' || c == '|' || c == '"' || c == ':';
}

ParsedPath ParsePath(std::string_view text, bool wildcardsInLast) {
    ParsedPath p;
    std::string s(text);
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty()) {
        p.error = ERROR_PATH_NOT_FOUND;
        return p;
    }
    // "\\?\C:\x" and "\\.\C:\x" name the same file as "C:\x".
    if (s.size() >= 4 && s[0] == '\\' && s[1] == '\\' && (s[2] == '?' || s[2] == '.') && s[3] == '\\') {
        s.erase(0, 4);
    } else if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        p.error = ERROR_PATH_NOT_FOUND;  // a network path: the machine has no network
        return p;
    }
    std::string rest = s;
    if (s.size() >= 2 && s[1] == ':') {
        const char d = s[0];
        if (!((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z'))) {
            p.error = ERROR_INVALID_NAME;
            return p;
        }
        p.drive = static_cast<char>(d >= 'a' ? d - 'a' + 'A' : d);
        p.otherDrive = p.drive != 'C';
        rest = s.substr(2);  // relative to that drive's current folder, its root
    }
    const std::vector<std::string> raw = SplitPath(rest);
    size_t last = raw.size();
    for (size_t i = raw.size(); i-- > 0;) {
        if (!raw[i].empty()) {
            last = i;
            break;
        }
    }
    if (last == raw.size()) return p;  // the root
    p.trailingSlash = last + 1 < raw.size();
    for (size_t i = 0; i <= last; ++i) {
        std::string part = raw[i];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!p.parts.empty()) p.parts.pop_back();
            continue;
        }
        if (i == last) {
            // Windows drops trailing dots and blanks of the final name.
            p.endedWithDot = part.back() == '.';
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
            if (part.empty()) continue;
        }
        for (char c : part) {
            if (InvalidNameChar(c) || (IsWildcard(c) && !(wildcardsInLast && i == last))) {
                p.error = ERROR_INVALID_NAME;
                return p;
            }
        }
        p.parts.push_back(part);
    }
    if (p.otherDrive) p.error = ERROR_PATH_NOT_FOUND;
    return p;
}

std::string JoinWindowsPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

DWORD CheckAnsiPath(const char* path) {
    if (!path) return ERROR_PATH_NOT_FOUND;
    // The ANSI functions convert the name into a buffer of MAX_PATH
    // characters; a longer name does not fit.
    if (std::strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

DWORD AccessBits(DWORD access) {
    DWORD bits = 0;
    if (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | 0x1 /* FILE_READ_DATA */)) bits |= kRead;
    if (access & (GENERIC_WRITE | GENERIC_ALL | 0x2 /* FILE_WRITE_DATA */ | 0x4 /* FILE_APPEND_DATA */)) {
        bits |= kWrite;
    }
    if (access & (kDeleteAccess | GENERIC_ALL)) bits |= kDelete;
    return bits;
}

// FindFirstFile hands the name pattern to the file system in the form of
// the DOS wildcards: '>' (one character, or none at a dot or the end),
// '"' (a dot, or nothing at the end), '<' (anything up to the last dot).
std::string TranslatePattern(std::string pattern, bool endedWithDot) {
    if (pattern == "*.*") return "*";
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (i > 0 && pattern[i] == '.' && pattern[i - 1] == '*') pattern[i - 1] = '<';
        if (pattern[i] == '?') {
            pattern[i] = '>';
            if (i > 0 && pattern[i - 1] == '.') pattern[i - 1] = '"';
        } else if (pattern[i] == '*') {
            if (i > 0 && pattern[i - 1] == '.') pattern[i - 1] = '"';
        }
    }
    if (endedWithDot && !pattern.empty() && pattern.back() == '*') pattern.back() = '<';
    return pattern;
}

bool MatchFrom(const std::string& pattern, size_t p, const std::string& name, size_t n, size_t lastDot) {
    while (p < pattern.size()) {
        const char c = pattern[p];
        if (c == '*') {
            for (size_t k = n; k <= name.size(); ++k) {
                if (MatchFrom(pattern, p + 1, name, k, lastDot)) return true;
            }
            return false;
        }
        if (c == '<') {
            for (size_t k = n; k <= name.size(); ++k) {
                if (MatchFrom(pattern, p + 1, name, k, lastDot)) return true;
                if (k == lastDot) break;  // never beyond the last dot
            }
            return false;
        }
        if (c == '>') {
            if (n < name.size() && name[n] != '.') ++n;
            ++p;
            continue;
        }
        if (c == '"') {
            if (n == name.size()) {
                ++p;
                continue;
            }
            if (name[n] != '.') return false;
            ++n;
            ++p;
            continue;
        }
        if (n >= name.size() || UpperChar(c) != UpperChar(name[n])) return false;
        ++n;
        ++p;
    }
    return n == name.size();
}

bool MatchesPattern(const std::string& translated, const std::string& name) {
    const size_t dot = name.rfind('.');
    return MatchFrom(translated, 0, name, 0, dot == std::string::npos ? name.size() + 1 : dot);
}

std::string AttributeLetters(DWORD a) {
    std::string s;
    if (a & FILE_ATTRIBUTE_DIRECTORY) s += 'D';
    if (a & FILE_ATTRIBUTE_READONLY) s += 'R';
    if (a & FILE_ATTRIBUTE_HIDDEN) s += 'H';
    if (a & FILE_ATTRIBUTE_SYSTEM) s += 'S';
    if (a & FILE_ATTRIBUTE_ARCHIVE) s += 'A';
    if (a & FILE_ATTRIBUTE_NORMAL) s += 'N';
    return s;
}

// REG_MULTI_SZ data as its strings, empty ones included (a deletion's empty
// target): each string ends with a NUL, and the list with one more.
std::vector<std::string> SplitMultiString(const std::string& data) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start < data.size()) {
        const size_t nul = data.find('\0', start);
        if (nul == std::string::npos) {
            items.push_back(data.substr(start));
            break;
        }
        items.push_back(data.substr(start, nul - start));
        start = nul + 1;
    }
    // The pending list holds pairs; an odd empty string is the terminator.
    if (items.size() % 2 == 1 && items.back().empty()) items.pop_back();
    return items;
}

std::string StripNtPrefix(std::string path) {
    if (!path.empty() && path[0] == '!') path.erase(0, 1);
    if (path.compare(0, 4, "\\??\\") == 0) path.erase(0, 4);
    return path;
}

}  // namespace

struct FileSystem::Node {
    std::string name;
    bool folder = false;
    DWORD attributes = 0;  // kStoredAttributes bits only
    std::string content;
    bool inUse = false;
    std::weak_ptr<Node> parent;                   // empty for the root and for removed entries
    std::vector<std::shared_ptr<Node>> children;  // in creation order
};

struct FileSystem::OpenHandle {
    struct FindEntry {
        std::string name;
        DWORD attributes = 0;
        std::uint64_t size = 0;
    };

    bool find = false;
    // A file handle.
    std::shared_ptr<Node> node;
    DWORD access = 0;  // kRead | kWrite | kDelete
    DWORD share = 0;   // FILE_SHARE_*
    bool deleteOnClose = false;
    size_t position = 0;
    // A find handle: the matches, taken when the search started.
    std::vector<FindEntry> entries;
    size_t next = 0;
};

// Lookups and checks shared by the two faces of the drive.
class FileSystemInternals {
public:
    using NodePtr = std::shared_ptr<FileSystem::Node>;

    struct Located {
        NodePtr parent;  // the folder holding (or that would hold) the entry
        NodePtr node;    // null when the entry is missing
        DWORD error = ERROR_SUCCESS;
    };

    static NodePtr Child(const FileSystem::Node& folder, const std::string& name) {
        for (const NodePtr& c : folder.children) {
            if (EqualNoCase(c->name, name)) return c;
        }
        return nullptr;
    }

    static Located Locate(const FileSystem& fs, const ParsedPath& p) {
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

    static Located Locate(const FileSystem& fs, const std::string& path) { return Locate(fs, ParsePath(path, false)); }

    static DWORD Reported(const FileSystem::Node& n) {
        DWORD a = n.attributes;
        if (n.folder) a |= FILE_ATTRIBUTE_DIRECTORY;
        return a ? a : FILE_ATTRIBUTE_NORMAL;
    }

    static std::string FullPath(const FileSystem::Node& n) {
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

    static std::vector<NodePtr> Listing(const FileSystem& fs, const FileSystem::Node& folder) {
        std::vector<NodePtr> out = folder.children;
        // NTFS keeps a folder sorted by the upper-cased names; FAT lists
        // entries in the order they were made.
        if (fs.machine_.IsNt()) {
            std::stable_sort(out.begin(), out.end(),
                             [](const NodePtr& a, const NodePtr& b) { return LessNoCase(a->name, b->name); });
        }
        return out;
    }

    static bool IsWithin(const FileSystem::Node* n, const FileSystem::Node* folder) {
        while (n) {
            if (n == folder) return true;
            const NodePtr up = n->parent.lock();
            n = up.get();
        }
        return false;
    }

    // Whether an open with this access and share mode clashes with the
    // opens already made (the tool's handles, and another program's).
    static bool SharingClash(const FileSystem& fs, const FileSystem::Node& node, DWORD access, DWORD share) {
        if (!fs.machine_.IsNt()) share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
        auto clash = [&](DWORD heldAccess, DWORD heldShare) {
            return ((access & kRead) && !(heldShare & FILE_SHARE_READ)) ||
                   ((access & kWrite) && !(heldShare & FILE_SHARE_WRITE)) ||
                   ((access & kDelete) && !(heldShare & FILE_SHARE_DELETE)) ||
                   ((heldAccess & kRead) && !(share & FILE_SHARE_READ)) ||
                   ((heldAccess & kWrite) && !(share & FILE_SHARE_WRITE)) ||
                   ((heldAccess & kDelete) && !(share & FILE_SHARE_DELETE));
        };
        // Another program holds the file open for reading and lets others read.
        if (node.inUse && clash(kRead, FILE_SHARE_READ)) return true;
        for (const auto& entry : fs.handles_) {
            const FileSystem::OpenHandle& h = *entry.second;
            if (!h.find && h.node.get() == &node && clash(h.access, h.share)) return true;
        }
        return false;
    }

    static bool HasOpens(const FileSystem& fs, const FileSystem::Node& node) {
        if (node.inUse) return true;
        for (const auto& entry : fs.handles_) {
            if (!entry.second->find && entry.second->node.get() == &node) return true;
        }
        return false;
    }

    // Whether anything inside the folder (or the entry itself) is open.
    static bool HoldsOpenFiles(const FileSystem& fs, const FileSystem::Node& node) {
        if (HasOpens(fs, node)) return true;
        for (const NodePtr& c : node.children) {
            if (HoldsOpenFiles(fs, *c)) return true;
        }
        for (const auto& entry : fs.handles_) {
            if (!entry.second->find && entry.second->node && IsWithin(entry.second->node.get(), &node)) return true;
        }
        return false;
    }

    static NodePtr AddChild(const NodePtr& folder, const std::string& name, bool isFolder, DWORD attributes) {
        auto n = std::make_shared<FileSystem::Node>();
        n->name = name;
        n->folder = isFolder;
        n->attributes = attributes & kStoredAttributes;
        n->parent = folder;
        folder->children.push_back(n);
        return n;
    }

    static void Detach(FileSystem::Node& node) {
        const NodePtr parent = node.parent.lock();
        if (!parent) return;
        auto& siblings = parent->children;
        siblings.erase(
            std::remove_if(siblings.begin(), siblings.end(), [&](const NodePtr& c) { return c.get() == &node; }),
            siblings.end());
        node.parent.reset();
    }

    // Creates the folders named by the first `count` parts; null when a
    // file stands in the way.
    static NodePtr EnsureFolders(FileSystem& fs, const std::vector<std::string>& parts, size_t count) {
        NodePtr cur = fs.root_;
        for (size_t i = 0; i < count; ++i) {
            NodePtr next = Child(*cur, parts[i]);
            if (!next) next = AddChild(cur, parts[i], true, 0);
            if (!next->folder) return nullptr;
            cur = next;
        }
        return cur;
    }

    static FileSystem::OpenHandle* Handle(const FileSystem& fs, HANDLE handle) {
        auto it = fs.handles_.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == fs.handles_.end() ? nullptr : it->second.get();
    }

    static HANDLE AddHandle(FileSystem& fs, std::shared_ptr<FileSystem::OpenHandle> h) {
        const std::uintptr_t value = fs.machine_.NewHandleValue();
        fs.handles_[value] = std::move(h);
        return reinterpret_cast<HANDLE>(value);
    }

    static void Fill(const FileSystem::OpenHandle::FindEntry& e, WIN32_FIND_DATAA* data) {
        std::memset(data, 0, sizeof *data);
        data->dwFileAttributes = e.attributes;
        data->nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
        data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
        std::strncpy(data->cFileName, e.name.c_str(), sizeof data->cFileName - 1);
    }

    static void DumpNode(const FileSystem& fs, const FileSystem::Node& n, int depth, std::string& out) {
        out.append(static_cast<size_t>(depth) * 2, ' ');
        if (&n == fs.root_.get()) {
            out += "C:\\";
        } else {
            out += n.name;
            if (n.folder) out += '\\';
        }
        out += " [" + AttributeLetters(Reported(n)) + "]";
        if (!n.folder) out += " " + std::to_string(n.content.size()) + " bytes";
        if (HasOpens(fs, n)) {
            std::vector<std::string> notes;
            if (n.inUse) notes.push_back("in use");
            size_t handles = 0;
            for (const auto& entry : fs.handles_) {
                if (!entry.second->find && entry.second->node.get() == &n) ++handles;
            }
            if (handles) notes.push_back(std::to_string(handles) + " open handle" + (handles > 1 ? "s" : ""));
            out += " (" + JoinWithComma(notes) + ")";
        }
        out += '\n';
        for (const NodePtr& c : Listing(fs, n)) DumpNode(fs, *c, depth + 1, out);
    }

    static std::string JoinWithComma(const std::vector<std::string>& items) {
        std::string s;
        for (const std::string& i : items) {
            if (!s.empty()) s += ", ";
            s += i;
        }
        return s;
    }

    static void SnapshotNode(const FileSystem& fs, const FileSystem::Node& n, FileSystemSnapshot& out) {
        FileEntrySnapshot e;
        e.path = FullPath(n);
        e.folder = n.folder;
        e.attributes = Reported(n);
        if (!n.folder) e.content = n.content;
        out.entries.push_back(std::move(e));
        for (const NodePtr& c : Listing(fs, n)) SnapshotNode(fs, *c, out);
    }

    static bool ImportTree(FileSystem& fs, const std::filesystem::path& host, const NodePtr& folder,
                           const std::string& drivePath, std::string* error) {
        std::error_code ec;
        std::vector<std::filesystem::path> entries;
        for (std::filesystem::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
            entries.push_back(it->path());
        }
        if (ec) {
            if (error) *error = "cannot read host folder " + host.string() + ": " + ec.message();
            return false;
        }
        // Host folders list in no particular order; take them sorted so that
        // a 9x machine's creation order is the same on every run.
        std::sort(entries.begin(), entries.end());
        for (size_t i = 0; i < entries.size(); ++i) {
            for (size_t j = i + 1; j < entries.size(); ++j) {
                if (EqualNoCase(entries[i].filename().string(), entries[j].filename().string())) {
                    if (error) {
                        *error = "host names differ only in case: " + entries[i].string() + ", " + entries[j].string();
                    }
                    return false;
                }
            }
        }
        for (const std::filesystem::path& hostPath : entries) {
            // A new entry takes the host's spelling; an entry the drive
            // already has keeps its own.
            const std::string name = hostPath.filename().string();
            const std::string target = JoinWindowsPath(drivePath, name);
            NodePtr existing = Child(*folder, name);
            if (std::filesystem::is_directory(hostPath, ec)) {
                if (existing && !existing->folder) {
                    if (error) *error = target + " is a file on the drive and a folder on the host";
                    return false;
                }
                NodePtr sub = existing ? existing : AddChild(folder, name, true, 0);
                if (!ImportTree(fs, hostPath, sub, JoinWindowsPath(drivePath, sub->name), error)) return false;
            } else if (std::filesystem::is_regular_file(hostPath, ec)) {
                if (existing && existing->folder) {
                    if (error) *error = target + " is a folder on the drive and a file on the host";
                    return false;
                }
                std::ifstream in(hostPath, std::ios::binary);
                if (!in) {
                    if (error) *error = "cannot read host file " + hostPath.string();
                    return false;
                }
                std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                NodePtr file = existing ? existing : AddChild(folder, name, false, 0);
                file->content = std::move(content);
            } else {
                if (error) *error = "neither a file nor a folder: " + hostPath.string();
                return false;
            }
        }
        return true;
    }

    static void AppendPending(FileSystem& fs, const std::string& source, const std::string& target) {
        // Read as raw data: a deletion's target is an empty string inside
        // the list, which only the length of the data delimits.
        Registry& reg = fs.machine_.registry();
        std::vector<std::string> items;
        if (auto value = reg.GetValue(kSessionManager, kPendingValue)) items = SplitMultiString(value->data);
        items.push_back(source);
        items.push_back(target);
        reg.CreateKey(kSessionManager);
        reg.SetMultiString(kSessionManager, kPendingValue, items);
    }
};

using Internals = FileSystemInternals;

bool FileEntrySnapshot::operator==(const FileEntrySnapshot& other) const {
    return path == other.path && folder == other.folder && attributes == other.attributes && content == other.content;
}

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
    if (!node) node = Internals::AddChild(folder, p.parts.back(), false, 0);
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

bool FileSystem::SetInUse(const std::string& path, bool inUse) {
    auto loc = Internals::Locate(*this, path);
    if (!loc.node) return false;
    loc.node->inUse = inUse;
    return true;
}

bool FileSystem::IsInUse(const std::string& path) const {
    auto loc = Internals::Locate(*this, path);
    return loc.node && loc.node->inUse;
}

std::vector<PendingFileOperation> FileSystem::PendingOperations() const {
    std::vector<PendingFileOperation> ops;
    if (machine_.IsNt()) {
        auto value = machine_.registry().GetValue(kSessionManager, kPendingValue);
        if (!value) return ops;
        const std::vector<std::string> items = SplitMultiString(value->data);
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            ops.push_back({StripNtPrefix(items[i]), StripNtPrefix(items[i + 1])});
        }
        return ops;
    }
    // The 9x family: WININIT.INI in the Windows folder, section [rename],
    // "DEST=SOURCE" lines, "NUL=SOURCE" for a deletion.
    auto text = ReadFile(JoinWindowsPath(machine_.WindowsDir(), "WININIT.INI"));
    if (!text) return ops;
    auto entries = profile::SectionEntries(*text, "rename");
    if (!entries) return ops;
    for (const profile::Entry& e : *entries) {
        ops.push_back({e.value, EqualNoCase(e.key, "NUL") ? std::string() : e.key});
    }
    return ops;
}

bool FileSystem::ImportHostFolder(const std::string& hostFolder, const std::string& drivePath, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(hostFolder, ec)) {
        if (error) *error = "no such host folder: " + hostFolder;
        return false;
    }
    const ParsedPath p = ParsePath(drivePath, false);
    if (p.error) {
        if (error) *error = "not a path on drive C: " + drivePath;
        return false;
    }
    auto folder = Internals::EnsureFolders(*this, p.parts, p.parts.size());
    if (!folder) {
        if (error) *error = "a file stands in the way of " + drivePath;
        return false;
    }
    return Internals::ImportTree(*this, hostFolder, folder, p.Full(), error);
}

std::string FileSystem::Dump() const {
    std::string out;
    Internals::DumpNode(*this, *root_, 0, out);
    return out;
}

FileSystemSnapshot FileSystem::Snapshot() const {
    FileSystemSnapshot s;
    Internals::SnapshotNode(*this, *root_, s);
    return s;
}

size_t FileSystem::OpenHandleCount() const { return handles_.size(); }

bool FileSystem::CloseFileHandle(HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end() || it->second->find) return false;
    std::shared_ptr<OpenHandle> h = it->second;
    handles_.erase(it);
    if (h->deleteOnClose && h->node && !h->node->parent.expired()) Internals::Detach(*h->node);
    return true;
}

// ---- the Win32 side -----------------------------------------------------------

DWORD FileSystem::Win32GetAttributes(const char* path, DWORD* attributes) const {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (p.trailingSlash && !loc.node->folder) return ERROR_INVALID_NAME;
    *attributes = Internals::Reported(*loc.node);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32SetAttributes(const char* path, DWORD attributes) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (p.trailingSlash && !loc.node->folder) return ERROR_INVALID_NAME;
    // FILE_ATTRIBUTE_NORMAL (or nothing) clears them all; a folder stays one.
    loc.node->attributes = attributes & kStoredAttributes;
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32DeleteFile(const char* path) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (loc.node->folder) return ERROR_ACCESS_DENIED;
    if (p.trailingSlash) return ERROR_INVALID_NAME;
    if (loc.node->attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (Internals::SharingClash(*this, *loc.node, kDelete, kShareAll)) return ERROR_SHARING_VIOLATION;
    machine_.Record("file", "DeleteFile " + Internals::FullPath(*loc.node));
    Internals::Detach(*loc.node);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32CopyFile(const char* existing, const char* target, bool failIfExists) {
    if (DWORD e = CheckAnsiPath(existing)) return e;
    if (DWORD e = CheckAnsiPath(target)) return e;
    const ParsedPath ps = ParsePath(existing, false);
    auto src = Internals::Locate(*this, ps);
    if (src.error) return src.error;
    if (src.node->folder || ps.trailingSlash) return ERROR_ACCESS_DENIED;
    // The source is read while others may read and write it: a file that
    // another program holds open for reading copies fine.
    if (Internals::SharingClash(*this, *src.node, kRead, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        return ERROR_SHARING_VIOLATION;
    }
    const ParsedPath pt = ParsePath(target, false);
    auto dst = Internals::Locate(*this, pt);
    if (dst.error && dst.error != ERROR_FILE_NOT_FOUND) return dst.error;
    if (pt.parts.empty()) return ERROR_ACCESS_DENIED;
    if (dst.node) {
        if (failIfExists) return ERROR_FILE_EXISTS;
        if (dst.node == src.node) return machine_.IsNt() ? ERROR_SHARING_VIOLATION : ERROR_FILE_EXISTS;
        if (dst.node->folder) return ERROR_ACCESS_DENIED;
        if (dst.node->attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return ERROR_ACCESS_DENIED;
        if (Internals::SharingClash(*this, *dst.node, kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
            return ERROR_SHARING_VIOLATION;
        }
    } else {
        dst.node = Internals::AddChild(dst.parent, pt.parts.back(), false, 0);
    }
    // The copy gets the source's attributes; the file system marks the new
    // file for archiving, as it does every file it creates or writes.
    dst.node->content = src.node->content;
    dst.node->attributes = (src.node->attributes | FILE_ATTRIBUTE_ARCHIVE) & kStoredAttributes;
    machine_.Record("file", "CopyFile " + Internals::FullPath(*src.node) + " -> " + Internals::FullPath(*dst.node));
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32MoveFile(const char* existing, const char* target, DWORD flags) {
    // The 9x family has MoveFileExA only as a stub.
    if (!machine_.IsNt()) return ERROR_CALL_NOT_IMPLEMENTED;
    if (DWORD e = CheckAnsiPath(existing)) return e;
    if (target) {
        if (DWORD e = CheckAnsiPath(target)) return e;
    }
    const ParsedPath ps = ParsePath(existing, false);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (flags & MOVEFILE_COPY_ALLOWED) return ERROR_INVALID_PARAMETER;
        // Only the form of the names matters now: the files need not exist
        // (or be free) until the operation runs at the next start.
        if (ps.error && !ps.otherDrive) return ps.error;
        const std::string source = "\\??\\" + ps.Full();
        std::string dest;
        if (target) {
            const ParsedPath pt = ParsePath(target, false);
            if (pt.error && !pt.otherDrive) return pt.error;
            dest = "\\??\\" + pt.Full();
            if (flags & MOVEFILE_REPLACE_EXISTING) dest = "!" + dest;
        }
        Internals::AppendPending(*this, source, dest);
        machine_.Record("file", "MoveFileEx at restart " + ps.Full() + " -> " +
                                    (target ? ParsePath(target, false).Full() : std::string("(delete)")));
        return ERROR_SUCCESS;
    }
    auto src = Internals::Locate(*this, ps);
    if (src.error) return src.error;
    if (!target) return ERROR_PATH_NOT_FOUND;
    if (src.node == root_) return ERROR_ACCESS_DENIED;
    if (Internals::SharingClash(*this, *src.node, kDelete, kShareAll)) return ERROR_SHARING_VIOLATION;
    if (src.node->folder && Internals::HoldsOpenFiles(*this, *src.node)) return ERROR_ACCESS_DENIED;
    const ParsedPath pt = ParsePath(target, false);
    auto dst = Internals::Locate(*this, pt);
    if (dst.error && dst.error != ERROR_FILE_NOT_FOUND) return dst.error;
    if (pt.parts.empty()) return ERROR_ACCESS_DENIED;
    if (dst.node == src.node) {
        src.node->name = pt.parts.back();  // a change of case only
        return ERROR_SUCCESS;
    }
    if (Internals::IsWithin(dst.parent.get(), src.node.get())) return ERROR_ACCESS_DENIED;
    if (dst.node) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
        if (dst.node->folder || (dst.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (Internals::HasOpens(*this, *dst.node)) return ERROR_ACCESS_DENIED;
    }
    const std::string from = Internals::FullPath(*src.node);
    if (dst.node) Internals::Detach(*dst.node);
    if (src.node->parent.lock() == dst.parent) {
        src.node->name = pt.parts.back();  // a rename keeps the entry's place
    } else {
        Internals::Detach(*src.node);
        src.node->name = pt.parts.back();
        src.node->parent = dst.parent;
        dst.parent->children.push_back(src.node);
    }
    machine_.Record("file", "MoveFileEx " + from + " -> " + Internals::FullPath(*src.node));
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32CreateFolder(const char* path) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return p.error;
    if (p.Full().size() > kMaxFolderPath) return ERROR_FILENAME_EXCED_RANGE;
    if (p.parts.empty()) return ERROR_ACCESS_DENIED;
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return loc.error;
    if (loc.node) return ERROR_ALREADY_EXISTS;
    Internals::AddChild(loc.parent, p.parts.back(), true, 0);
    machine_.Record("file", "CreateDirectory " + p.Full());
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32RemoveFolder(const char* path) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (loc.node == root_) return ERROR_ACCESS_DENIED;
    if (!loc.node->folder) return ERROR_DIRECTORY;
    // NTFS refuses to delete a read-only folder; FAT on the 9x family does not.
    if (machine_.IsNt() && (loc.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    if (!loc.node->children.empty()) return ERROR_DIR_NOT_EMPTY;
    if (loc.node->inUse) return ERROR_SHARING_VIOLATION;
    machine_.Record("file", "RemoveDirectory " + Internals::FullPath(*loc.node));
    Internals::Detach(*loc.node);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                                  HANDLE* handle, bool* existed) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
    DWORD bits = AccessBits(access);
    if (disposition == TRUNCATE_EXISTING && !(bits & kWrite)) return ERROR_INVALID_PARAMETER;
    if (!machine_.IsNt()) share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return p.error;
    if (p.parts.empty()) return ERROR_PATH_NOT_FOUND;  // the root opened as a file
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return loc.error;
    if (p.trailingSlash) {
        if (!loc.node) return ERROR_FILE_NOT_FOUND;
        return loc.node->folder ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
    }
    const DWORD requested = (flags & kStoredAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    std::shared_ptr<Node> node = loc.node;
    if (node) {
        if (node->folder) return ERROR_ACCESS_DENIED;
        if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
        const bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if ((bits & kWrite || replaces) && (node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        // Replacing a hidden or system file needs the same attributes given.
        const DWORD guarded = node->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (disposition == CREATE_ALWAYS && (requested & guarded) != guarded) return ERROR_ACCESS_DENIED;
        if (Internals::SharingClash(*this, *node, bits | (replaces ? kWrite : 0), share)) {
            return ERROR_SHARING_VIOLATION;
        }
        if (disposition == CREATE_ALWAYS) {
            node->content.clear();
            node->attributes = requested;
        } else if (disposition == TRUNCATE_EXISTING) {
            node->content.clear();
            node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
        }
        *existed = true;
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return ERROR_FILE_NOT_FOUND;
        node = Internals::AddChild(loc.parent, p.parts.back(), false, requested);
        *existed = false;
    }
    auto h = std::make_shared<OpenHandle>();
    h->node = node;
    h->access = bits;
    h->share = share;
    h->deleteOnClose = (flags & kFlagDeleteOnClose) != 0;
    *handle = Internals::AddHandle(*this, std::move(h));
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (read) *read = 0;
    if (!h || h->find) return ERROR_INVALID_HANDLE;
    if (!(h->access & kRead)) return ERROR_ACCESS_DENIED;
    const std::string& content = h->node->content;
    const size_t available = h->position < content.size() ? content.size() - h->position : 0;
    const size_t n = std::min<size_t>(toRead, available);
    if (n && !buffer) return ERROR_INVALID_PARAMETER;
    if (n) std::memcpy(buffer, content.data() + h->position, n);
    h->position += n;
    if (read) *read = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (written) *written = 0;
    if (!h || h->find) return ERROR_INVALID_HANDLE;
    if (!(h->access & kWrite)) return ERROR_ACCESS_DENIED;
    if (toWrite && !buffer) return ERROR_INVALID_PARAMETER;
    std::string& content = h->node->content;
    if (toWrite) {
        if (content.size() < h->position + toWrite) content.resize(h->position + toWrite, '\0');
        std::memcpy(&content[h->position], buffer, toWrite);
        h->position += toWrite;
        h->node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (written) *written = toWrite;
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32FindFirst(const char* pattern, WIN32_FIND_DATAA* data, HANDLE* handle) {
    if (!data) return ERROR_INVALID_PARAMETER;
    if (DWORD e = CheckAnsiPath(pattern)) return e;
    const ParsedPath p = ParsePath(pattern, true);
    if (p.error) return p.error;
    // The folder to search: every name but the last, or all of them when
    // the pattern ends with a backslash (then there is nothing to match).
    const size_t folderCount = p.trailingSlash ? p.parts.size() : (p.parts.empty() ? 0 : p.parts.size() - 1);
    std::shared_ptr<Node> folder = root_;
    for (size_t i = 0; i < folderCount; ++i) {
        auto next = Internals::Child(*folder, p.parts[i]);
        if (!next) return ERROR_PATH_NOT_FOUND;
        if (!next->folder) return (i + 1 == folderCount && machine_.IsNt()) ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
        folder = next;
    }
    if (p.trailingSlash || p.parts.empty()) return ERROR_FILE_NOT_FOUND;
    const std::string& name = p.parts.back();
    auto h = std::make_shared<OpenHandle>();
    h->find = true;
    if (!HasWildcards(name)) {
        auto child = Internals::Child(*folder, name);
        if (!child) return ERROR_FILE_NOT_FOUND;
        h->entries.push_back({child->name, Internals::Reported(*child), child->content.size()});
    } else {
        const std::string translated = TranslatePattern(name, p.endedWithDot);
        if (folder != root_) {
            // Every folder but the root lists itself and its parent first.
            const auto up = folder->parent.lock();
            const DWORD parentAttributes = up ? Internals::Reported(*up) : static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
            if (MatchesPattern(translated, ".")) h->entries.push_back({".", Internals::Reported(*folder), 0});
            if (MatchesPattern(translated, "..")) h->entries.push_back({"..", parentAttributes, 0});
        }
        for (const auto& child : Internals::Listing(*this, *folder)) {
            if (MatchesPattern(translated, child->name)) {
                const std::uint64_t size = child->folder ? 0 : child->content.size();
                h->entries.push_back({child->name, Internals::Reported(*child), size});
            }
        }
    }
    if (h->entries.empty()) return ERROR_FILE_NOT_FOUND;
    Internals::Fill(h->entries[0], data);
    h->next = 1;
    *handle = Internals::AddHandle(*this, std::move(h));
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32FindNext(HANDLE handle, WIN32_FIND_DATAA* data) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (!h || !h->find) return ERROR_INVALID_HANDLE;
    if (h->next >= h->entries.size()) return ERROR_NO_MORE_FILES;
    if (!data) return ERROR_INVALID_PARAMETER;
    Internals::Fill(h->entries[h->next++], data);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32FindClose(HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end() || !it->second->find) return ERROR_INVALID_HANDLE;
    handles_.erase(it);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32ReadWhole(const char* path, std::string* content) const {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (loc.node->folder) return ERROR_ACCESS_DENIED;
    if (Internals::SharingClash(*this, *loc.node, kRead, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        return ERROR_SHARING_VIOLATION;
    }
    *content = loc.node->content;
    return ERROR_SUCCESS;
}

DWORD FileSystem::Win32WriteWhole(const char* path, const std::string& content) {
    if (DWORD e = CheckAnsiPath(path)) return e;
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return p.error;
    if (p.parts.empty()) return ERROR_ACCESS_DENIED;
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return loc.error;
    if (loc.node) {
        if (loc.node->folder || (loc.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (Internals::SharingClash(*this, *loc.node, kRead | kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
            return ERROR_SHARING_VIOLATION;
        }
        loc.node->content = content;
        loc.node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    } else {
        auto node = Internals::AddChild(loc.parent, p.parts.back(), false, FILE_ATTRIBUTE_ARCHIVE);
        node->content = content;
    }
    return ERROR_SUCCESS;
}

}  // namespace sim
