// The maker's utility and security program: starting and stopping them, and
// removing what the utility leaves behind.
#pragma once

#include "platform/winapi.h"

// Starts `programName` from the utility's folder ("ExecPath" of the product
// profile's key) with `arguments` and does not wait for it. Nothing is
// started without a folder, or when the path would not fit in 260 bytes.
void LaunchUtility(const char* programName, const char* arguments);
// Tells a running utility to exit: "tavarin.exe -killapp" (also for the
// Duskline line).
void StopUtility();
// Starts the utility after an installation with "-silent -hs".
void StartUtility();
// Deletes the utility's data files ("_tavarin.dat" or "_dusklin.dat", and
// "profile.pro"); on Windows XP also resets the supplicant mode.
void DeleteUtilityDataFiles();
// action: 0 start, 1 stop (2 pause and 3 continue reach the service on NT).
// On Windows 98 SE / Me: 0 starts "ZelmSS.exe" from the utility's folder
// (result 0); 1 sends the stop command to the "ZelmSS" window (1 when it
// answers non-zero). Elsewhere the result of ControlServiceState for the
// service "ZelmSS".
int ControlSecurityService(int action, DWORD argumentCount, const char** arguments);
// Deletes the dynamic values of the utility's and the security product's
// keys; the error code of opening the security product's key, else the
// result of closing it.
LONG ClearDynamicSettings();
