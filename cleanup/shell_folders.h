// The shell folders the companion software put shortcuts in (the start-up
// and Start Menu programs folders of the current user and of all users),
// and removing shortcuts and a Start Menu group from them. Deletions here
// are immediate on every Windows and their results are not looked at: a
// missing shortcut or a group that still holds other entries is not an
// error.
#pragma once

#include "platform/winapi.h"
#include "sys/text.h"

// The four folders, as the values of "...\Explorer\Shell Folders".
enum class ShellFolder { UserStartup, UserPrograms, CommonStartup, CommonPrograms };

// Reads the folder's path; false when the value cannot be read.
bool ReadShellFolder(ShellFolder folder, char (&path)[kPathSize]);

// Deletes "<folder>\<shortcut>" (the shortcut's file name, ".lnk"
// included).
void DeleteShortcut(const char* folder, const char* shortcut);

// Deletes "<folder>\<group>\<shortcut>" for each shortcut, then removes the
// group folder, which goes only when nothing else is left in it.
void RemoveGroupShortcuts(const char* folder, const char* group, const char* const* shortcuts, int count);

// Whether a Start Menu group name stays below the folder it is joined to:
// not empty, no drive, no leading backslash and no "." or ".." part.
bool IsGroupName(const char* group);
