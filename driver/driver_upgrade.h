// Upgrading the driver of a present adapter to the package in the install
// folder, and putting a staged security library in place.
#pragma once

// Results of an upgrade, as the run sequence and the upgrade dialog read
// them: any value above 0 counts as done, below 0 as failed.
constexpr int kUpgradeDone = 1;
constexpr int kNothingToUpgrade = 0;
constexpr int kUpgradeFailed = -1;

// Windows 98 SE / Me: RetargetNetClassDrivers (always done); every other
// Windows: UpdateDeviceDriver.
int UpgradeDrivers();

// Puts the package's driver on the last present adapter that runs a driver
// of the profile, through "newdev" with INSTALLFLAG_FORCE. Done when the
// update call succeeded; nothing to upgrade when no such adapter is
// present or the install folder holds no INF for it; failed when "newdev"
// or its function is missing, the install folder is not known (or a path
// composed from it does not fit), or the update call failed.
int UpdateDeviceDriver();

// Windows 98 SE / Me: points "DeviceVxDs" and "NTMPDriver" of every
// network driver instance whose "MatchingDeviceId" holds an ID of a
// package (lower-cased, found anywhere) at that package's driver file,
// when the file lies in the install folder; the 802.11a values are written
// last, so an instance that matches both packages ends with them. Always 1.
int RetargetNetClassDrivers();

// Windows 98 SE / Me: replaces "ZLMSecurity.dll" in the system folder by a
// staged "ZLMSecurity.new" beside it. The staged copy is deleted once it
// has replaced the library, or when no library is installed; when the copy
// fails (the library is in use) it stays for the next run.
void UpgradeSecurityFiles();
