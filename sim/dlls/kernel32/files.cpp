// Kernel32's file and folder functions over the emulated drive
// (sim/machine/filesystem.h).
//
// Each function asks first whether the call is to fail on demand (the call
// name and the full path, e.g. "DeleteFileA" and "C:\WINDOWS\inf\x.inf";
// CopyFileA and MoveFileExA fail when either their source or their target
// is named), then checks its arguments as the ANSI function does, lets the
// drive act and fills the caller's buffers. A failure sets the last error,
// returns the function's failure value and adds a "failure" line to the
// transcript; the drive records every change on the "file" channel.
#include <optional>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/dlls/kernel32/file_calls.h"
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

using sim::Current;
using sim::FileSystem;
using sim::kernel32::FailsOnDemand;
using sim::kernel32::PathObject;

namespace {

FileSystem& Files() { return Current().files(); }

BOOL Failed(std::string_view call, const std::string& object, DWORD error) {
    sim::dll::Fail(call, object, error);
    return FALSE;
}

// "C:\a to C:\b": the object of a failed copy or move.
std::string Pair(const char* from, const char* to) {
    return to ? PathObject(from) + " to " + PathObject(to) : PathObject(from);
}

}  // namespace

// ---- folders of the machine -----------------------------------------------------

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return sim::dll::CopyTextOut(Current().WindowsDir(), buffer, size); }

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return sim::dll::CopyTextOut(Current().SystemDir(), buffer, size); }

// ---- attributes -----------------------------------------------------------------

DWORD GetFileAttributesA(LPCSTR path) {
    constexpr const char* kCall = "GetFileAttributesA";
    if (FailsOnDemand(kCall, {path})) return INVALID_FILE_ATTRIBUTES;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) {
        const sim::Result<DWORD> attributes = Files().PathAttributes(path);
        if (attributes) return *attributes;
        error = attributes.error();
    }
    Failed(kCall, PathObject(path), error);
    return INVALID_FILE_ATTRIBUTES;
}

// The short form of an existing path: each name as its 8.3 alias, as FAT
// (9x) or NTFS (NT) keeps it (sim/machine/filesystem.h).
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    constexpr const char* kCall = "GetShortPathNameA";
    if (!longPath) {
        Failed(kCall, "", ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FailsOnDemand(kCall, {longPath})) return 0;
    DWORD error = FileSystem::AnsiPathError(longPath);
    if (!error) {
        const sim::Result<std::string> found = Files().ShortPath(longPath);
        if (found) return sim::dll::CopyTextOut(*found, shortPath, size);
        error = found.error();
    }
    Failed(kCall, PathObject(longPath), error);
    return 0;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    constexpr const char* kCall = "SetFileAttributesA";
    if (FailsOnDemand(kCall, {path})) return FALSE;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) error = Files().ChangeAttributes(path, attributes);
    return error ? Failed(kCall, PathObject(path), error) : TRUE;
}

// ---- searching ------------------------------------------------------------------

namespace {

void Fill(const sim::FoundFile& found, WIN32_FIND_DATAA* data) {
    *data = WIN32_FIND_DATAA{};
    data->dwFileAttributes = found.attributes;
    data->nFileSizeLow = static_cast<DWORD>(found.size & 0xFFFFFFFFu);
    data->nFileSizeHigh = static_cast<DWORD>(found.size >> 32);
    sim::dll::CopyTextTruncated(found.name, data->cFileName, sizeof data->cFileName, nullptr);
    sim::dll::CopyTextTruncated(found.shortName, data->cAlternateFileName, sizeof data->cAlternateFileName, nullptr);
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    constexpr const char* kCall = "FindFirstFileA";
    if (FailsOnDemand(kCall, {pattern})) return INVALID_HANDLE_VALUE;
    DWORD error = data ? FileSystem::AnsiPathError(pattern) : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    if (!error) {
        const sim::Result<sim::SearchStart> search = Files().StartSearch(pattern);
        if (search) {
            Fill(search->first, data);
            return search->handle;
        }
        error = search.error();
    }
    Failed(kCall, PathObject(pattern), error);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    constexpr const char* kCall = "FindNextFileA";
    if (!data) return Failed(kCall, "", ERROR_INVALID_PARAMETER);
    const sim::Result<sim::FoundFile> found = Files().ContinueSearch(find);
    if (!found) return Failed(kCall, "", found.error());
    Fill(*found, data);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    const DWORD error = Files().EndSearch(find);
    return error ? Failed("FindClose", "", error) : TRUE;
}

// ---- files and folders -----------------------------------------------------------

BOOL DeleteFileA(LPCSTR path) {
    constexpr const char* kCall = "DeleteFileA";
    if (FailsOnDemand(kCall, {path})) return FALSE;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) error = Files().Delete(path);
    return error ? Failed(kCall, PathObject(path), error) : TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    constexpr const char* kCall = "CopyFileA";
    if (FailsOnDemand(kCall, {existing, target})) return FALSE;
    DWORD error = FileSystem::AnsiPathError(existing);
    if (!error) error = FileSystem::AnsiPathError(target);
    if (!error) error = Files().Copy(existing, target, failIfExists != FALSE);
    if (error) return Failed(kCall, Pair(existing, target), error);
    Current().lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    constexpr const char* kCall = "MoveFileExA";
    if (FailsOnDemand(kCall, {existing, target})) return FALSE;
    // The 9x family has MoveFileExA only as a stub.
    DWORD error = Current().IsNt() ? FileSystem::AnsiPathError(existing) : static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
    if (!error && target) error = FileSystem::AnsiPathError(target);
    const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    const std::optional<std::string_view> to = target ? std::optional<std::string_view>(target) : std::nullopt;
    if (!error && (flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
        error = (flags & MOVEFILE_COPY_ALLOWED) ? static_cast<DWORD>(ERROR_INVALID_PARAMETER)
                                                : Files().MoveAtRestart(existing, to, replace);
    } else if (!error) {
        error = Files().MoveNow(existing, to, replace);
    }
    return error ? Failed(kCall, Pair(existing, target), error) : TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    constexpr const char* kCall = "CreateDirectoryA";
    if (FailsOnDemand(kCall, {path})) return FALSE;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) error = Files().MakeFolder(path);
    return error ? Failed(kCall, PathObject(path), error) : TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    constexpr const char* kCall = "RemoveDirectoryA";
    if (FailsOnDemand(kCall, {path})) return FALSE;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) error = Files().RemoveFolder(path);
    return error ? Failed(kCall, PathObject(path), error) : TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
    constexpr const char* kCall = "CreateFileA";
    if (FailsOnDemand(kCall, {path})) return INVALID_HANDLE_VALUE;
    DWORD error = FileSystem::AnsiPathError(path);
    if (!error) {
        const sim::Result<sim::OpenedFile> opened = Files().Open(path, {access, share, disposition, flags});
        if (opened) {
            // OPEN_ALWAYS and CREATE_ALWAYS succeed on an existing file and say so.
            const bool always = disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS;
            Current().lastError = (always && opened->existed) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
            return opened->handle;
        }
        error = opened.error();
    }
    Failed(kCall, PathObject(path), error);
    return INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID) {
    constexpr const char* kCall = "ReadFile";
    if (read) *read = 0;
    // Without a buffer only the handle is checked before the call fails.
    const sim::Result<std::string> data = Files().ReadOpenFile(file, buffer ? toRead : 0);
    if (!data) return Failed(kCall, "", data.error());
    if (!buffer && toRead) return Failed(kCall, "", ERROR_INVALID_PARAMETER);
    DWORD copied = 0;
    sim::dll::CopyDataOut(*data, buffer, toRead, &copied);
    if (read) *read = copied;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID) {
    constexpr const char* kCall = "WriteFile";
    if (written) *written = 0;
    // Without a buffer only the handle is checked before the call fails.
    const std::string_view data = buffer ? std::string_view(static_cast<const char*>(buffer), toWrite) : "";
    if (const DWORD error = Files().WriteOpenFile(file, data)) return Failed(kCall, "", error);
    if (!buffer && toWrite) return Failed(kCall, "", ERROR_INVALID_PARAMETER);
    if (written) *written = toWrite;
    return TRUE;
}
