// Files held open: the tool's handles (CreateFileA, ReadFile, WriteFile,
// CloseHandle), other programs' opens ("in use"), and the sharing rules
// that decide whether one open may coexist with another.
#include <algorithm>

#include "sim/machine/filesystem/internals.h"
#include "sim/machine/machine.h"

namespace sim {

using Internals = FileSystemInternals;

namespace {

constexpr DWORD kDeleteAccess = 0x00010000;       // DELETE
constexpr DWORD kFileReadData = 0x0001;           // FILE_READ_DATA
constexpr DWORD kFileWriteData = 0x0002;          // FILE_WRITE_DATA
constexpr DWORD kFileAppendData = 0x0004;         // FILE_APPEND_DATA
constexpr DWORD kFlagDeleteOnClose = 0x04000000;  // FILE_FLAG_DELETE_ON_CLOSE

DWORD AccessBits(DWORD access) {
    DWORD bits = 0;
    if (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | kFileReadData)) bits |= kOpenRead;
    if (access & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData)) bits |= kOpenWrite;
    if (access & (kDeleteAccess | GENERIC_ALL)) bits |= kOpenDelete;
    return bits;
}

}  // namespace

// ---- sharing ---------------------------------------------------------------------------

bool Internals::SharingClash(const FileSystem& fs, const FileSystem::Node& node, DWORD access, DWORD share) {
    if (!fs.machine_.IsNt()) share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
    auto clash = [&](DWORD heldAccess, DWORD heldShare) {
        return ((access & kOpenRead) && !(heldShare & FILE_SHARE_READ)) ||
               ((access & kOpenWrite) && !(heldShare & FILE_SHARE_WRITE)) ||
               ((access & kOpenDelete) && !(heldShare & FILE_SHARE_DELETE)) ||
               ((heldAccess & kOpenRead) && !(share & FILE_SHARE_READ)) ||
               ((heldAccess & kOpenWrite) && !(share & FILE_SHARE_WRITE)) ||
               ((heldAccess & kOpenDelete) && !(share & FILE_SHARE_DELETE));
    };
    // Another program holds the file open for reading and lets others read.
    if (node.inUse && clash(kOpenRead, FILE_SHARE_READ)) return true;
    for (const auto& entry : fs.handles_) {
        const FileSystem::OpenHandle& h = *entry.second;
        if (!h.find && h.node.get() == &node && clash(h.access, h.share)) return true;
    }
    return false;
}

size_t Internals::OpenFileHandles(const FileSystem& fs, const FileSystem::Node& node) {
    return static_cast<size_t>(std::count_if(fs.handles_.begin(), fs.handles_.end(), [&](const auto& entry) {
        return !entry.second->find && entry.second->node.get() == &node;
    }));
}

bool Internals::HasOpens(const FileSystem& fs, const FileSystem::Node& node) {
    return node.inUse || OpenFileHandles(fs, node) > 0;
}

bool Internals::HoldsOpenFiles(const FileSystem& fs, const FileSystem::Node& node) {
    if (HasOpens(fs, node)) return true;
    for (const NodePtr& c : node.children) {
        if (HoldsOpenFiles(fs, *c)) return true;
    }
    for (const auto& entry : fs.handles_) {
        if (!entry.second->find && entry.second->node && IsWithin(entry.second->node.get(), &node)) return true;
    }
    return false;
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

// ---- handles ---------------------------------------------------------------------------

FileSystem::OpenHandle* Internals::Handle(const FileSystem& fs, HANDLE handle) {
    auto it = fs.handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == fs.handles_.end() ? nullptr : it->second.get();
}

HANDLE Internals::AddHandle(FileSystem& fs, std::shared_ptr<FileSystem::OpenHandle> h) {
    const std::uintptr_t value = fs.machine_.NewHandleValue();
    fs.handles_[value] = std::move(h);
    return reinterpret_cast<HANDLE>(value);
}

size_t FileSystem::OpenHandleCount() const { return handles_.size(); }

Result<OpenedFile> FileSystem::Open(std::string_view path, const FileOpenRequest& request) {
    const DWORD disposition = request.disposition;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return WinError{ERROR_INVALID_PARAMETER};
    const DWORD bits = AccessBits(request.access);
    if (disposition == TRUNCATE_EXISTING && !(bits & kOpenWrite)) return WinError{ERROR_INVALID_PARAMETER};
    DWORD share = request.share;
    if (!machine_.IsNt()) share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return WinError{p.error};
    if (p.parts.empty()) return WinError{ERROR_PATH_NOT_FOUND};  // the root opened as a file
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return WinError{loc.error};
    if (p.trailingSlash) {
        if (!loc.node) return WinError{ERROR_FILE_NOT_FOUND};
        const DWORD error = loc.node->folder ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
        return WinError{error};
    }
    const DWORD requested = (request.flags & kStoredAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    std::shared_ptr<Node> node = loc.node;
    OpenedFile opened;
    if (node) {
        if (node->folder) return WinError{ERROR_ACCESS_DENIED};
        if (disposition == CREATE_NEW) return WinError{ERROR_FILE_EXISTS};
        const bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if ((bits & kOpenWrite || replaces) && (node->attributes & FILE_ATTRIBUTE_READONLY)) {
            return WinError{ERROR_ACCESS_DENIED};
        }
        // Replacing a hidden or system file needs the same attributes given.
        const DWORD guarded = node->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (disposition == CREATE_ALWAYS && (requested & guarded) != guarded) return WinError{ERROR_ACCESS_DENIED};
        if (Internals::SharingClash(*this, *node, bits | (replaces ? kOpenWrite : 0), share)) {
            return WinError{ERROR_SHARING_VIOLATION};
        }
        if (disposition == CREATE_ALWAYS) {
            node->content.clear();
            node->attributes = requested;
        } else if (disposition == TRUNCATE_EXISTING) {
            node->content.clear();
            node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
        }
        if (replaces) Internals::Record(*this, "CreateFile " + Internals::FullPath(*node) + " (emptied)");
        opened.existed = true;
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return WinError{ERROR_FILE_NOT_FOUND};
        node = Internals::AddChild(*this, loc.parent, p.parts.back(), false, requested);
        Internals::Record(*this, "CreateFile " + Internals::FullPath(*node) + " (new)");
    }
    auto h = std::make_shared<OpenHandle>();
    h->node = node;
    h->access = bits;
    h->share = share;
    h->deleteOnClose = (request.flags & kFlagDeleteOnClose) != 0;
    opened.handle = Internals::AddHandle(*this, std::move(h));
    return opened;
}

Result<std::string> FileSystem::ReadOpenFile(HANDLE handle, DWORD count) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (!h || h->find) return WinError{ERROR_INVALID_HANDLE};
    if (!(h->access & kOpenRead)) return WinError{ERROR_ACCESS_DENIED};
    const std::string& content = h->node->content;
    const size_t available = h->position < content.size() ? content.size() - h->position : 0;
    const size_t n = std::min<size_t>(count, available);
    std::string data = content.substr(std::min(h->position, content.size()), n);
    h->position += n;
    return data;
}

DWORD FileSystem::WriteOpenFile(HANDLE handle, std::string_view data) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (!h || h->find) return ERROR_INVALID_HANDLE;
    if (!(h->access & kOpenWrite)) return ERROR_ACCESS_DENIED;
    if (data.empty()) return ERROR_SUCCESS;
    std::string& content = h->node->content;
    if (content.size() < h->position + data.size()) content.resize(h->position + data.size(), '\0');
    content.replace(h->position, data.size(), data);
    Internals::Record(*this, "WriteFile " + Internals::FullPath(*h->node) + " " + std::to_string(data.size()) +
                                 " bytes at " + std::to_string(h->position));
    h->position += data.size();
    h->node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    return ERROR_SUCCESS;
}

bool FileSystem::CloseFileHandle(HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end() || it->second->find) return false;
    std::shared_ptr<OpenHandle> h = it->second;
    handles_.erase(it);
    if (h->deleteOnClose && h->node && !h->node->parent.expired()) {
        Internals::Record(*this, "DeleteFile " + Internals::FullPath(*h->node) + " (closed, delete on close)");
        Internals::Detach(*h->node);
    }
    return true;
}

// ---- whole files, as the profile functions read and write them ---------------------------

Result<std::string> FileSystem::ReadWhole(std::string_view path) const {
    const ParsedPath p = ParsePath(path, false);
    auto loc = Internals::Locate(*this, p);
    if (loc.error) return WinError{loc.error};
    if (loc.node->folder) return WinError{ERROR_ACCESS_DENIED};
    if (Internals::SharingClash(*this, *loc.node, kOpenRead, kShareReadWrite)) return WinError{ERROR_SHARING_VIOLATION};
    return loc.node->content;
}

DWORD FileSystem::WriteWhole(std::string_view path, const std::string& content) {
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return p.error;
    if (p.parts.empty()) return ERROR_ACCESS_DENIED;
    auto loc = Internals::Locate(*this, p);
    if (loc.error == ERROR_PATH_NOT_FOUND) return loc.error;
    if (loc.node) {
        if (loc.node->folder || (loc.node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (Internals::SharingClash(*this, *loc.node, kOpenRead | kOpenWrite, kShareReadWrite)) {
            return ERROR_SHARING_VIOLATION;
        }
        loc.node->content = content;
        loc.node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    } else {
        auto node = Internals::AddChild(*this, loc.parent, p.parts.back(), false, FILE_ATTRIBUTE_ARCHIVE);
        node->content = content;
    }
    return ERROR_SUCCESS;
}

}  // namespace sim
