// The folders of the people who use a fresh machine, where Explorer's
// "Shell Folders" values point (HKCU and HKLM "Software\Microsoft\Windows
// \CurrentVersion\Explorer\Shell Folders"), and the program files folder
// ("ProgramFilesDir" of HKLM "Software\Microsoft\Windows\CurrentVersion").
//
//   Windows 95 / 98 / Me: the person at the machine is the default user,
//     whose Start Menu and desktop lie in the Windows folder
//     ("C:\WINDOWS\Start Menu\Programs\StartUp"); the folders every user
//     shares lie in "<Windows>\All Users"; and "<Windows>\Profiles" holds the
//     profile of a second user, "Owner", who has signed in before.
//   Windows NT 4.0: "<Windows>\Profiles\Owner" and
//     "<Windows>\Profiles\All Users".
//   Windows 2000, XP and 2003: "C:\Documents and Settings\Owner",
//     "...\All Users" and "...\Default User".
//   NT 3.51 has Program Manager and no Start Menu: no shell folders.
//
// Machine::Build puts them in place before anything else runs: they are
// the machine, not what a run did to it.
#pragma once

#include <string>
#include <vector>

#include "sim/machine/version.h"

namespace sim {

class Machine;

struct ShellFolderPaths {
    // The current user's ("Startup", "Programs", "Start Menu", "Desktop").
    std::string startup;
    std::string programs;
    std::string startMenu;
    std::string desktop;
    // Every user's ("Common Startup", "Common Programs", ...).
    std::string commonStartup;
    std::string commonPrograms;
    std::string commonStartMenu;
    std::string commonDesktop;
    // The user profile folders besides those (9x: below "<Windows>\Profiles").
    std::vector<std::string> otherProfiles;
    std::string programFiles;  // "C:\Program Files"

    bool Empty() const { return programs.empty(); }
};

// Where a fresh machine of that version, with that Windows folder, keeps
// them; empty paths for NT 3.51.
ShellFolderPaths ShellFoldersOf(WindowsVersion version, const std::string& windowsDir);

// Creates the folders and writes the registry values that name them.
void AddShellFolders(Machine& machine);

}  // namespace sim
