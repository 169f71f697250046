#include "cleanup/shortcuts.h"

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/shell_folders.h"
#include "platform/winapi.h"
#include "sys/file_removal.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

const char kUtilityShortcut[] = "Tavarin 802.11.lnk";
const char kHelpShortcut[] = "Tavarin 802.11 Help.lnk";
const char* const kGroupShortcuts[] = {kUtilityShortcut, kHelpShortcut};
constexpr int kGroupShortcutCount = 2;
const char kDefaultGroup[] = "Zelmar";
// The user profiles of Windows 98 SE / Me, where every user has a Start Menu.
const char kProfilesFolder[] = "C:\\Windows\\Profiles";
const char kProfileStartup[] = "Start Menu\\Programs\\Startup";
const char kProfilePrograms[] = "Start Menu\\Programs";

// "StartMenuGroup" of the profile's key, else "Zelmar". False for a name
// that would climb out of the folder it is joined to.
bool ReadGroupName(char (&group)[kPathSize]) {
    if (!ProfileKeyPath || !RegQueryString(HKEY_LOCAL_MACHINE, ProfileKeyPath, "StartMenuGroup", group, sizeof group))
        CopyText(group, sizeof group, kDefaultGroup);
    return IsGroupName(group);
}

// Hands "<profile>\<sub>\<name>" to DeleteFileNowOrAtBoot when a search
// finds it.
void DeleteFromProfile(const char* profile, const char* sub, const char* name) {
    char path[kPathSize];
    if (ComposeText(path, sizeof path, "%s\\%s\\%s", profile, sub, name) && PathFound(path))
        DeleteFileNowOrAtBoot(path);
}

void RemoveFromProfile(const char* profile) {
    DeleteFromProfile(profile, kProfileStartup, kUtilityShortcut);
    char group[kPathSize];
    if (!ReadGroupName(group)) return;
    char programs[kPathSize];
    if (!ComposeText(programs, sizeof programs, "%s\\%s", profile, kProfilePrograms)) return;
    for (const char* shortcut : kGroupShortcuts) DeleteFromProfile(programs, group, shortcut);
    char folder[kPathSize];
    if (ComposeText(folder, sizeof folder, "%s\\%s", programs, group)) ::RemoveDirectoryA(folder);
}

}  // namespace

void RemoveProfileShortcuts() {
    if (!IsWin9xKind(CurrentWindowsKind)) return;
    char pattern[kPathSize];
    if (!ComposeText(pattern, sizeof pattern, "%s\\*.*", kProfilesFolder)) return;
    WIN32_FIND_DATAA entry;
    UniqueFindHandle find(::FindFirstFileA(pattern, &entry));
    if (!find) return;
    // Every folder entry in listing order, "." and ".." included: ".." is
    // the Windows folder, whose own Start Menu is the default user's.
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        char profile[kPathSize];
        if (ComposeText(profile, sizeof profile, "%s\\%s", kProfilesFolder, entry.cFileName)) RemoveFromProfile(profile);
    } while (::FindNextFileA(find.Get(), &entry));
}

void RemoveUtilityShortcuts() {
    if (IsWin9xKind(CurrentWindowsKind)) RemoveProfileShortcuts();

    char group[kPathSize];
    const bool groupUsable = ReadGroupName(group);
    char folder[kPathSize];
    if (ReadShellFolder(ShellFolder::UserStartup, folder)) DeleteShortcut(folder, kUtilityShortcut);
    if (groupUsable && ReadShellFolder(ShellFolder::UserPrograms, folder))
        RemoveGroupShortcuts(folder, group, kGroupShortcuts, kGroupShortcutCount);
    if (ReadShellFolder(ShellFolder::CommonStartup, folder)) DeleteShortcut(folder, kUtilityShortcut);
    if (groupUsable && ReadShellFolder(ShellFolder::CommonPrograms, folder))
        RemoveGroupShortcuts(folder, group, kGroupShortcuts, kGroupShortcutCount);
}
