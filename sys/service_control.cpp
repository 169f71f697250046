#include "sys/service_control.h"

#include "sys/handles.h"

int ControlServiceState(const char* serviceName, int action, DWORD argumentCount, const char** arguments) {
    DWORD control = 0;
    switch (action) {
        case ServiceStart:
            break;
        case ServiceStop:
            control = SERVICE_CONTROL_STOP;
            break;
        case ServicePause:
            control = SERVICE_CONTROL_PAUSE;
            break;
        case ServiceContinue:
            control = SERVICE_CONTROL_CONTINUE;
            break;
        default:
            return 0;
    }

    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    UniqueServiceHandle service(::OpenServiceA(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service) return 0;

    if (action == ServiceStart) return ::StartServiceA(service.Get(), argumentCount, arguments) ? 1 : 0;
    // The status the manager hands back is not needed: the request is not
    // waited for.
    SERVICE_STATUS status = {};
    return ::ControlService(service.Get(), control, &status) ? 1 : 0;
}
