// Shlwapi: SHDeleteKeyA, which removes a key with everything below it on
// every Windows.
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

using sim::Current;

LONG SHDeleteKeyA(HKEY key, LPCSTR subKey) { return Current().registry().DeleteKey(key, subKey, true); }

