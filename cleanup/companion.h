// The Boingo companion software: its installer after an installation, its
// removal through Windows Installer after an uninstallation.
#pragma once

#include <cstddef>

#include "platform/winapi.h"

// Reads the text value `valueName` of `subKey` below `root` (opened with
// RegOpenKeyA's default access) into `text` of `size` bytes. An empty value
// reads as the empty text. 1 when it was read and the key closed again; 0
// otherwise, and then `text` is empty (also when the text does not fit).
int RegReadKeyString(HKEY root, const char* subKey, const char* valueName, char* text, size_t size);

// Starts the Boingo installer, "Boingo\boisetup.exe" below the folder named
// by "InstallPath" of HKLM\Software\Zelmar\TavarinApp, and does not wait for
// it. Without a readable, non-empty "InstallPath" nothing is started.
void RunCompanionInstaller();

// When "BoingoInstallRun" of the profile's key is exactly "1" and the
// Boingo software is installed (its uninstall key exists), runs
// "msiexec.exe /x {736CAD5F-0944-4498-BF9E-0E75549854C7} /qb" from the
// Windows system folder and waits until it has ended.
void UninstallCompanion();
