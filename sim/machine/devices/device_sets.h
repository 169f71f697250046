// Device information sets, as SetupAPI holds them: a snapshot of the
// devices a query matched, each element holding its device's Enum key from
// when the set was made and its class GUID, read and parsed once then, as
// Windows keeps it (no call of a set needs the driver key: the driver a
// property names is the Enum key's "Driver" text). Property reads,
// class-install parameters, state changes and the class installer act on
// an element.
//
// The sets are owned here, by handle value, until they are destroyed. An
// element keeps its Enum key by reference: reading a property does not look
// a path up again. A device taken out meanwhile (by DIF_REMOVE, by a
// scenario) stays in the set, so that a walk by index goes on; its reads
// fail with ERROR_NO_SUCH_DEVINST. A key deleted and created again (a
// registry restore, a scenario rewriting a device) is found again by the
// element's instance ID, as Windows finds a devnode by its ID.
//
// Everything here answers in values and Windows error codes; the SetupAPI
// entry points (sim/dlls/setupapi) check their arguments, turn handles and
// SP_DEVINFO_DATA into sets and elements, and copy results out.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/registry.h"

namespace sim {

class DeviceTree;
class Machine;

// What SetupDiGetClassDevsA asks for.
struct DeviceQuery {
    std::optional<GUID> classGuid;    // none: every class (DIGCF_ALLCLASSES)
    std::string enumerator;           // "" for any; with a backslash, one instance ID
    bool presentOnly = false;         // DIGCF_PRESENT
    bool currentProfileOnly = false;  // DIGCF_PROFILE
    bool interfaces = false;          // DIGCF_DEVICEINTERFACE: not modelled, the set is empty
};

// A property-change request: the body of SP_PROPCHANGE_PARAMS.
struct StateChangeRequest {
    DWORD stateChange = 0;  // DICS_*
    DWORD scope = 0;        // DICS_FLAG_*
    DWORD hwProfile = 0;    // 0 = the current profile
};

// A registry property of a device, or the error that answers for it.
struct PropertyValue {
    DWORD error = 0;
    DWORD type = 0;  // REG_*
    // The bytes SetupAPI hands out: the registry value's own bytes (valid
    // until the registry changes), or bytes made for the caller.
    std::string_view stored;
    std::optional<std::string> converted;
    std::string_view Data() const { return converted ? std::string_view(*converted) : stored; }
};

class DeviceInfoSet {
public:
    struct Element {
        // The instance ID, kept by the device tree for as long as it lives.
        const std::string* idText = nullptr;
        const std::string& id() const { return *idText; }
        DWORD devInst = 0;
        GUID classGuid = {};   // read and parsed when the set was made
        KeyRef enumKey;        // held from when the set was made
        bool removed = false;  // taken out through this set
        std::optional<StateChangeRequest> stateChange;
    };

    size_t Size() const { return elements_.size(); }
    Element& At(size_t index) { return elements_[index]; }
    // The value an SP_DEVINFO_DATA's Reserved field carries for an element.
    std::uintptr_t CookieOf(size_t index) const { return firstCookie_ + index; }
    // The element of a cookie; null for another set's or none.
    Element* ByCookie(std::uintptr_t cookie);

    // Class-install parameters given for the set as a whole.
    std::optional<StateChangeRequest> stateChange;

private:
    friend class DeviceSets;
    std::vector<Element> elements_;
    std::uintptr_t firstCookie_ = 0;
};

class DeviceSets {
public:
    DeviceSets(Machine& machine, DeviceTree& tree);
    DeviceSets(const DeviceSets&) = delete;
    DeviceSets& operator=(const DeviceSets&) = delete;

    struct Made {
        std::uintptr_t handle = 0;
        DWORD error = 0;
    };
    Made Create(const DeviceQuery& query);
    DeviceInfoSet* Find(std::uintptr_t handle);
    bool Destroy(std::uintptr_t handle);
    size_t OpenCount() const { return sets_.size(); }

    // Whether SetupAPI knows the SPDRP_* code at all.
    static bool KnownProperty(DWORD property);
    PropertyValue ReadProperty(DeviceInfoSet::Element& element, DWORD property);
    // SetupDiChangeState with the element's class-install parameters.
    DWORD ChangeState(DeviceInfoSet::Element& element);
    // The class installer's DIF_REMOVE.
    DWORD Remove(DeviceInfoSet::Element& element);

    // The element's Enum key now; empty when the device is gone.
    const KeyRef& LiveEnumKey(DeviceInfoSet::Element& element) const;

private:
    // The class GUID of a device's Enum key; the null GUID for none.
    GUID ClassOf(const KeyRef& enumKey) const;

    Machine& machine_;
    DeviceTree& tree_;
    std::map<std::uintptr_t, std::unique_ptr<DeviceInfoSet>> sets_;
    std::uintptr_t nextCookie_ = 1;
};

}  // namespace sim
