#include "sim/machine/shell_folders.h"

#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace sim {

namespace {

const char kUserShellFolders[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCommonShellFolders[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
const char kProgramFiles[] = "C:\\Program Files";
const char kCommonFiles[] = "C:\\Program Files\\Common Files";
// The user a fresh machine was set up for.
const char kUser[] = "Owner";

std::string Join(const std::string& folder, const std::string& name) {
    return folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name;
}

// A profile's folders below its root, with the start-up folder spelled as
// the version spells it ("StartUp" on the 9x family).
void FillProfile(const std::string& root, const char* startupName, bool common, ShellFolderPaths& out) {
    const std::string startMenu = Join(root, "Start Menu");
    const std::string programs = Join(startMenu, "Programs");
    const std::string startup = Join(programs, startupName);
    const std::string desktop = Join(root, "Desktop");
    if (common) {
        out.commonStartMenu = startMenu;
        out.commonPrograms = programs;
        out.commonStartup = startup;
        out.commonDesktop = desktop;
    } else {
        out.startMenu = startMenu;
        out.programs = programs;
        out.startup = startup;
        out.desktop = desktop;
    }
}

}  // namespace

ShellFolderPaths ShellFoldersOf(WindowsVersion version, const std::string& windowsDir) {
    ShellFolderPaths out;
    if (version == WindowsVersion::NT351) return out;
    out.programFiles = kProgramFiles;
    if (!IsNtFamily(version)) {
        FillProfile(windowsDir, "StartUp", false, out);
        FillProfile(Join(windowsDir, "All Users"), "StartUp", true, out);
        out.otherProfiles.push_back(Join(Join(windowsDir, "Profiles"), kUser));
        return out;
    }
    const std::string profiles =
        version == WindowsVersion::NT4 ? Join(windowsDir, "Profiles") : std::string("C:\\Documents and Settings");
    FillProfile(Join(profiles, kUser), "Startup", false, out);
    FillProfile(Join(profiles, "All Users"), "Startup", true, out);
    if (version != WindowsVersion::NT4) out.otherProfiles.push_back(Join(profiles, "Default User"));
    return out;
}

void AddShellFolders(Machine& machine) {
    const ShellFolderPaths paths = ShellFoldersOf(machine.Version(), machine.WindowsDir());
    if (paths.Empty()) return;
    FileSystem& files = machine.files();
    Registry& registry = machine.registry();
    files.CreateFolder(paths.programFiles);
    files.CreateFolder(kCommonFiles);
    registry.SetString(kCurrentVersion, "ProgramFilesDir", paths.programFiles);
    registry.SetString(kCurrentVersion, "CommonFilesDir", kCommonFiles);

    const struct {
        const char* key;
        const char* name;
        const std::string& path;
    } values[] = {
        {kUserShellFolders, "Desktop", paths.desktop},
        {kUserShellFolders, "Start Menu", paths.startMenu},
        {kUserShellFolders, "Programs", paths.programs},
        {kUserShellFolders, "Startup", paths.startup},
        {kCommonShellFolders, "Common Desktop", paths.commonDesktop},
        {kCommonShellFolders, "Common Start Menu", paths.commonStartMenu},
        {kCommonShellFolders, "Common Programs", paths.commonPrograms},
        {kCommonShellFolders, "Common Startup", paths.commonStartup},
    };
    for (const auto& value : values) {
        files.CreateFolder(value.path);
        registry.CreateKey(value.key);
        registry.SetString(value.key, value.name, value.path);
    }
    // Another user's profile has the same folders, named by no value here.
    for (const std::string& profile : paths.otherProfiles) {
        ShellFolderPaths other;
        FillProfile(profile, machine.IsNt() ? "Startup" : "StartUp", false, other);
        files.CreateFolder(other.startup);
        files.CreateFolder(other.desktop);
    }
}

}  // namespace sim
