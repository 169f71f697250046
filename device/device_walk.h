// The walk over the present devices that the search, the restart and the
// removal of adapters share: every present device of every class, with its
// hardware IDs read into a buffer sized on demand.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "platform/winapi.h"

// The strings of a device's hardware-ID multi-string, in order, up to its
// empty string or the end of the reported data. Each view lies in the
// walk's buffer and is followed there by a NUL, so `data()` is a C string;
// the views are valid during the visit only.
using HardwareIdList = std::vector<std::string_view>;

// Calls `visit` for each present device that has hardware IDs. A device
// without any is passed over; any other failure to read them ends the walk
// (the devices visited so far keep what was done to them). False when the
// set of present devices could not be made; true otherwise.
bool ForEachPresentDevice(
    const std::function<void(HDEVINFO set, SP_DEVINFO_DATA* device, const HardwareIdList& ids)>& visit);
