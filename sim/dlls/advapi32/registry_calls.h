// What advapi32's registry functions share with shlwapi, whose
// SHDeleteKeyA is a walk over the same keys.
#pragma once

#include <string>
#include <string_view>

#include "sim/include/windows.h"

namespace sim::dll {

// RegDeleteKeyA (`withSubKeys` false) and SHDeleteKeyA (true), named
// `call` in failures and failures on demand. Returns the error; never
// touches the last error. Each key removed is recorded on the "registry"
// channel, also when a refusal stops SHDeleteKeyA's walk halfway.
LONG DeleteRegistryKey(std::string_view call, HKEY key, LPCSTR subKey, bool withSubKeys);

// How the "registry" channel shows a value: its name ("@" for the default
// value), type and data (strings quoted, numbers in hexadecimal, other
// data as hex bytes, anything long cut with "...").
std::string RegistryValueText(std::string_view name, DWORD type, std::string_view data);

}  // namespace sim::dll
