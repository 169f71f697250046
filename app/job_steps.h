// The operations the run sequence calls for its jobs, gathered in one table
// so that the sequence itself (which step, in which order, for which
// switches) can be checked apart from what each step does.
#pragma once

#include "platform/winapi.h"

class CDialog;

struct JobSteps {
    void (*UpgradeSecurityFiles)();
    int (*UpgradeDrivers)();
    void (*RemoveSolvaneApplication)();
    int (*ControlSecurityService)(int action, DWORD argumentCount, const char** arguments);
    void (*RemoveUtilityShortcuts)();
    void (*SetInstallSource)(int mode);
    int (*SetUserSourceList)();
    void (*SetupProtocolDriver)();
    void (*StopUtility)();
    void (*DeleteUtilityDataFiles)();
    LONG (*ClearDynamicSettings)();
    // Shows a job dialog modally and returns its result.
    INT_PTR (*ShowDialog)(CDialog& dialog);
};

// The real operations.
const JobSteps& DefaultJobSteps();
