// The emulated drive C:.
//
// Folders and files held in memory. Names are compared without regard to
// case and keep the case they were created with; every entry answers to its
// 8.3 alias too, as FAT (9x) and NTFS (NT) make them. Every entry has Windows
// attributes (read-only, hidden, system, archive, directory; "normal" when
// none is set). A file can be marked as held open by another program, so
// that deleting it fails with a sharing violation, as it does on Windows.
//
// Two faces, both in C++ values:
//  - direct access for scenarios and tests (the first block below): it
//    changes the drive without checks and without transcript lines;
//  - the operations Kernel32's functions perform (the second block), which
//    check what Windows checks and give back a value or the Windows error
//    (sim/machine/result.h). sim/dlls/kernel32 turns the caller's arguments
//    into these calls and fills the caller's buffers; it alone sets the
//    last error. Every change these operations make is recorded on the
//    transcript's "file" channel as it happens.
// Paths are full Windows paths ("C:\WINDOWS\inf\oem0.inf"); a path without
// a drive is taken relative to the root of C:, '/' is a backslash, and "."
// and ".." are worked out.
//
// The implementation lives in sim/machine/filesystem/: paths and names
// (paths.cpp), the tree and attributes (tree.cpp), open files and sharing
// (open_files.cpp), searches (find.cpp), copies, moves and deletions
// (changes.cpp), 8.3 aliases (short_names.cpp), and dumps, snapshots and
// host imports (snapshot.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/result.h"

namespace sim {

class Machine;

struct FileEntrySnapshot {
    std::string path;  // full path, as created
    bool folder = false;
    DWORD attributes = 0;  // FILE_ATTRIBUTE_* as GetFileAttributes reports them
    std::string content;   // files only

    bool operator==(const FileEntrySnapshot& other) const;
};

// Every entry of the drive, folders before their contents, in listing order.
struct FileSystemSnapshot {
    std::vector<FileEntrySnapshot> entries;
};

// A deletion or rename that Windows carries out at its next start.
struct PendingFileOperation {
    std::string source;
    std::string target;  // empty: delete the source
};

// How CreateFileA opens a file, as the model needs it.
struct FileOpenRequest {
    DWORD access = 0;       // GENERIC_* and the specific rights
    DWORD share = 0;        // FILE_SHARE_*
    DWORD disposition = 0;  // CREATE_NEW .. TRUNCATE_EXISTING
    DWORD flags = 0;        // FILE_ATTRIBUTE_* and FILE_FLAG_*
};

struct OpenedFile {
    HANDLE handle = nullptr;
    bool existed = false;  // the file was there before the open
};

// One entry a search reports.
struct FoundFile {
    std::string name;
    std::string shortName;  // the 8.3 alias when it differs from the name, else empty
    DWORD attributes = 0;
    std::uint64_t size = 0;
};

struct SearchStart {
    HANDLE handle = nullptr;
    FoundFile first;
};

class FileSystem {
public:
    // Creates the root, the machine's Windows folder and its usual
    // sub-folders (system folder, "inf", "system32\drivers" on NT).
    explicit FileSystem(Machine& machine);
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // ---- direct access (scenarios and tests) ------------------------------
    bool Exists(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    // Creates the folder and any missing parents.
    bool CreateFolder(const std::string& path);
    // Creates or replaces a file (parents are created as needed).
    bool WriteFile(const std::string& path, const std::string& content, DWORD attributes = 0x80);
    std::optional<std::string> ReadFile(const std::string& path) const;
    std::optional<DWORD> Attributes(const std::string& path) const;
    bool SetAttributes(const std::string& path, DWORD attributes);
    // Removes a file, or a folder with everything in it.
    bool Remove(const std::string& path);
    // The names in a folder, in listing order (without "." and "..").
    std::vector<std::string> List(const std::string& folder) const;

    // A file held open by another program cannot be deleted, moved over or
    // replaced; a folder holding such a file cannot be removed.
    bool SetInUse(const std::string& path, bool inUse);
    bool IsInUse(const std::string& path) const;

    // Operations recorded by MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT
    // (NT) or by the "rename" section of WININIT.INI (9x), in order.
    std::vector<PendingFileOperation> PendingOperations() const;

    // Copies a folder of the host into the drive (for example a scenario's
    // "drive" folder onto "C:\"); false with a message when it cannot.
    bool ImportHostFolder(const std::string& hostFolder, const std::string& drivePath, std::string* error);
    // The whole tree as indented text, one entry a line, with attributes.
    std::string Dump() const;

    FileSystemSnapshot Snapshot() const;

    // Find handles and file handles the tool holds open right now.
    size_t OpenHandleCount() const;

    // ---- what Kernel32's functions do (sim/dlls/kernel32) ------------------
    // The ANSI functions' check of a path argument: ERROR_PATH_NOT_FOUND for
    // a null pointer, ERROR_FILENAME_EXCED_RANGE for MAX_PATH characters or
    // more (the name does not fit the conversion buffer), else 0.
    static DWORD AnsiPathError(const char* path);
    // A path as the emulator spells it in the transcript and in requests
    // for failures on demand: "C:\WINDOWS\inf\x.inf" for "c:/windows/inf/x.inf";
    // a path that cannot be parsed comes back as given.
    static std::string FullPath(std::string_view path);

    Result<DWORD> PathAttributes(std::string_view path) const;
    DWORD ChangeAttributes(std::string_view path, DWORD attributes);
    DWORD Delete(std::string_view path);
    DWORD Copy(std::string_view existing, std::string_view target, bool failIfExists);
    // A move with no target fails as MoveFileExA does without one.
    DWORD MoveNow(std::string_view existing, std::optional<std::string_view> target, bool replaceExisting);
    // Records a move (or, without a target, a deletion) for the next start
    // in the session manager's PendingFileRenameOperations; only the form
    // of the names is checked.
    DWORD MoveAtRestart(std::string_view existing, std::optional<std::string_view> target, bool replaceExisting);
    DWORD MakeFolder(std::string_view path);
    DWORD RemoveFolder(std::string_view path);

    Result<OpenedFile> Open(std::string_view path, const FileOpenRequest& request);
    // Up to `count` bytes from the handle's position on; fewer at the end.
    Result<std::string> ReadOpenFile(HANDLE handle, DWORD count);
    DWORD WriteOpenFile(HANDLE handle, std::string_view data);
    // CloseHandle of a file handle; false when the handle is not one.
    bool CloseFileHandle(HANDLE handle);

    // A search takes its matches when it starts: "." and ".." first in every
    // folder but the root, then the folder's listing order.
    Result<SearchStart> StartSearch(std::string_view pattern);
    Result<FoundFile> ContinueSearch(HANDLE handle);
    DWORD EndSearch(HANDLE handle);

    // A whole file read or written at once, as the profile functions open
    // it (sharing with readers and writers; a write creates the file). The
    // caller records what it wrote.
    Result<std::string> ReadWhole(std::string_view path) const;
    DWORD WriteWhole(std::string_view path, const std::string& content);

    // GetShortPathNameA: the path of an existing entry with each name in
    // its short form (the 8.3 aliases of sim/machine/filesystem/
    // short_names.cpp); the drive is kept as written.
    Result<std::string> ShortPath(std::string_view path) const;
    // The full path of an existing entry, long names throughout, however it
    // was written (short names included); nullopt when it does not exist.
    std::optional<std::string> LongPath(std::string_view path) const;

    // GetFileAttributesA as the device model calls it on behalf of
    // SetupAPI: ERROR_SUCCESS with *attributes set, or the error.
    DWORD Win32GetAttributes(const char* path, DWORD* attributes) const;

    struct Node;
    struct OpenHandle;

private:
    friend class FileSystemInternals;
    friend class FileSystemWalks;
    Machine& machine_;
    std::shared_ptr<Node> root_;
    std::map<std::uintptr_t, std::shared_ptr<OpenHandle>> handles_;
};

}  // namespace sim
