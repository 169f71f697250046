// Starting, stopping, pausing and continuing a service through the service
// control manager of the local machine.
#pragma once

#include "platform/winapi.h"

// What ControlServiceState asks of a service.
enum ServiceAction : int {
    ServiceStart = 0,     // StartService with the caller's arguments
    ServiceStop = 1,      // ControlService SERVICE_CONTROL_STOP
    ServicePause = 2,     // ControlService SERVICE_CONTROL_PAUSE
    ServiceContinue = 3,  // ControlService SERVICE_CONTROL_CONTINUE
};

// Sends the request of `action` to the service named `serviceName` and
// returns without waiting for the service to reach its new state. Non-zero
// when the request was accepted; 0 when the manager or the service cannot
// be opened, the action code is unknown (nothing is opened then), or the
// request is refused (a service that is not running cannot be stopped; one
// that is running or still stopping cannot be started). The argument count
// and vector are passed to StartService and ignored for the other actions.
int ControlServiceState(const char* serviceName, int action, DWORD argumentCount, const char** arguments);
