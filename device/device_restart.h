// Taking an adapter out of Windows XP's own wireless configuration: the
// service's per-interface flag is cleared while the adapter is disabled,
// and the adapter is enabled again so that the change takes effect.
#pragma once

#include "device/device_list.h"

// On Windows XP: when the wireless configuration service manages the
// adapter, restarts it with the service's flag cleared. Nothing elsewhere.
void TurnOffWindowsWirelessConfig(const FoundDevice& record);

// Disables every present adapter that matches (the family prefix for
// profile 2, the hardware ID otherwise), writes the service's flag for its
// interface from `state` and enables it again. Every adapter starts from
// the `state` passed in; `state` comes back as the last adapter left it.
// 1 when at least one adapter was restarted.
int RestartAdapter(int& state, const char* hardwareId);

// Read mode sets `state` from bit 15 of the interface's "ControlFlags"
// (1 when the value is missing); write mode sets or clears that bit from
// `state`, clearing bits 24-31 with it. An interface without a settings key
// is left alone and `state` becomes 1 in either mode.
void WzcControlFlag(int& state, bool write, const char* interfaceGuid);

// A diagnostic line; produces no output.
void Trace(const char* text);
