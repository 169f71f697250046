// Removing the adapter the uninstall dialog shows: through SetupAPI on
// Windows 2000 / XP, through the utility's device-removal program on every
// other Windows.
#pragma once

#include "device/device_list.h"

// 1 when the device was removed (or, outside Windows 2000 / XP, its
// removal program was started), 0 otherwise.
int RemoveDevices(const FoundDevice& record);

// Removes every present device whose hardware IDs hold the record's
// hardware ID, with the class installer's DIF_REMOVE. 1 only when at least
// one present device matched and every removal succeeded; 0 when the set
// of present devices could not be made, when nothing matched (an empty
// hardware ID matches nothing), or when the class installer refused a
// removal.
int RemoveBySetupApi(const FoundDevice& record);
