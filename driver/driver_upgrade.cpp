#include "driver/driver_upgrade.h"

// The upgrade steps keep their place in the run sequence but do not act yet.
void UpgradeSecurityFiles() {}

int UpgradeDrivers() { return 1; }
