// The device tree: paths, keys, the present set and devnode numbers. The
// tree owns the present list and the devnodes it handed out; the keys are
// the registry's. Reads never fail: what is missing reads as absent.
#include "sim/machine/devices/device_tree.h"

#include <algorithm>
#include <cstdio>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"

namespace sim {

const char* const kNetClassGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

// ---- text helpers -------------------------------------------------------------

namespace devices {

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && EqualNoCase(std::string_view(text).substr(text.size() - end.size()), end);
}

std::vector<std::string> SplitComma(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = Trim(std::string_view(text).substr(start, end - start));
        if (!item.empty()) out.push_back(std::move(item));
        start = end + 1;
    }
    return out;
}

std::string JoinComma(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ',';
        out += item;
    }
    return out;
}

std::vector<std::string> SplitMultiSz(std::string_view data) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string_view::npos) end = data.size();
        if (end == start) break;
        out.emplace_back(data.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string MultiSz(const std::vector<std::string>& items) {
    std::string data;
    for (const std::string& item : items) {
        data += item;
        data += '\0';
    }
    data += '\0';
    return data;
}

namespace {

// The value of each hex digit, -1 for any other byte.
struct HexTable {
    signed char value[256];
    constexpr HexTable() : value() {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        for (int i = 0; i < 10; ++i) value['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            value['a' + i] = static_cast<signed char>(10 + i);
            value['A' + i] = static_cast<signed char>(10 + i);
        }
    }
};
constexpr HexTable kHex;

// `count` hex digits at `at`; false when one is not a digit.
bool ReadHex(const char* text, size_t count, unsigned long& value) {
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const int digit = kHex.value[static_cast<unsigned char>(text[i])];
        if (digit < 0) return false;
        value = (value << 4) | static_cast<unsigned long>(digit);
    }
    return true;
}

}  // namespace

GUID ParseGuid(std::string_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    constexpr size_t kGuidTextLength = 38;
    constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    GUID guid = {};
    if (text.size() != kGuidTextLength || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-') {
        return guid;
    }
    const char* p = text.data();
    unsigned long data1 = 0;
    unsigned long data2 = 0;
    unsigned long data3 = 0;
    if (!ReadHex(p + 1, 8, data1) || !ReadHex(p + 10, 4, data2) || !ReadHex(p + 15, 4, data3)) return guid;
    GUID out = {};
    out.Data1 = static_cast<DWORD>(data1);
    out.Data2 = static_cast<WORD>(data2);
    out.Data3 = static_cast<WORD>(data3);
    for (size_t i = 0; i < 8; ++i) {
        unsigned long byte = 0;
        if (!ReadHex(p + kByteAt[i], 2, byte)) return guid;
        out.Data4[i] = static_cast<BYTE>(byte);
    }
    return out;
}

}  // namespace devices

// ---- paths and keys ---------------------------------------------------------

DeviceTree::DeviceTree(Machine& machine)
    : machine_(machine),
      nt_(machine.IsNt()),
      enumRoot_(nt_ ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum" : "HKEY_LOCAL_MACHINE\\Enum"),
      classRoot_(nt_ ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class"
                     : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class") {}

std::string DeviceTree::ProfileEnumRoot(DWORD profile) const {
    char number[16];
    if (!nt_) {
        std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(profile == 0 ? 1 : profile));
        return std::string("HKEY_LOCAL_MACHINE\\Config\\") + number + "\\Enum";
    }
    std::string name = "Current";
    if (profile != 0) {
        std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(profile));
        name = number;
    }
    return "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\" + name +
           "\\System\\CurrentControlSet\\Enum";
}

const std::string& DeviceTree::CmEnumRoot() {
    static const std::string root = "HKEY_DYN_DATA\\Config Manager\\Enum";
    return root;
}

KeyRef DeviceTree::EnumRootKey() const {
    if (!enumRootKey_.Exists()) enumRootKey_ = machine_.registry().Find(enumRoot_);
    return enumRootKey_;
}

KeyRef DeviceTree::EnumKey(std::string_view instanceId) const {
    if (instanceId.empty()) return KeyRef();
    KeyRef key = EnumRootKey();
    size_t start = 0;
    while (key && start <= instanceId.size()) {
        size_t end = instanceId.find('\\', start);
        if (end == std::string_view::npos) end = instanceId.size();
        if (end == start) return KeyRef();  // an empty name is no key
        key = key.Child(instanceId.substr(start, end - start));
        start = end + 1;
    }
    return key;
}

KeyRef DeviceTree::DriverKeyOf(const KeyRef& enumKey) const {
    const RegValue* driver = enumKey.Value("Driver");
    if (!driver) return KeyRef();
    std::string_view value(driver->data);
    if (!value.empty() && value.back() == '\0') value.remove_suffix(1);
    if (value.empty()) return KeyRef();
    return machine_.registry().Find(classRoot_ + "\\" + std::string(value));
}

std::optional<std::string> DeviceTree::EnumKeyPath(const std::string& instanceId) const {
    if (!EnumKey(instanceId)) return std::nullopt;
    return enumRoot_ + "\\" + instanceId;
}

std::optional<std::string> DeviceTree::DriverValue(const std::string& instanceId) const {
    if (instanceId.empty()) return std::nullopt;
    std::optional<std::string> value = machine_.registry().GetString(enumRoot_ + "\\" + instanceId, "Driver");
    if (!value || value->empty()) return std::nullopt;
    return value;
}

std::optional<std::string> DeviceTree::DriverKeyPath(const std::string& instanceId) const {
    const std::optional<std::string> driver = DriverValue(instanceId);
    if (!driver) return std::nullopt;
    const std::string path = classRoot_ + "\\" + *driver;
    if (!machine_.registry().KeyExists(path)) return std::nullopt;
    return path;
}

bool DeviceTree::HasWorkingDriver(const std::string& instanceId) const { return DriverKeyPath(instanceId).has_value(); }

DeviceIds DeviceTree::IdsOf(const KeyRef& enumKey) const {
    DeviceIds ids;
    for (int which = 0; which < 2; ++which) {
        const RegValue* value = enumKey.Value(which == 0 ? "HardwareID" : "CompatibleIDs");
        if (!value) continue;
        std::vector<std::string>& out = which == 0 ? ids.hardware : ids.compatible;
        if (value->type == REG_MULTI_SZ) {
            out = devices::SplitMultiSz(value->data);
        } else {
            std::string text = value->data;
            if (!text.empty() && text.back() == '\0') text.pop_back();
            out = devices::SplitComma(text);
        }
    }
    return ids;
}

std::optional<DeviceIds> DeviceTree::ReadIds(const std::string& instanceId) const {
    const KeyRef key = EnumKey(instanceId);
    if (!key) return std::nullopt;
    return IdsOf(key);
}

std::vector<std::string> DeviceTree::KnownDevices() const {
    const Registry& registry = machine_.registry();
    std::vector<std::string> known;
    for (const std::string& bus : registry.SubKeys(enumRoot_)) {
        const std::string busPath = enumRoot_ + "\\" + bus;
        for (const std::string& device : registry.SubKeys(busPath)) {
            for (const std::string& instance : registry.SubKeys(busPath + "\\" + device)) {
                known.push_back(bus + "\\" + device + "\\" + instance);
            }
        }
    }
    return known;
}

std::optional<DWORD> DeviceTree::FlagValue(const std::string& path, const char* name) const {
    return machine_.registry().GetDword(path, name);
}

// ---- the present set ---------------------------------------------------------

DeviceTree::Node& DeviceTree::NodeOf(const std::string& instanceId) {
    std::unique_ptr<Node>& slot = nodes_[Upper(instanceId)];
    if (!slot) {
        slot = std::make_unique<Node>();
        slot->id = instanceId;
    }
    return *slot;
}

const DeviceTree::Node* DeviceTree::FindNode(const std::string& instanceId) const {
    auto it = nodes_.find(Upper(instanceId));
    return it == nodes_.end() ? nullptr : it->second.get();
}

const KeyRef& DeviceTree::FreshEnumKey(Node& node) const {
    // A key deleted since (by a restore, a scenario, a removal) is looked
    // for again by its instance ID, as Windows finds a devnode by its ID.
    if (!node.enumKey.Exists()) node.enumKey = EnumKey(node.id);
    return node.enumKey;
}

std::optional<std::string> DeviceTree::CmNodeOf(const std::string& hardwareKey) const {
    const Registry& registry = machine_.registry();
    for (const std::string& node : registry.SubKeys(CmEnumRoot())) {
        std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + node, "HardWareKey");
        if (key && EqualNoCase(*key, hardwareKey)) return node;
    }
    return std::nullopt;
}

std::string DeviceTree::NewCmNodeName() {
    const Registry& registry = machine_.registry();
    for (;;) {
        const std::string name = Hex(nextCmNode_, 8);
        nextCmNode_ += 0x100;
        if (!registry.KeyExists(CmEnumRoot() + "\\" + name)) return name;
    }
}

std::vector<std::string> DeviceTree::PresentDevices() const {
    std::vector<std::string> out;
    if (nt_) {
        out.reserve(present_.size());
        for (const Node* node : present_) out.push_back(node->id);
        return out;
    }
    const Registry& registry = machine_.registry();
    for (const std::string& node : registry.SubKeys(CmEnumRoot())) {
        std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + node, "HardWareKey");
        if (key && !key->empty()) out.push_back(*key);
    }
    return out;
}

void DeviceTree::VisitPresent(const PresentVisitor& visit) {
    if (nt_) {
        for (Node* node : present_) {
            if (node->devInst == 0) {
                node->devInst = nextDevInst_++;
                byDevInst_.emplace(node->devInst, node);
            }
            visit(node->id, node->devInst, FreshEnumKey(*node));
        }
        return;
    }
    const Registry& registry = machine_.registry();
    for (const std::string& name : registry.SubKeys(CmEnumRoot())) {
        std::optional<std::string> key = registry.GetString(CmEnumRoot() + "\\" + name, "HardWareKey");
        if (!key || key->empty()) continue;
        unsigned long long devnode = 0;
        if (!ParseNumber("0x" + name, devnode)) devnode = 0;
        visit(Intern(*key), static_cast<DWORD>(devnode), EnumKey(*key));
    }
}

bool DeviceTree::IsPresent(const std::string& instanceId) const {
    if (nt_) {
        const Node* node = FindNode(instanceId);
        return node && node->present;
    }
    return CmNodeOf(instanceId).has_value();
}

bool DeviceTree::IsDisabled(const std::string& instanceId) const {
    const DWORD global = FlagValue(enumRoot_ + "\\" + instanceId, "ConfigFlags").value_or(0);
    const DWORD profile = FlagValue(ProfileEnumRoot(0) + "\\" + instanceId, "CSConfigFlags").value_or(0);
    return (global & CONFIGFLAG_DISABLED) != 0 || (profile & CSCONFIGFLAG_DISABLED) != 0;
}

bool DeviceTree::IsStarted(const std::string& instanceId) const {
    if (!IsPresent(instanceId) || !HasWorkingDriver(instanceId) || IsDisabled(instanceId)) return false;
    const DWORD profile = FlagValue(ProfileEnumRoot(0) + "\\" + instanceId, "CSConfigFlags").value_or(0);
    return (profile & CSCONFIGFLAG_DO_NOT_START) == 0;
}

void DeviceTree::SetPresent(const std::string& instanceId, bool present) {
    if (nt_) {
        Node& node = NodeOf(instanceId);
        if (present && !node.present) {
            node.present = true;
            present_.push_back(&node);
        } else if (!present && node.present) {
            node.present = false;
            present_.erase(std::remove(present_.begin(), present_.end(), &node), present_.end());
        }
        return;
    }
    const std::optional<std::string> cmNode = CmNodeOf(instanceId);
    Registry& registry = machine_.registry();
    if (present && !cmNode) {
        const std::string path = CmEnumRoot() + "\\" + NewCmNodeName();
        registry.SetString(path, "HardWareKey", instanceId);
        registry.SetValue(path, "Problem", REG_BINARY, Le32(0));
        registry.SetValue(path, "Status", REG_BINARY, Le32(kCmStartedStatus));
    } else if (!present && cmNode) {
        registry.DeleteKeyTree(CmEnumRoot() + "\\" + *cmNode);
    }
}

DWORD DeviceTree::DevInstOf(const std::string& instanceId) {
    if (!nt_) {
        const std::optional<std::string> cmNode = CmNodeOf(instanceId);
        unsigned long long value = 0;
        if (cmNode && ParseNumber("0x" + *cmNode, value)) return static_cast<DWORD>(value);
        return 0;
    }
    Node& node = NodeOf(instanceId);
    if (node.devInst == 0) {
        node.devInst = nextDevInst_++;
        byDevInst_.emplace(node.devInst, &node);
    }
    return node.devInst;
}

std::optional<std::string> DeviceTree::DeviceOfDevInst(DWORD devInst) const {
    if (devInst == 0) return std::nullopt;
    if (nt_) {
        auto it = byDevInst_.find(devInst);
        if (it == byDevInst_.end()) return std::nullopt;
        return it->second->id;
    }
    const std::string path = CmEnumRoot() + "\\" + Hex(devInst, 8);
    std::optional<std::string> key = machine_.registry().GetString(path, "HardWareKey");
    if (!key || key->empty()) return std::nullopt;
    return key;
}

}  // namespace sim
