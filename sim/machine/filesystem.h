// The emulated drive C:.
//
// Folders and files held in memory. Names are compared without regard to
// case and keep the case they were created with. Every entry has Windows
// attributes (read-only, hidden, system, archive, directory; "normal" when
// none is set). A file can be marked as held open by another program, so
// that deleting it fails with a sharing violation, as it does on Windows.
//
// Two faces: the Kernel32 functions (sim/dlls/kernel32/files.cpp) as the tool calls
// them, and the C++ interface below for scenarios and tests. Paths are full
// Windows paths ("C:\WINDOWS\inf\oem0.inf"); a path without a drive is
// taken relative to the root of C:.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/types.h"

struct _WIN32_FIND_DATAA;

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

class FileSystem {
public:
    // Creates the root, the machine's Windows folder and its usual
    // sub-folders (system folder, "inf", "system32\drivers" on NT).
    explicit FileSystem(Machine& machine);
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // ---- direct access ----------------------------------------------------
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
    // CloseHandle of a file handle; false when the handle is not one.
    bool CloseFileHandle(HANDLE handle);

    // ---- the Win32 side (used by sim/dlls/kernel32/files.cpp) -----------------------
    // Each returns ERROR_SUCCESS or the error code the Kernel32 function
    // sets. Paths are the caller's ANSI text, checked as the ANSI functions
    // check them (a null pointer, MAX_PATH characters or more, other drives).
    DWORD Win32GetAttributes(const char* path, DWORD* attributes) const;
    DWORD Win32SetAttributes(const char* path, DWORD attributes);
    DWORD Win32DeleteFile(const char* path);
    DWORD Win32CopyFile(const char* existing, const char* target, bool failIfExists);
    DWORD Win32MoveFile(const char* existing, const char* target, DWORD flags);
    DWORD Win32CreateFolder(const char* path);
    DWORD Win32RemoveFolder(const char* path);
    // On success *existed tells whether the file was there before (the
    // caller then reports ERROR_ALREADY_EXISTS for OPEN_ALWAYS/CREATE_ALWAYS).
    DWORD Win32CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags, HANDLE* handle,
                          bool* existed);
    DWORD Win32ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read);
    DWORD Win32WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written);
    DWORD Win32FindFirst(const char* pattern, _WIN32_FIND_DATAA* data, HANDLE* handle);
    DWORD Win32FindNext(HANDLE handle, _WIN32_FIND_DATAA* data);
    DWORD Win32FindClose(HANDLE handle);
    // A whole file read or written at once, as the profile functions open
    // it (sharing with readers and writers; a write creates the file).
    DWORD Win32ReadWhole(const char* path, std::string* content) const;
    DWORD Win32WriteWhole(const char* path, const std::string& content);

    struct Node;
    struct OpenHandle;

private:
    friend class FileSystemInternals;
    Machine& machine_;
    std::shared_ptr<Node> root_;
    std::map<std::uintptr_t, std::shared_ptr<OpenHandle>> handles_;
};

// The text of an initialization (INI) file as the profile functions read it
// (sim/dlls/kernel32/files.cpp): "[section]" lines, "key=value" lines, ';' comments.
namespace profile {

struct Entry {
    std::string key;
    std::string value;  // as written, without surrounding blanks
};

// Section names in file order, without brackets and surrounding blanks.
std::vector<std::string> SectionNames(const std::string& text);
// The "key=value" lines of the first section of that name (compared
// without regard to case), in file order; nullopt without such a section.
std::optional<std::vector<Entry>> SectionEntries(const std::string& text, const std::string& section);

}  // namespace profile

}  // namespace sim
