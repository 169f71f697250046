// The Windows setup source path, the user's source list, and the INF and
// catalog copies made before a driver is installed on Windows 98 SE / Me.
#pragma once

// What SetInstallSource does with Windows' setup source path.
enum InstallSourceMode : int {
    PointSourceAtPackage = 0,  // point it at the install folder, keeping the old value
    RestoreSource = 1,         // put the kept value back
};

// Only on Windows 98 SE / Me; elsewhere nothing.
void SetInstallSource(int mode);
// Makes the install folder the only entry of the current user's source
// list (Windows 98 SE / Me); the result of SetupAddToSourceListA, or 0.
int SetUserSourceList();
// Copies the package's INFs into the Windows INF folder and, on Windows
// 98 SE, its catalogs into the catalog store. 1 when a copy succeeded.
int CopyCatalogFiles();

// Forgets the kept setup source path, as a new process starts.
void ResetSavedInstallSource();
