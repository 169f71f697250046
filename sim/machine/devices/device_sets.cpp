// Device information sets: making them, reading properties, state changes
// and the class installer's removal. The sets are owned here until they are
// destroyed; a call that fails answers with a Windows error code and leaves
// the set and the machine as they were.
#include "sim/machine/devices/device_sets.h"

#include <cstring>
#include <unordered_map>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/machine.h"

namespace sim {

namespace {

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The registry value behind each registry-backed device property.
const char* PropertyValueName(DWORD property) {
    switch (property) {
        case SPDRP_DEVICEDESC:
            return "DeviceDesc";
        case SPDRP_HARDWAREID:
            return "HardwareID";
        case SPDRP_COMPATIBLEIDS:
            return "CompatibleIDs";
        case SPDRP_SERVICE:
            return "Service";
        case SPDRP_CLASS:
            return "Class";
        case SPDRP_CLASSGUID:
            return "ClassGUID";
        case SPDRP_DRIVER:
            return "Driver";
        case SPDRP_CONFIGFLAGS:
            return "ConfigFlags";
        case SPDRP_MFG:
            return "Mfg";
        case SPDRP_FRIENDLYNAME:
            return "FriendlyName";
        case SPDRP_LOCATION_INFORMATION:
            return "LocationInformation";
        case SPDRP_CAPABILITIES:
            return "Capabilities";
        case SPDRP_UI_NUMBER:
            return "UINumber";
        case SPDRP_UPPERFILTERS:
            return "UpperFilters";
        case SPDRP_LOWERFILTERS:
            return "LowerFilters";
        default:
            return nullptr;
    }
}

// The property codes SetupAPI leaves unassigned below its maximum.
constexpr DWORD kUnusedProperties[] = {0x03, 0x05, 0x06};

std::string_view StringValue(const RegValue* value) {
    if (!value) return {};
    std::string_view text(value->data);
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return text;
}

}  // namespace

DeviceInfoSet::Element* DeviceInfoSet::ByCookie(std::uintptr_t cookie) {
    if (cookie < firstCookie_ || cookie - firstCookie_ >= elements_.size()) return nullptr;
    return &elements_[cookie - firstCookie_];
}

DeviceSets::DeviceSets(Machine& machine, DeviceTree& tree) : machine_(machine), tree_(tree) {}

DeviceSets::Made DeviceSets::Create(const DeviceQuery& query) {
    Made made;
    const std::string& filter = query.enumerator;
    bool instanceFilter = false;
    if (!filter.empty() && !query.interfaces) {
        instanceFilter = filter.find('\\') != std::string::npos;
        if (!instanceFilter && !tree_.EnumKey(filter)) {
            made.error = ERROR_INVALID_DATA;
            return made;
        }
    }

    const bool nt = tree_.Nt();
    auto set = std::make_unique<DeviceInfoSet>();
    if (query.presentOnly && nt) set->elements_.reserve(tree_.PresentCount());
    const std::string profileRoot = query.currentProfileOnly ? tree_.ProfileEnumRoot(0) + "\\" : std::string();
    const auto consider = [&](const std::string& id, DWORD devInst, const KeyRef& enumKey) {
        if (!filter.empty()) {
            if (instanceFilter ? !EqualNoCase(id, filter) : !StartsWithNoCase(id, filter + "\\")) return;
        }
        DeviceInfoSet::Element element;
        element.idText = &id;
        element.devInst = devInst;
        element.enumKey = enumKey;
        // The class is read and parsed once, now, as Windows reads it when
        // it makes the set.
        element.classGuid = ClassOf(enumKey);
        if (query.classGuid && !SameGuid(element.classGuid, *query.classGuid)) return;
        if (query.currentProfileOnly) {
            const DWORD cs = machine_.registry().GetDword(profileRoot + id, "CSConfigFlags").value_or(0);
            if (cs & CSCONFIGFLAG_DO_NOT_CREATE) return;
        }
        set->elements_.push_back(std::move(element));
    };

    if (query.interfaces) {
        // Device interfaces are not part of the model: the set is empty.
    } else if (query.presentOnly) {
        tree_.VisitPresent(consider);
    } else {
        // 9x devnodes are the Config Manager nodes' names: read them once.
        std::unordered_map<std::string, DWORD> cmDevnodes;
        if (!nt) {
            tree_.VisitPresent(
                [&](const std::string& id, DWORD devInst, const KeyRef&) { cmDevnodes.emplace(Upper(id), devInst); });
        }
        for (const std::string& known : tree_.KnownDevices()) {
            const std::string& id = tree_.Intern(known);
            DWORD devInst = 0;
            if (nt) {
                devInst = tree_.DevInstOf(id);
            } else if (auto it = cmDevnodes.find(Upper(id)); it != cmDevnodes.end()) {
                devInst = it->second;
            }
            consider(id, devInst, tree_.EnumKey(id));
        }
    }

    set->firstCookie_ = nextCookie_;
    nextCookie_ += set->elements_.size();
    made.handle = machine_.NewHandleValue();
    sets_[made.handle] = std::move(set);
    return made;
}

DeviceInfoSet* DeviceSets::Find(std::uintptr_t handle) {
    auto it = sets_.find(handle);
    return it == sets_.end() ? nullptr : it->second.get();
}

bool DeviceSets::Destroy(std::uintptr_t handle) { return sets_.erase(handle) != 0; }

const KeyRef& DeviceSets::LiveEnumKey(DeviceInfoSet::Element& element) const {
    static const KeyRef none;
    if (element.removed) return none;
    if (!element.enumKey.Exists()) element.enumKey = tree_.EnumKey(element.id());
    return element.enumKey;
}

GUID DeviceSets::ClassOf(const KeyRef& enumKey) const {
    if (tree_.Nt()) return devices::ParseGuid(StringValue(enumKey.Value("ClassGUID")));
    // The 9x family keeps no class GUIDs; SetupAPI knows the network class.
    if (EqualNoCase(StringValue(enumKey.Value("Class")), "Net")) return devices::ParseGuid(kNetClassGuid);
    return GUID{};
}

bool DeviceSets::KnownProperty(DWORD property) {
    if (property >= SPDRP_MAXIMUM_PROPERTY) return false;
    for (DWORD unused : kUnusedProperties) {
        if (property == unused) return false;
    }
    return true;
}

PropertyValue DeviceSets::ReadProperty(DeviceInfoSet::Element& element, DWORD property) {
    PropertyValue out;
    const KeyRef& enumKey = LiveEnumKey(element);
    if (!enumKey) {
        out.error = ERROR_NO_SUCH_DEVINST;
        return out;
    }
    if (property == SPDRP_ENUMERATOR_NAME) {
        out.type = REG_SZ;
        out.converted = element.id().substr(0, element.id().find('\\'));
        *out.converted += '\0';
        return out;
    }
    const char* name = PropertyValueName(property);
    const RegValue* value = name ? enumKey.Value(name) : nullptr;
    if (!value) {
        out.error = ERROR_INVALID_DATA;
        return out;
    }
    out.type = value->type;
    // The 9x family keeps ID lists as comma-separated text; SetupAPI hands
    // them out as multi-strings. A multi-string that holds only the
    // terminator of its empty list is handed out as it is, one NUL, as
    // Windows XP does: the read succeeds and the list is empty.
    if (!tree_.Nt() && (property == SPDRP_HARDWAREID || property == SPDRP_COMPATIBLEIDS) &&
        value->type != REG_MULTI_SZ) {
        out.converted = devices::MultiSz(devices::SplitComma(std::string(StringValue(value))));
        out.type = REG_MULTI_SZ;
    } else {
        out.stored = value->data;
    }
    return out;
}

DWORD DeviceSets::ChangeState(DeviceInfoSet::Element& element) {
    if (!LiveEnumKey(element)) return ERROR_NO_SUCH_DEVINST;
    const StateChangeRequest change = *element.stateChange;
    const std::string& id = element.id();
    Registry& registry = machine_.registry();
    const bool nt = tree_.Nt();
    const bool global = change.scope == DICS_FLAG_GLOBAL;
    const std::string flagsPath =
        global ? tree_.EnumRoot() + "\\" + id : tree_.ProfileEnumRoot(change.hwProfile) + "\\" + id;
    const char* flagsName = global ? "ConfigFlags" : "CSConfigFlags";
    const DWORD before = registry.GetDword(flagsPath, flagsName).value_or(0);
    DWORD after = before;
    std::string what;
    switch (change.stateChange) {
        case DICS_DISABLE:
            after |= global ? CONFIGFLAG_DISABLED : CSCONFIGFLAG_DISABLED;
            what = "disable";
            break;
        case DICS_ENABLE:
            after &= ~static_cast<DWORD>(global ? CONFIGFLAG_DISABLED : CSCONFIGFLAG_DISABLED);
            what = "enable";
            break;
        case DICS_STOP:
            after |= CSCONFIGFLAG_DO_NOT_START;
            what = "stop";
            break;
        case DICS_START:
            after &= ~static_cast<DWORD>(CSCONFIGFLAG_DO_NOT_START);
            what = "start";
            break;
        default:
            what = "restart";
            break;
    }
    if (change.stateChange != DICS_PROPCHANGE) {
        // NT keeps the flags as REG_DWORD, the 9x family as 4 binary bytes.
        if (nt) {
            registry.SetDword(flagsPath, flagsName, after);
        } else {
            registry.SetValue(flagsPath, flagsName, REG_BINARY, Le32(after));
        }
    }
    const std::string scope = global ? "global" : "config-specific, profile " + std::to_string(change.hwProfile);
    machine_.Record("device",
                    what + " " + id + " (" + scope + ")" + (tree_.IsStarted(id) ? ", started" : ", not started"));
    if (nt && tree_.IsPresent(id)) tree_.Broadcast(DBT_DEVNODES_CHANGED, id, 0);
    return ERROR_SUCCESS;
}

DWORD DeviceSets::Remove(DeviceInfoSet::Element& element) {
    if (!LiveEnumKey(element)) return ERROR_NO_SUCH_DEVINST;
    // The element stays in the set, so that a walk by index goes on with
    // the next device; the devnode behind it is gone.
    tree_.RemoveDevice(element.id());
    element.removed = true;
    return ERROR_SUCCESS;
}

}  // namespace sim
