// The utility's device-removal program ("Zovavizu.exe"), which removes an
// adapter outside Windows 2000 / XP. It is started hidden with the device's
// name and hardware key, once per hardware key in a run, and waited for
// while the thread's messages are still dispatched, so that the dialog
// keeps painting.
#pragma once

#include "device/device_list.h"

// Starts the removal program from the utility's folder ("ExecPath" of the
// profile's key) for the record's hardware key, waits for it, then pauses
// one second. 0 when the folder is not known, or when the program could
// not be started at its first launch for that key (a removal that did not
// happen is never reported as one); 1 otherwise, also for a key whose
// program was started before in this run (it is not started again).
int RunDeviceUninstaller(const FoundDevice& record);

// Starts the program for `hardwareKey` unless it was started for that key
// before in this run (keys compared exactly). 1 when it was started and
// has ended, or was started before; 0 when it could not be started.
int LaunchUninstallerOnce(const char* programPath, const char* hardwareKey, const FoundDevice& record);

// Starts `program` hidden with `parameters` and waits until it ends,
// dispatching the thread's messages meanwhile. A WM_QUIT taken from the
// queue ends the wait at once (and is not posted again). 0 when the
// program could not be started, else 1.
int RunAndWait(const char* program, const char* parameters);

// Forgets the keys started in this run, as a new process starts.
void ResetUninstallerLaunchLog();
