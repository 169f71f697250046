// What the parts of the drive's model share: how a path is read, the
// entries of the tree, open handles, and the lookups and checks every
// operation makes. Only sim/machine/filesystem/*.cpp include this.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"

namespace sim {

// ---- paths and names (paths.cpp) ----------------------------------------------

// The attributes an entry keeps; DIRECTORY follows from being a folder and
// NORMAL from having none of these.
constexpr DWORD kFileAttributeTemporary = 0x100;
constexpr DWORD kFileAttributeOffline = 0x1000;
constexpr DWORD kFileAttributeNotContentIndexed = 0x2000;
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | kFileAttributeTemporary | kFileAttributeOffline |
                                    kFileAttributeNotContentIndexed;

// A path as Windows reads it before looking anything up: the drive, the
// folder names with "." and ".." worked out, and how it ended.
struct ParsedPath {
    DWORD error = ERROR_SUCCESS;
    char drive = 'C';
    bool otherDrive = false;         // a well-formed path on a drive the machine lacks
    std::vector<std::string> parts;  // below the root
    bool trailingSlash = false;      // "C:\WINDOWS\"
    bool endedWithDot = false;       // the last name lost trailing dots ("*." -> "*")

    std::string Full() const;
};

// Wildcards are allowed in the last name only, and only when asked for.
ParsedPath ParsePath(std::string_view text, bool wildcardsInLast);
std::string JoinWindowsPath(const std::string& folder, const std::string& name);

bool HasWildcards(std::string_view name);
// FindFirstFile's pattern in the form of the DOS wildcards the file system
// matches, and the match of a name against it.
std::string TranslatePattern(std::string pattern, bool endedWithDot);
bool MatchesPattern(const std::string& translated, const std::string& name);

// "DRHSAN" letters of reported attributes, as the dump and the transcript show them.
std::string AttributeLetters(DWORD attributes);

// ---- the tree and its handles -------------------------------------------------------

struct FileSystem::Node {
    std::string name;
    // The 8.3 alias (short_names.cpp): on FAT every entry's short name, on
    // NTFS only that of a name that does not fit 8.3; empty for none.
    std::string alias;
    bool folder = false;
    DWORD attributes = 0;  // kStoredAttributes bits only
    std::string content;
    bool inUse = false;
    std::weak_ptr<Node> parent;                   // empty for the root and for removed entries
    std::vector<std::shared_ptr<Node>> children;  // in creation order
};

// What an open of a file asks for, reduced to what sharing checks need.
constexpr DWORD kOpenRead = 1;
constexpr DWORD kOpenWrite = 2;
constexpr DWORD kOpenDelete = 4;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct FileSystem::OpenHandle {
    bool find = false;
    // A file handle.
    std::shared_ptr<Node> node;
    DWORD access = 0;  // kOpenRead | kOpenWrite | kOpenDelete
    DWORD share = 0;   // FILE_SHARE_*
    bool deleteOnClose = false;
    size_t position = 0;
    // A find handle: the matches, taken when the search started.
    std::vector<FoundFile> entries;
    size_t next = 0;
};

// Lookups and checks shared by the parts of the model.
class FileSystemInternals {
public:
    using NodePtr = std::shared_ptr<FileSystem::Node>;

    struct Located {
        NodePtr parent;  // the folder holding (or that would hold) the entry
        NodePtr node;    // null when the entry is missing
        DWORD error = ERROR_SUCCESS;
    };

    // ---- the tree (tree.cpp) ----
    // The entry of that long or short name.
    static NodePtr Child(const FileSystem::Node& folder, const std::string& name);
    static Located Locate(const FileSystem& fs, const ParsedPath& p);
    static Located Locate(const FileSystem& fs, const std::string& path);
    // The attributes GetFileAttributes reports.
    static DWORD Reported(const FileSystem::Node& n);
    static std::string FullPath(const FileSystem::Node& n);
    // NTFS keeps a folder sorted by the upper-cased names; FAT lists
    // entries in the order they were made.
    static std::vector<NodePtr> Listing(const FileSystem& fs, const FileSystem::Node& folder);
    static bool IsWithin(const FileSystem::Node* n, const FileSystem::Node* folder);
    // A new entry, with its alias made among its siblings.
    static NodePtr AddChild(const FileSystem& fs, const NodePtr& folder, const std::string& name, bool isFolder,
                            DWORD attributes);
    static void Detach(FileSystem::Node& node);
    // Creates the folders named by the first `count` parts; null when a
    // file stands in the way.
    static NodePtr EnsureFolders(FileSystem& fs, const std::vector<std::string>& parts, size_t count);
    static void Record(const FileSystem& fs, const std::string& line);

    // ---- short names (short_names.cpp) ----
    // The name an entry answers GetShortPathName with.
    static std::string ShortName(const FileSystem::Node& n);
    // The alias a name gets in `folder` (`self` is the entry when it is
    // renamed, so that it does not clash with itself); empty when the file
    // system keeps none for it.
    static std::string MakeAlias(const FileSystem& fs, const FileSystem::Node& folder, const std::string& name,
                                 const FileSystem::Node* self);
    // Whether a name is a valid 8.3 name as it stands (in any case).
    static bool FitsShortName(const std::string& name);

    // ---- opens and sharing (open_files.cpp) ----
    // Whether an open with this access and share mode clashes with the
    // opens already made (the tool's handles, and another program's).
    static bool SharingClash(const FileSystem& fs, const FileSystem::Node& node, DWORD access, DWORD share);
    static bool HasOpens(const FileSystem& fs, const FileSystem::Node& node);
    static size_t OpenFileHandles(const FileSystem& fs, const FileSystem::Node& node);
    // Whether anything inside the folder (or the entry itself) is open.
    static bool HoldsOpenFiles(const FileSystem& fs, const FileSystem::Node& node);
    static FileSystem::OpenHandle* Handle(const FileSystem& fs, HANDLE handle);
    static HANDLE AddHandle(FileSystem& fs, std::shared_ptr<FileSystem::OpenHandle> h);

    // ---- restart operations (changes.cpp) ----
    static void AppendPending(FileSystem& fs, const std::string& source, const std::string& target);
};

}  // namespace sim
