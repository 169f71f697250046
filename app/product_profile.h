// The product line a job is for, and its settings. Plain process-wide state,
// written on the one thread as the switches are examined and read by every
// later step.
#pragma once

// The profiles the switches select. Any other number is stored as given and
// has no settings.
constexpr int kNoProfile = 0;
constexpr int kPcCardProfile = 1;  // the PC Cards: -installb, -uninstallb
constexpr int kPciProfile = 2;     // the PCI adapters: -install, -uninstall, -Upgrade and the side jobs

// The profile number last selected.
extern int ProductProfile;
// 1 selects the older product line inside profile 1; never cleared.
extern int DusklineFlag;

// Settings of the selected profile (0 / null when it has none).
extern int ProfileFamily;                // 2, 1 or 0; also the number of package files to remove
extern const char* ProfileInfName;       // the profile's driver package INF
extern const char* const* ProfileIdList; // the profile's hardware IDs (rows of a table, not a copy)
extern int ProfileIdCount;
extern const char* ProfileKeyPath;       // the product's key below HKEY_LOCAL_MACHINE
extern const char* ProfileSubKey;        // the same key below HKEY_LOCAL_MACHINE\Software

void SelectProductProfile(int profile);
int GetProductProfile();
void SetDusklineFlag(bool set);
bool IsDusklineFlagSet();

// The product keys.
extern const char* const TavarinKeyPath;  // "Software\Zelmar\TavarinApp", also the utility's key
