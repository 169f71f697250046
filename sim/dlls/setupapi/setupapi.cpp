// SetupAPI's device information sets over the emulated device model: making
// and destroying sets, enumerating them, reading registry properties,
// class-install parameters, state changes and the class installer.
//
// Each entry point turns its HDEVINFO (and SP_DEVINFO_DATA) into the
// model's set (and element) or fails with ERROR_INVALID_HANDLE /
// ERROR_INVALID_PARAMETER / ERROR_INVALID_USER_BUFFER as SetupAPI does,
// checks its other arguments, asks for a failure on demand, lets the model
// act and copies the result out with Windows' size rules. Every failure is
// written to the transcript's "failure" channel.
#include <cstring>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_sets.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/machine.h"

using sim::Current;
using sim::DeviceInfoSet;
using sim::DeviceSets;
namespace dll = sim::dll;

namespace {

constexpr const char* kGetClassDevs = "SetupDiGetClassDevsA";
constexpr const char* kEnumDeviceInfo = "SetupDiEnumDeviceInfo";
constexpr const char* kGetProperty = "SetupDiGetDeviceRegistryPropertyA";
constexpr const char* kSetParams = "SetupDiSetClassInstallParamsA";
constexpr const char* kChangeState = "SetupDiChangeState";
constexpr const char* kCallClassInstaller = "SetupDiCallClassInstaller";
constexpr const char* kDestroyList = "SetupDiDestroyDeviceInfoList";
// The class installer's removal, as failures on demand name it.
constexpr const char* kRemoveCall = "DIF_REMOVE";

DeviceSets& Sets() { return Current().devices().sets(); }

DeviceInfoSet* SetOf(HDEVINFO handle) { return Sets().Find(reinterpret_cast<std::uintptr_t>(handle)); }

// The name failures (and failures on demand) give a property; null for the
// codes the tool never reads.
const char* PropertyName(DWORD property) {
    switch (property) {
        case SPDRP_DEVICEDESC:
            return "SPDRP_DEVICEDESC";
        case SPDRP_HARDWAREID:
            return "SPDRP_HARDWAREID";
        case SPDRP_COMPATIBLEIDS:
            return "SPDRP_COMPATIBLEIDS";
        case SPDRP_SERVICE:
            return "SPDRP_SERVICE";
        case SPDRP_CLASS:
            return "SPDRP_CLASS";
        case SPDRP_CLASSGUID:
            return "SPDRP_CLASSGUID";
        case SPDRP_DRIVER:
            return "SPDRP_DRIVER";
        case SPDRP_CONFIGFLAGS:
            return "SPDRP_CONFIGFLAGS";
        case SPDRP_MFG:
            return "SPDRP_MFG";
        case SPDRP_FRIENDLYNAME:
            return "SPDRP_FRIENDLYNAME";
        case SPDRP_ENUMERATOR_NAME:
            return "SPDRP_ENUMERATOR_NAME";
        default:
            return nullptr;
    }
}

// "<instance ID> <property>", the object of a failed property read. The
// text is built in one buffer kept from call to call: a walk fails a size
// query on every device it meets.
const std::string& PropertyObject(const std::string& id, DWORD property) {
    static std::string object;
    const char* name = PropertyName(property);
    object.clear();
    if (!id.empty()) {
        object += id;
        object += ' ';
    }
    if (name) {
        object += name;
    } else {
        object += "property " + std::to_string(property);
    }
    return object;
}

BOOL Failed(const char* call, const std::string& object, DWORD error) {
    dll::Fail(call, object, error);
    return FALSE;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    const std::string object = enumerator ? enumerator : "";
    if (!(flags & DIGCF_ALLCLASSES) && !classGuid) {
        dll::Fail(kGetClassDevs, object, ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    sim::DeviceQuery query;
    if (!(flags & DIGCF_ALLCLASSES)) query.classGuid = *classGuid;
    query.enumerator = object;
    query.presentOnly = (flags & DIGCF_PRESENT) != 0;
    query.currentProfileOnly = (flags & DIGCF_PROFILE) != 0;
    query.interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    const DeviceSets::Made made = Sets().Create(query);
    if (made.error) {
        dll::Fail(kGetClassDevs, object, made.error);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HDEVINFO>(made.handle);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA device) {
    const auto fail = [index](DWORD error) { return Failed(kEnumDeviceInfo, "index " + std::to_string(index), error); };
    DeviceInfoSet* set = SetOf(handle);
    if (!set) return fail(ERROR_INVALID_HANDLE);
    if (!device) return fail(ERROR_INVALID_PARAMETER);
    if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
    if (index >= set->Size()) return fail(ERROR_NO_MORE_ITEMS);
    const DeviceInfoSet::Element& element = set->At(index);
    device->ClassGuid = element.classGuid;
    device->DevInst = element.devInst;
    device->Reserved = set->CookieOf(index);
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO handle, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                                       PBYTE buffer, DWORD size, PDWORD required) {
    DeviceInfoSet* set = SetOf(handle);
    if (!set) return Failed(kGetProperty, PropertyObject("", property), ERROR_INVALID_HANDLE);
    DeviceInfoSet::Element* element =
        device && device->cbSize == sizeof(SP_DEVINFO_DATA) ? set->ByCookie(device->Reserved) : nullptr;
    if (!element) return Failed(kGetProperty, PropertyObject("", property), ERROR_INVALID_PARAMETER);
    const auto fail = [&](DWORD error) { return Failed(kGetProperty, PropertyObject(element->id(), property), error); };
    if (!buffer && size != 0) return fail(ERROR_INVALID_DATA);
    if (!DeviceSets::KnownProperty(property)) return fail(ERROR_INVALID_REG_PROPERTY);
    // Failures on demand name the property ("SPDRP_HARDWAREID") and the
    // device's instance ID.
    if (const char* name = PropertyName(property)) {
        if (const DWORD error = dll::Injected(name, element->id())) {
            Current().lastError = error;
            return FALSE;
        }
    }
    const sim::PropertyValue value = Sets().ReadProperty(*element, property);
    if (value.error) return fail(value.error);
    if (type) *type = value.type;
    // SetupAPI's rule: the size is always reported; without a buffer the
    // call asks only for it and fails as a buffer too small does.
    if (dll::CopyDataOut(value.Data(), buffer, size, required) != dll::CopyOut::Copied) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return TRUE;
}

BOOL SetupDiSetClassInstallParamsA(HDEVINFO handle, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER params,
                                   DWORD size) {
    DeviceInfoSet* set = SetOf(handle);
    if (!set) return Failed(kSetParams, "", ERROR_INVALID_HANDLE);
    DeviceInfoSet::Element* element = nullptr;
    if (device) {
        if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Failed(kSetParams, "", ERROR_INVALID_USER_BUFFER);
        element = set->ByCookie(device->Reserved);
        if (!element) return Failed(kSetParams, "", ERROR_INVALID_PARAMETER);
    }
    const std::string object = element ? element->id() : "";
    if (params && params->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        return Failed(kSetParams, object, ERROR_INVALID_USER_BUFFER);
    }
    if ((params && size < sizeof(SP_CLASSINSTALL_HEADER)) || (!params && size != 0)) {
        return Failed(kSetParams, object, ERROR_INVALID_PARAMETER);
    }
    std::optional<sim::StateChangeRequest>& slot = element ? element->stateChange : set->stateChange;
    if (!params) {
        slot.reset();
        return TRUE;
    }
    if (params->InstallFunction != DIF_PROPERTYCHANGE) return TRUE;
    if (size != sizeof(SP_PROPCHANGE_PARAMS)) return Failed(kSetParams, object, ERROR_INVALID_PARAMETER);
    SP_PROPCHANGE_PARAMS change;
    std::memcpy(&change, params, sizeof change);
    const DWORD state = change.StateChange;
    if (state != DICS_ENABLE && state != DICS_DISABLE && state != DICS_PROPCHANGE && state != DICS_START &&
        state != DICS_STOP) {
        return Failed(kSetParams, object, ERROR_INVALID_FLAGS);
    }
    if (change.Scope != DICS_FLAG_GLOBAL && change.Scope != DICS_FLAG_CONFIGSPECIFIC) {
        return Failed(kSetParams, object, ERROR_INVALID_FLAGS);
    }
    if ((state == DICS_START || state == DICS_STOP) && change.Scope != DICS_FLAG_CONFIGSPECIFIC) {
        return Failed(kSetParams, object, ERROR_INVALID_USER_BUFFER);
    }
    slot = sim::StateChangeRequest{change.StateChange, change.Scope, change.HwProfile};
    return TRUE;
}

BOOL SetupDiChangeState(HDEVINFO handle, PSP_DEVINFO_DATA device) {
    DeviceInfoSet* set = SetOf(handle);
    if (!set) return Failed(kChangeState, "", ERROR_INVALID_HANDLE);
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Failed(kChangeState, "", ERROR_INVALID_USER_BUFFER);
    }
    DeviceInfoSet::Element* element = set->ByCookie(device->Reserved);
    if (!element) return Failed(kChangeState, "", ERROR_INVALID_PARAMETER);
    // A state change without parameters has nothing to do.
    if (!element->stateChange) return Failed(kChangeState, element->id(), ERROR_INVALID_PARAMETER);
    if (const DWORD error = Sets().ChangeState(*element)) return Failed(kChangeState, element->id(), error);
    return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO handle, PSP_DEVINFO_DATA device) {
    if (!SetOf(handle)) return Failed(kCallClassInstaller, "", ERROR_INVALID_HANDLE);
    if (function == DIF_PROPERTYCHANGE) return SetupDiChangeState(handle, device);
    if (function != DIF_REMOVE) {
        return Failed(kCallClassInstaller, "function " + std::to_string(function), ERROR_CALL_NOT_IMPLEMENTED);
    }
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Failed(kCallClassInstaller, kRemoveCall, ERROR_INVALID_PARAMETER);
    }
    DeviceInfoSet::Element* element = SetOf(handle)->ByCookie(device->Reserved);
    if (!element) return Failed(kCallClassInstaller, kRemoveCall, ERROR_INVALID_PARAMETER);
    // A removal refused on demand changes nothing.
    if (const DWORD error = dll::Injected(kRemoveCall, element->id())) {
        Current().lastError = error;
        return FALSE;
    }
    if (const DWORD error = Sets().Remove(*element)) {
        return Failed(kCallClassInstaller, std::string(kRemoveCall) + " " + element->id(), error);
    }
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    if (!Sets().Destroy(reinterpret_cast<std::uintptr_t>(handle))) {
        return Failed(kDestroyList, "", ERROR_INVALID_HANDLE);
    }
    return TRUE;
}
