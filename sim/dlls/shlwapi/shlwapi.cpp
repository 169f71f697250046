// Shlwapi: SHDeleteKeyA, which removes a key with everything below it on
// every Windows. It walks the keys as advapi32's RegDeleteKeyA does; see
// sim/dlls/advapi32/registry_calls.h for what it records and how it fails.
#include "sim/dlls/advapi32/registry_calls.h"
#include "sim/include/windows.h"

LONG SHDeleteKeyA(HKEY key, LPCSTR subKey) { return sim::dll::DeleteRegistryKey("SHDeleteKeyA", key, subKey, true); }
