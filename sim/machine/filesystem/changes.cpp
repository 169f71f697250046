// Changes of the drive through Kernel32: deleting, copying and moving
// files, making and removing folders, and moves put off until Windows
// starts again (the session manager's list on NT, WININIT.INI on 9x).
// Each change is recorded on the "file" channel as it happens.
#include "sim/base/text.h"
#include "sim/formats/ini.h"
#include "sim/machine/filesystem/internals.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace sim {

using Internals = FileSystemInternals;

namespace {

// The ANSI functions of CreateDirectory leave room for an 8.3 name below
// the new folder: MAX_PATH - 12 characters.
constexpr size_t kMaxFolderPath = MAX_PATH - 12;

const char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
// How the session manager's list spells a path, and marks a replacing move.
const char kNtPathPrefix[] = "\\??\\";
const char kReplaceMark = '!';

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
    if (!path.empty() && path[0] == kReplaceMark) path.erase(0, 1);
    if (StartsWithNoCase(path, kNtPathPrefix)) path.erase(0, sizeof kNtPathPrefix - 1);
    return path;
}

}  // namespace

void Internals::AppendPending(FileSystem& fs, const std::string& source, const std::string& target) {
    // Read as raw data: a deletion's target is an empty string inside the
    // list, which only the length of the data delimits.
    Registry& reg = fs.machine_.registry();
    std::vector<std::string> items;
    if (auto value = reg.GetValue(kSessionManager, kPendingValue)) items = SplitMultiString(value->data);
    items.push_back(source);
    items.push_back(target);
    reg.CreateKey(kSessionManager);
    reg.SetMultiString(kSessionManager, kPendingValue, items);
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
    auto entries = ini::SectionEntries(*text, "rename");
    if (!entries) return ops;
    for (const ini::Entry& e : *entries) {
        ops.push_back({e.value, EqualNoCase(e.key, "NUL") ? std::string() : e.key});
    }
    return ops;
}

// ---- files ------------------------------------------------------------------------------

DWORD FileSystem::Delete(std::string_view path) {
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (loc.node->folder) return ERROR_ACCESS_DENIED;
    if (p.trailingSlash) return ERROR_INVALID_NAME;
    if (loc.node->attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (Internals::SharingClash(*this, *loc.node, kOpenDelete, kShareAll)) return ERROR_SHARING_VIOLATION;
    Internals::Record(*this, "DeleteFile " + Internals::FullPath(*loc.node));
    Internals::Detach(*loc.node);
    return ERROR_SUCCESS;
}

DWORD FileSystem::Copy(std::string_view existing, std::string_view target, bool failIfExists) {
    const ParsedPath ps = ParsePath(existing, false);
    auto src = Internals::Locate(*this, ps);
    if (src.error) return src.error;
    if (src.node->folder || ps.trailingSlash) return ERROR_ACCESS_DENIED;
    // The source is read while others may read and write it: a file that
    // another program holds open for reading copies fine.
    if (Internals::SharingClash(*this, *src.node, kOpenRead, kShareReadWrite)) return ERROR_SHARING_VIOLATION;
    const ParsedPath pt = ParsePath(target, false);
    auto dst = Internals::Locate(*this, pt);
    if (dst.error && dst.error != ERROR_FILE_NOT_FOUND) return dst.error;
    if (pt.parts.empty()) return ERROR_ACCESS_DENIED;
    if (dst.node) {
        if (failIfExists) return ERROR_FILE_EXISTS;
        if (dst.node == src.node) return machine_.IsNt() ? ERROR_SHARING_VIOLATION : ERROR_FILE_EXISTS;
        if (dst.node->folder) return ERROR_ACCESS_DENIED;
        if (dst.node->attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return ERROR_ACCESS_DENIED;
        if (Internals::SharingClash(*this, *dst.node, kOpenWrite, kShareReadWrite)) return ERROR_SHARING_VIOLATION;
    } else {
        dst.node = Internals::AddChild(*this, dst.parent, pt.parts.back(), false, 0);
    }
    // The copy gets the source's attributes; the file system marks the new
    // file for archiving, as it does every file it creates or writes.
    dst.node->content = src.node->content;
    dst.node->attributes = (src.node->attributes | FILE_ATTRIBUTE_ARCHIVE) & kStoredAttributes;
    Internals::Record(*this, "CopyFile " + Internals::FullPath(*src.node) + " -> " + Internals::FullPath(*dst.node));
    return ERROR_SUCCESS;
}

DWORD FileSystem::MoveAtRestart(std::string_view existing, std::optional<std::string_view> target,
                                bool replaceExisting) {
    // Only the form of the names matters now: the files need not exist (or
    // be free) until the operation runs at the next start.
    const ParsedPath ps = ParsePath(existing, false);
    if (ps.error && !ps.otherDrive) return ps.error;
    std::string dest;
    std::string shownTarget = "(delete)";
    if (target) {
        const ParsedPath pt = ParsePath(*target, false);
        if (pt.error && !pt.otherDrive) return pt.error;
        dest = kNtPathPrefix + pt.Full();
        if (replaceExisting) dest.insert(dest.begin(), kReplaceMark);
        shownTarget = pt.Full();
    }
    Internals::AppendPending(*this, kNtPathPrefix + ps.Full(), dest);
    Internals::Record(*this, "MoveFileEx at restart " + ps.Full() + " -> " + shownTarget);
    return ERROR_SUCCESS;
}

DWORD FileSystem::MoveNow(std::string_view existing, std::optional<std::string_view> target, bool replaceExisting) {
    const ParsedPath ps = ParsePath(existing, false);
    auto src = Internals::Locate(*this, ps);
    if (src.error) return src.error;
    if (!target) return ERROR_PATH_NOT_FOUND;
    if (src.node == root_) return ERROR_ACCESS_DENIED;
    if (Internals::SharingClash(*this, *src.node, kOpenDelete, kShareAll)) return ERROR_SHARING_VIOLATION;
    if (src.node->folder && Internals::HoldsOpenFiles(*this, *src.node)) return ERROR_ACCESS_DENIED;
    const ParsedPath pt = ParsePath(*target, false);
    auto dst = Internals::Locate(*this, pt);
    if (dst.error && dst.error != ERROR_FILE_NOT_FOUND) return dst.error;
    if (pt.parts.empty()) return ERROR_ACCESS_DENIED;
    const std::string from = Internals::FullPath(*src.node);
    if (dst.node == src.node) {
        src.node->name = pt.parts.back();  // a change of case only, or to the alias
        src.node->alias = Internals::MakeAlias(*this, *dst.parent, src.node->name, src.node.get());
        Internals::Record(*this, "MoveFileEx " + from + " -> " + Internals::FullPath(*src.node));
        return ERROR_SUCCESS;
    }
    if (Internals::IsWithin(dst.parent.get(), src.node.get())) return ERROR_ACCESS_DENIED;
    if (dst.node) {
        if (!replaceExisting) return ERROR_ALREADY_EXISTS;
        if (dst.node->folder || (dst.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (Internals::HasOpens(*this, *dst.node)) return ERROR_ACCESS_DENIED;
    }
    if (dst.node) Internals::Detach(*dst.node);
    if (src.node->parent.lock() == dst.parent) {
        src.node->name = pt.parts.back();  // a rename keeps the entry's place
    } else {
        Internals::Detach(*src.node);
        src.node->name = pt.parts.back();
        src.node->parent = dst.parent;
        dst.parent->children.push_back(src.node);
    }
    src.node->alias = Internals::MakeAlias(*this, *dst.parent, src.node->name, src.node.get());
    Internals::Record(*this, "MoveFileEx " + from + " -> " + Internals::FullPath(*src.node));
    return ERROR_SUCCESS;
}

// ---- folders ----------------------------------------------------------------------------

DWORD FileSystem::MakeFolder(std::string_view path) {
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return p.error;
    if (p.Full().size() > kMaxFolderPath) return ERROR_FILENAME_EXCED_RANGE;
    if (p.parts.empty()) return ERROR_ACCESS_DENIED;
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return loc.error;
    if (loc.node) return ERROR_ALREADY_EXISTS;
    Internals::AddChild(*this, loc.parent, p.parts.back(), true, 0);
    Internals::Record(*this, "CreateDirectory " + p.Full());
    return ERROR_SUCCESS;
}

DWORD FileSystem::RemoveFolder(std::string_view path) {
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return loc.error;
    if (loc.node == root_) return ERROR_ACCESS_DENIED;
    if (!loc.node->folder) return ERROR_DIRECTORY;
    // NTFS refuses to delete a read-only folder; FAT on the 9x family does not.
    if (machine_.IsNt() && (loc.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    if (!loc.node->children.empty()) return ERROR_DIR_NOT_EMPTY;
    if (loc.node->inUse) return ERROR_SHARING_VIOLATION;
    Internals::Record(*this, "RemoveDirectory " + Internals::FullPath(*loc.node));
    Internals::Detach(*loc.node);
    return ERROR_SUCCESS;
}

}  // namespace sim
