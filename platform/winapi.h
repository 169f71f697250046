// The one door from product code to the operating system.
//
// Every product file reaches the ANSI Win32 API through this header and
// nothing else. On Windows it pulls in the real SDK headers; everywhere else
// it pulls in the declarations of the emulator, which implements the same
// functions with the same types, codes and sizes. This is the only place in
// the product that looks at the platform.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
#include <newdev.h>
#include <cfgmgr32.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <process.h>
#include <mbstring.h>
#else
#include "sim/include/windows.h"
#endif
