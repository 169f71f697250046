#include "cleanup/shortcuts.h"

// Keeps its place in the run sequence but does not act yet.
void RemoveUtilityShortcuts() {}
