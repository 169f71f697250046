// Upgrading the driver of a present adapter, and the staged security library.
#pragma once

// Puts a staged newer "ZLMSecurity.dll" in place (Windows 98 SE / Me).
void UpgradeSecurityFiles();
// > 0 upgrade done, 0 nothing to upgrade now, < 0 failed.
int UpgradeDrivers();
