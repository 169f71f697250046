// Removal of the utility's shortcuts and Start Menu group: for the current
// user and all users, and on Windows 98 SE / Me in every user profile below
// "C:\Windows\Profiles" (the Windows folder's own Start Menu included).
#pragma once

// Deletes "Tavarin 802.11.lnk" from the start-up folders, and it and
// "Tavarin 802.11 Help.lnk" from the Start Menu group ("StartMenuGroup" of
// the profile's key, else "Zelmar"), whose folder goes when it is empty.
// A group name that would climb out of the programs folder is not used.
void RemoveUtilityShortcuts();

// The Windows 98 SE / Me part: the same in every folder of
// "C:\Windows\Profiles", through DeleteFileNowOrAtBoot (a shortcut in use
// goes at the next start). Nothing on any other Windows.
void RemoveProfileShortcuts();
