// Removal of the utility's shortcuts and Start Menu group.
#pragma once

void RemoveUtilityShortcuts();
