// The drive as a whole: the dump a person reads, the snapshot a run is
// compared with, and a host folder copied in (a scenario's "drive").
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/base/text.h"
#include "sim/machine/filesystem/internals.h"

namespace sim {

using Internals = FileSystemInternals;
using NodePtr = Internals::NodePtr;

namespace {

std::string JoinWithComma(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& i : items) {
        if (!s.empty()) s += ", ";
        s += i;
    }
    return s;
}

}  // namespace

// Walks of the tree that need the model's private parts.
class FileSystemWalks {
public:
    static void DumpNode(const FileSystem& fs, const FileSystem::Node& n, int depth, std::string& out) {
        out.append(static_cast<size_t>(depth) * 2, ' ');
        if (&n == fs.root_.get()) {
            out += "C:\\";
        } else {
            out += n.name;
            if (n.folder) out += '\\';
        }
        out += " [" + AttributeLetters(Internals::Reported(n)) + "]";
        if (!n.folder) out += " " + std::to_string(n.content.size()) + " bytes";
        if (Internals::HasOpens(fs, n)) {
            std::vector<std::string> notes;
            if (n.inUse) notes.push_back("in use");
            const size_t handles = Internals::OpenFileHandles(fs, n);
            if (handles) notes.push_back(std::to_string(handles) + " open handle" + (handles > 1 ? "s" : ""));
            out += " (" + JoinWithComma(notes) + ")";
        }
        out += '\n';
        for (const NodePtr& c : Internals::Listing(fs, n)) DumpNode(fs, *c, depth + 1, out);
    }

    static void SnapshotNode(const FileSystem& fs, const FileSystem::Node& n, FileSystemSnapshot& out) {
        FileEntrySnapshot e;
        e.path = Internals::FullPath(n);
        e.folder = n.folder;
        e.attributes = Internals::Reported(n);
        if (!n.folder) e.content = n.content;
        out.entries.push_back(std::move(e));
        for (const NodePtr& c : Internals::Listing(fs, n)) SnapshotNode(fs, *c, out);
    }

    static bool ImportTree(const FileSystem& fs, const std::filesystem::path& host, const NodePtr& folder,
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
            NodePtr existing = Internals::Child(*folder, name);
            if (std::filesystem::is_directory(hostPath, ec)) {
                if (existing && !existing->folder) {
                    if (error) *error = target + " is a file on the drive and a folder on the host";
                    return false;
                }
                NodePtr sub = existing ? existing : Internals::AddChild(fs, folder, name, true, 0);
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
                NodePtr file = existing ? existing : Internals::AddChild(fs, folder, name, false, 0);
                file->content = std::move(content);
            } else {
                if (error) *error = "neither a file nor a folder: " + hostPath.string();
                return false;
            }
        }
        return true;
    }
};

bool FileEntrySnapshot::operator==(const FileEntrySnapshot& other) const {
    return path == other.path && folder == other.folder && attributes == other.attributes && content == other.content;
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
    return FileSystemWalks::ImportTree(*this, hostFolder, folder, p.Full(), error);
}

std::string FileSystem::Dump() const {
    std::string out;
    FileSystemWalks::DumpNode(*this, *root_, 0, out);
    return out;
}

FileSystemSnapshot FileSystem::Snapshot() const {
    FileSystemSnapshot s;
    FileSystemWalks::SnapshotNode(*this, *root_, s);
    return s;
}

}  // namespace sim
