// Searches of a folder (FindFirstFileA / FindNextFileA / FindClose): the
// folder is read when the search starts, with the wildcards of the last
// name, and the search hands out its matches one by one.
#include "sim/machine/filesystem/internals.h"
#include "sim/machine/machine.h"

namespace sim {

using Internals = FileSystemInternals;

namespace {

// An entry as a search reports it; the alternate name only when the entry
// has an alias other than its name.
FoundFile Found(const FileSystem::Node& n) {
    FoundFile f;
    f.name = n.name;
    if (n.alias != n.name) f.shortName = n.alias;
    f.attributes = Internals::Reported(n);
    f.size = n.folder ? 0 : n.content.size();
    return f;
}

}  // namespace

Result<SearchStart> FileSystem::StartSearch(std::string_view pattern) {
    const ParsedPath p = ParsePath(pattern, true);
    if (p.error) return WinError{p.error};
    // The folder to search: every name but the last, or all of them when
    // the pattern ends with a backslash (then there is nothing to match).
    const size_t folderCount = p.trailingSlash ? p.parts.size() : (p.parts.empty() ? 0 : p.parts.size() - 1);
    std::shared_ptr<Node> folder = root_;
    for (size_t i = 0; i < folderCount; ++i) {
        auto next = Internals::Child(*folder, p.parts[i]);
        if (!next) return WinError{ERROR_PATH_NOT_FOUND};
        if (!next->folder) {
            const bool lastFolder = i + 1 == folderCount;
            const DWORD error = lastFolder && machine_.IsNt() ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
            return WinError{error};
        }
        folder = next;
    }
    if (p.trailingSlash || p.parts.empty()) return WinError{ERROR_FILE_NOT_FOUND};
    const std::string& name = p.parts.back();
    auto h = std::make_shared<OpenHandle>();
    h->find = true;
    if (!HasWildcards(name)) {
        auto child = Internals::Child(*folder, name);
        if (!child) return WinError{ERROR_FILE_NOT_FOUND};
        h->entries.push_back(Found(*child));
    } else {
        const std::string translated = TranslatePattern(name, p.endedWithDot);
        if (folder != root_) {
            // Every folder but the root lists itself and its parent first.
            const auto up = folder->parent.lock();
            const DWORD parentAttributes = up ? Internals::Reported(*up) : static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
            if (MatchesPattern(translated, ".")) h->entries.push_back({".", "", Internals::Reported(*folder), 0});
            if (MatchesPattern(translated, "..")) h->entries.push_back({"..", "", parentAttributes, 0});
        }
        for (const auto& child : Internals::Listing(*this, *folder)) {
            if (MatchesPattern(translated, child->name) ||
                (!child->alias.empty() && MatchesPattern(translated, child->alias))) {
                h->entries.push_back(Found(*child));
            }
        }
    }
    if (h->entries.empty()) return WinError{ERROR_FILE_NOT_FOUND};
    SearchStart start;
    start.first = h->entries[0];
    h->next = 1;
    start.handle = Internals::AddHandle(*this, std::move(h));
    return start;
}

Result<FoundFile> FileSystem::ContinueSearch(HANDLE handle) {
    OpenHandle* h = Internals::Handle(*this, handle);
    if (!h || !h->find) return WinError{ERROR_INVALID_HANDLE};
    if (h->next >= h->entries.size()) return WinError{ERROR_NO_MORE_FILES};
    return h->entries[h->next++];
}

DWORD FileSystem::EndSearch(HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end() || !it->second->find) return ERROR_INVALID_HANDLE;
    handles_.erase(it);
    return ERROR_SUCCESS;
}

}  // namespace sim
