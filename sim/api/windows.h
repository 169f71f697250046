// The emulator's stand-in for the Windows SDK headers that the product
// includes (windows.h, setupapi.h, cfgmgr32.h, shellapi.h, shlwapi.h,
// process.h, mbstring.h, dbt.h, newdev.h). Only what the tool calls.
#pragma once

#include "sim/api/errors.h"
#include "sim/api/kernel.h"
#include "sim/api/registry.h"
#include "sim/api/services.h"
#include "sim/api/setupapi.h"
#include "sim/api/types.h"
#include "sim/api/user.h"
