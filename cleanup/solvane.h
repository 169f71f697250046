// Removal of the Solvane 802.11a client application: its shortcuts, every
// entry of its program folder with the folder itself, its entry in the list
// of installed programs and its own registry key. Entries Windows holds in
// use go at the next start of Windows; no restart is asked for.
#pragma once

void RemoveSolvaneApplication();

// Whether the program folder named by "ExecPath" may be emptied: an
// absolute path below a drive root ("C:\..."), whose folder names Windows
// takes as written (no "." or ".." part, no doubled backslash, no name
// ending in a dot or a blank, no wildcard), that is neither the Windows
// folder, the system folder nor the program files folder, nor a folder
// that holds one of them, in its long or its short form. One bad
// registry value must never empty a drive or the Windows folder.
bool IsRemovableProgramFolder(const char* folder);
