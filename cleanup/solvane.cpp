#include "cleanup/solvane.h"

#include <cstring>
#include <string>

#include "app/windows_kind.h"
#include "cleanup/shell_folders.h"
#include "platform/winapi.h"
#include "sys/file_removal.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

const char kApplicationKey[] = "Software\\Zelmar\\SolvaneApp";
const char kUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Solvane 802.11a";
const char kWindowsVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kStartMenuFolder[] = "Zelmar";
const char* const kGroupShortcuts[] = {"Solvane 802.11a.lnk", "Solvane 802.11a Help.lnk"};
constexpr int kGroupShortcutCount = 2;
const char kStartupShortcut[] = "Solvane 802.11a.lnk";

// `path` without trailing backslashes, in upper case, for comparing folders.
std::string FolderKey(const char* path) {
    std::string key = UpperAscii(path);
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

// Whether `folder` is `other` or holds it, in the form given and in the
// short form Windows gives for both.
bool IsOrHolds(const std::string& folder, const char* other) {
    if (!other || !*other) return false;
    const std::string key = FolderKey(other);
    return key == folder || key.compare(0, folder.size() + 1, folder + "\\") == 0;
}

bool SameOrParentOfAny(const char* folder, const char* const* protectedFolders, int count) {
    char shortFolder[kPathSize];
    const DWORD shortLength = ::GetShortPathNameA(folder, shortFolder, sizeof shortFolder);
    const bool haveShort = shortLength > 0 && shortLength < sizeof shortFolder;
    for (int i = 0; i < count; ++i) {
        const char* guarded = protectedFolders[i];
        if (!*guarded) continue;
        char shortGuarded[kPathSize];
        const DWORD length = ::GetShortPathNameA(guarded, shortGuarded, sizeof shortGuarded);
        const bool guardedShort = length > 0 && length < sizeof shortGuarded;
        for (const std::string& candidate : {FolderKey(folder), haveShort ? FolderKey(shortFolder) : std::string()}) {
            if (candidate.empty()) continue;
            if (IsOrHolds(candidate, guarded) || (guardedShort && IsOrHolds(candidate, shortGuarded))) return true;
        }
    }
    return false;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Whether each folder name of `rest` (the path after "X:\") is one that
// Windows takes as written: not "." or "..", not empty (a doubled
// backslash), not ending in a dot or a blank (Windows drops those, so
// "C:\WINDOWS." is the Windows folder), without wildcards or forward
// slashes. One trailing backslash is fine.
bool HasOnlyPlainNames(const char* rest) {
    const std::string text = rest;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const bool trailingBackslash = part.empty() && end == std::string::npos && start > 0;
        if (!trailingBackslash) {
            if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ') return false;
            if (part.find_first_of("*?/") != std::string::npos) return false;
        }
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

void RemoveShortcuts() {
    char folder[kPathSize];
    if (ReadShellFolder(ShellFolder::UserStartup, folder)) DeleteShortcut(folder, kStartupShortcut);
    if (ReadShellFolder(ShellFolder::UserPrograms, folder))
        RemoveGroupShortcuts(folder, kStartMenuFolder, kGroupShortcuts, kGroupShortcutCount);
    if (ReadShellFolder(ShellFolder::CommonStartup, folder)) DeleteShortcut(folder, kStartupShortcut);
    if (ReadShellFolder(ShellFolder::CommonPrograms, folder))
        RemoveGroupShortcuts(folder, kStartMenuFolder, kGroupShortcuts, kGroupShortcutCount);
}

// Deletes one entry now, or else at the next start of Windows.
void RemoveEntry(const char* path, bool nineX) {
    if (nineX) {
        DeleteFileNowOrAtBoot(path);
        return;
    }
    ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!::DeleteFileA(path)) ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void RemoveProgramFolder(const char* folder, bool nineX) {
    char pattern[kPathSize];
    if (ComposeText(pattern, sizeof pattern, EndsWithBackslash(folder) ? "%s*.*" : "%s\\*.*", folder)) {
        WIN32_FIND_DATAA entry;
        UniqueFindHandle find(::FindFirstFileA(pattern, &entry));
        if (find) {
            do {
                // "." is the folder itself and ".." its parent: neither is
                // the application's to delete.
                if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0) continue;
                // Sub-folders are handed on as files: each goes at the
                // next start only if it is empty by then.
                char path[kPathSize];
                if (ComposeText(path, sizeof path, EndsWithBackslash(folder) ? "%s%s" : "%s\\%s", folder,
                                entry.cFileName))
                    RemoveEntry(path, nineX);
            } while (::FindNextFileA(find.Get(), &entry));
        }
    }
    ::SetFileAttributesA(folder, FILE_ATTRIBUTE_NORMAL);
    if (::RemoveDirectoryA(folder)) return;
    if (nineX) {
        DeleteFileNowOrAtBoot(folder);
    } else {
        ::MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

void DeleteKeyTree(const char* path, bool nineX) {
    // RegDeleteKeyA of Windows 98 SE / Me removes the sub-keys too; the NT
    // family's refuses a key that has any.
    if (nineX) {
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    } else {
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    }
}

}  // namespace

bool IsRemovableProgramFolder(const char* folder) {
    if (!folder) return false;
    // "X:\" and at least one folder name below it, each taken as written.
    const bool driveAbsolute = std::strlen(folder) > 3 && IsDriveLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\';
    if (!driveAbsolute || !HasOnlyPlainNames(folder + 3)) return false;

    char windows[kPathSize] = {};
    char system[kPathSize] = {};
    char programFiles[kPathSize] = {};
    const UINT windowsLength = ::GetWindowsDirectoryA(windows, sizeof windows);
    const UINT systemLength = ::GetSystemDirectoryA(system, sizeof system);
    // Without the Windows and system folders there is nothing to hold the
    // folder against: refuse rather than guess.
    if (windowsLength == 0 || windowsLength >= sizeof windows || systemLength == 0 || systemLength >= sizeof system)
        return false;
    if (!RegQueryString(HKEY_LOCAL_MACHINE, kWindowsVersionKey, "ProgramFilesDir", programFiles, sizeof programFiles))
        programFiles[0] = '\0';
    const char* const guarded[] = {windows, system, programFiles};
    return !SameOrParentOfAny(folder, guarded, 3);
}

void RemoveSolvaneApplication() {
    const bool nineX = IsWin9xKind(CurrentWindowsKind);
    RemoveShortcuts();

    char folder[kPathSize];
    if (RegQueryString(HKEY_LOCAL_MACHINE, kApplicationKey, "ExecPath", folder, sizeof folder) &&
        IsRemovableProgramFolder(folder)) {
        RemoveProgramFolder(folder, nineX);
    }

    DeleteKeyTree(kUninstallEntry, nineX);
    DeleteKeyTree(kApplicationKey, nineX);
}
