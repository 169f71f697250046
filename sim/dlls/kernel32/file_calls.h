// What Kernel32's file functions share (files.cpp, profile.cpp): how a path
// argument is named in the transcript and in requests for failures on
// demand, and the asking itself.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "sim/include/types.h"

namespace sim::kernel32 {

// The full path as the emulator spells it ("C:\WINDOWS\inf\x.inf"), or ""
// for a null pointer.
std::string PathObject(const char* path);

// Asks whether `call` is to fail on demand for any of the paths, in order;
// the first error asked for, with the last error set (the failure is
// recorded already), or 0.
DWORD FailsOnDemand(std::string_view call, std::initializer_list<const char*> paths);

}  // namespace sim::kernel32
