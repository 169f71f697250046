// The emulator's stand-in for the Windows SDK headers that the product
// includes (windows.h, setupapi.h, cfgmgr32.h, shellapi.h, shlwapi.h,
// process.h, mbstring.h, dbt.h, newdev.h). Only what the tool calls.
#pragma once

#include "sim/include/errors.h"
#include "sim/include/kernel.h"
#include "sim/include/registry.h"
#include "sim/include/services.h"
#include "sim/include/setupapi.h"
#include "sim/include/types.h"
#include "sim/include/user.h"
