#include "cleanup/shell_folders.h"

#include <cstring>
#include <string>

#include "sys/registry_helpers.h"

namespace {

const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

bool ReadShellFolder(ShellFolder folder, char (&path)[kPathSize]) {
    HKEY root = HKEY_CURRENT_USER;
    const char* value = "Startup";
    switch (folder) {
        case ShellFolder::UserStartup:
            break;
        case ShellFolder::UserPrograms:
            value = "Programs";
            break;
        case ShellFolder::CommonStartup:
            root = HKEY_LOCAL_MACHINE;
            value = "Common Startup";
            break;
        case ShellFolder::CommonPrograms:
            root = HKEY_LOCAL_MACHINE;
            value = "Common Programs";
            break;
    }
    return RegQueryString(root, kShellFoldersKey, value, path, sizeof path) == 1;
}

void DeleteShortcut(const char* folder, const char* shortcut) {
    char path[kPathSize];
    if (ComposeText(path, sizeof path, "%s\\%s", folder, shortcut)) ::DeleteFileA(path);
}

void RemoveGroupShortcuts(const char* folder, const char* group, const char* const* shortcuts, int count) {
    char path[kPathSize];
    for (int i = 0; i < count; ++i) {
        if (ComposeText(path, sizeof path, "%s\\%s\\%s", folder, group, shortcuts[i])) ::DeleteFileA(path);
    }
    if (ComposeText(path, sizeof path, "%s\\%s", folder, group)) ::RemoveDirectoryA(path);
}

bool IsGroupName(const char* group) {
    if (!group || !*group || group[0] == '\\' || std::strchr(group, ':')) return false;
    // Nested groups ("Zelmar\Tavarin") are fine; a part that climbs is not.
    std::string rest = group;
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = rest.find('\\', start);
        const std::string part = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "." || part == "..") return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}
