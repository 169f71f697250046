// The driver store: the INF folder, the 9x driver index, driver ranking and
// installation, and Windows' new-hardware handling. An INF that cannot be
// read is passed over, as SetupAPI passes over a damaged INF; a device no
// INF serves keeps no driver.
#include "sim/machine/devices/driver_store.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

namespace sim {

using devices::EndsWithNoCase;
using devices::FileNameOf;
using devices::JoinFolder;

namespace {

constexpr const char* kIndexFile = "drvidx.bin";
constexpr const char* kIndexDataFile = "drvdata.bin";

// How well a model's IDs fit a device's IDs, as SetupAPI ranks drivers:
// lower is better; INT_MAX when they do not fit at all. A hardware ID of
// the model matching beats a compatible one; the device's own hardware
// IDs beat its compatible IDs; earlier IDs beat later ones.
constexpr int kCompatibleDeviceId = 0x1000;
constexpr int kCompatibleModelId = 0x2000;
constexpr size_t kMaxIdPosition = 0xFFF;

int Rank(const DeviceIds& device, const std::vector<std::string>& modelIds, std::string* matched) {
    int best = INT_MAX;
    for (size_t j = 0; j < modelIds.size(); ++j) {
        for (int list = 0; list < 2; ++list) {
            const std::vector<std::string>& ids = list == 0 ? device.hardware : device.compatible;
            for (size_t k = 0; k < ids.size(); ++k) {
                if (!EqualNoCase(ids[k], modelIds[j])) continue;
                const int rank = (list == 1 ? kCompatibleDeviceId : 0) + (j > 0 ? kCompatibleModelId : 0) +
                                 static_cast<int>(std::min(k, kMaxIdPosition));
                if (rank < best) {
                    best = rank;
                    if (matched) *matched = modelIds[j];
                }
            }
        }
    }
    return best;
}

}  // namespace

DriverStore::DriverStore(Machine& machine, DeviceTree& tree) : machine_(machine), tree_(tree) {}

std::string DriverStore::InfFolder() const { return JoinFolder(machine_.WindowsDir(), "inf"); }

InfPlatform DriverStore::Platform() const {
    InfPlatform platform;
    const VersionRow& row = machine_.VersionDetails();
    platform.nt = tree_.Nt();
    platform.major = row.major;
    platform.minor = row.minor;
    platform.modelDecorations =
        machine_.Version() == WindowsVersion::WinXP || machine_.Version() == WindowsVersion::Server2003;
    return platform;
}

// ---- restarts -------------------------------------------------------------------

void DriverStore::RequireRestartForInf(const std::string& infFileName) { restartInfs_.insert(Upper(infFileName)); }

void DriverStore::RequireRestartForDevice(const std::string& instanceId) { restartDevices_.insert(Upper(instanceId)); }

bool DriverStore::RestartNeeded(const std::string& instanceId, const std::string& infName,
                                const std::string& sourceName) const {
    return restartDevices_.count(Upper(instanceId)) || restartInfs_.count(Upper(FileNameOf(infName))) ||
           restartInfs_.count(Upper(FileNameOf(sourceName)));
}

// ---- the INF folder and the 9x index ---------------------------------------------

std::vector<std::string> DriverStore::InfFolderInfs(bool respectIndex) const {
    const FileSystem& files = machine_.files();
    std::vector<std::string> folders = {InfFolder()};
    if (!tree_.Nt()) folders.push_back(JoinFolder(InfFolder(), "OTHER"));
    std::vector<std::string> out;
    std::vector<std::string> relative;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!files.IsFolder(folders[i])) continue;
        for (const std::string& name : files.List(folders[i])) {
            const std::string path = JoinFolder(folders[i], name);
            if (!EndsWithNoCase(name, ".inf") || files.IsFolder(path)) continue;
            out.push_back(path);
            relative.push_back(i == 0 ? name : JoinFolder("OTHER", name));
        }
    }
    if (!respectIndex || !DriverIndexComplete()) return out;
    // The index in effect: only the INFs it lists are seen.
    std::set<std::string> listed;
    std::istringstream lines(files.ReadFile(JoinFolder(InfFolder(), kIndexFile)).value_or(""));
    std::string line;
    while (std::getline(lines, line)) {
        const std::string name = Trim(line);
        if (EndsWithNoCase(name, ".inf")) listed.insert(Upper(name));
    }
    std::vector<std::string> visible;
    for (size_t i = 0; i < out.size(); ++i) {
        if (listed.count(Upper(relative[i]))) visible.push_back(out[i]);
    }
    return visible;
}

bool DriverStore::DriverIndexComplete() const {
    const FileSystem& files = machine_.files();
    return files.Exists(JoinFolder(InfFolder(), kIndexFile)) && files.Exists(JoinFolder(InfFolder(), kIndexDataFile));
}

void DriverStore::BuildDriverIndex() {
    std::string index = "DRVIDX\r\n";
    size_t count = 0;
    const std::string infFolder = InfFolder();
    for (const std::string& path : InfFolderInfs(false)) {
        std::string relative = path.substr(infFolder.size());
        if (!relative.empty() && relative.front() == '\\') relative.erase(0, 1);
        index += relative + "\r\n";
        ++count;
    }
    machine_.files().WriteFile(JoinFolder(infFolder, kIndexFile), index);
    machine_.files().WriteFile(JoinFolder(infFolder, kIndexDataFile),
                               "DRVDATA " + std::to_string(count) + " INF files\r\n");
    machine_.Record("device", "driver index built (" + std::to_string(count) + " INF files)");
}

// ---- ranking -------------------------------------------------------------------

std::vector<DriverStore::LoadedInf> DriverStore::LoadInfs(const std::vector<std::string>& paths) const {
    std::vector<LoadedInf> out;
    for (const std::string& path : paths) {
        std::optional<std::string> text = machine_.files().ReadFile(path);
        if (!text) continue;
        out.push_back({path, std::make_shared<const InfFile>(InfFile::Parse(*text))});
    }
    return out;
}

std::optional<DriverStore::DriverChoice> DriverStore::BestDriverAmong(const DeviceIds& ids,
                                                                      const std::vector<LoadedInf>& infs) const {
    const InfPlatform platform = Platform();
    std::optional<DriverChoice> best;
    for (const LoadedInf& loaded : infs) {
        for (const InfModel& model : loaded.inf->Models(platform)) {
            std::vector<std::string> modelIds = {model.hardwareId};
            modelIds.insert(modelIds.end(), model.compatibleIds.begin(), model.compatibleIds.end());
            std::string matched;
            const int rank = Rank(ids, modelIds, &matched);
            if (rank == INT_MAX) continue;
            const long day = loaded.inf->DriverDay();
            if (best && (rank > best->rank || (rank == best->rank && day <= best->day))) continue;
            DriverChoice choice;
            choice.infPath = loaded.path;
            choice.inf = loaded.inf;
            choice.model = model;
            choice.matchedId = matched;
            choice.rank = rank;
            choice.day = day;
            best = std::move(choice);
        }
    }
    return best;
}

int DriverStore::CurrentDriverRank(const std::string& instanceId, long* day) const {
    *day = 0;
    const std::optional<std::string> driverKey = tree_.DriverKeyPath(instanceId);
    const std::optional<DeviceIds> ids = tree_.ReadIds(instanceId);
    if (!driverKey || !ids) return INT_MAX;
    const Registry& registry = machine_.registry();
    const std::string matching = registry.GetString(*driverKey, "MatchingDeviceId").value_or("");
    const std::string date = registry.GetString(*driverKey, "DriverDate").value_or("");
    int month = 0;
    int dayOfMonth = 0;
    int year = 0;
    if (std::sscanf(date.c_str(), "%d-%d-%d", &month, &dayOfMonth, &year) == 3) {
        // The stored date counted as an INF's DriverVer would be.
        const InfFile probe = InfFile::Parse("[Version]\nDriverVer=" + std::to_string(month) + "/" +
                                             std::to_string(dayOfMonth) + "/" + std::to_string(year) + "\n");
        *day = probe.DriverDay();
    }
    // A driver of unknown origin ranks just above no driver at all.
    if (matching.empty()) return INT_MAX - 1;
    const int rank = Rank(*ids, {matching}, nullptr);
    return rank == INT_MAX ? INT_MAX - 1 : rank;
}

// ---- installation ---------------------------------------------------------------

bool DriverStore::InstallDriver(const std::string& instanceId, const DriverChoice& choice, const std::string& infName,
                                const std::string& sourceName, const char* why) {
    Registry& registry = machine_.registry();
    const bool nt = tree_.Nt();
    const InfFile& inf = *choice.inf;
    const InfPlatform platform = Platform();
    const std::string enumPath = tree_.EnumRoot() + "\\" + instanceId;

    std::string className = inf.ClassName();
    if (className.empty()) className = registry.GetString(enumPath, "Class").value_or("Net");
    // SetupAPI reads the INF's class GUID into a GUID and writes it back in
    // its own spelling, upper case, whatever case the INF used.
    std::string classGuid = Upper(inf.ClassGuid());
    if (classGuid.empty())
        classGuid =
            EqualNoCase(className, "Net") ? kNetClassGuid : registry.GetString(enumPath, "ClassGUID").value_or("");
    const std::string classPart = nt ? classGuid : className;
    const std::string classKey = tree_.ClassRoot() + "\\" + classPart;

    // An installed driver's key of the same class is kept and written over,
    // as SetupAPI does: values the new INF does not set (the adapter's
    // settings, its interface GUID) stay, and only the decoration of an
    // install section that may no longer apply goes first. A key of another
    // class goes with its driver.
    std::string instance;
    std::string netCfgInstanceId;
    if (const std::optional<std::string> oldKey = tree_.DriverKeyPath(instanceId)) {
        const std::string oldValue = *tree_.DriverValue(instanceId);
        const size_t slash = oldValue.find_last_of('\\');
        if (slash != std::string::npos && EqualNoCase(oldValue.substr(0, slash), classPart)) {
            instance = oldValue.substr(slash + 1);
            netCfgInstanceId = registry.GetString(*oldKey, "NetCfgInstanceId").value_or("");
            registry.DeleteValue(*oldKey, "InfSectionExt");
        } else {
            registry.DeleteKeyTree(*oldKey);
        }
    }
    if (instance.empty()) instance = tree_.NextDriverInstance(classKey);
    const std::string path = classKey + "\\" + instance;
    registry.CreateKey(path);

    std::string section = inf.InstallSectionFor(choice.model.installSection, platform);
    if (section.empty()) section = choice.model.installSection;
    const std::string matching = nt ? Lower(choice.matchedId) : choice.matchedId;

    registry.SetString(path, "InfPath", infName);
    registry.SetString(path, "InfSection", choice.model.installSection);
    if (nt && section.size() > choice.model.installSection.size()) {
        registry.SetString(path, "InfSectionExt", section.substr(choice.model.installSection.size()));
    }
    if (!inf.Provider().empty()) registry.SetString(path, "ProviderName", inf.Provider());
    if (!inf.DriverDate().empty()) registry.SetString(path, "DriverDate", inf.DriverDate());
    if (!inf.DriverVersion().empty()) registry.SetString(path, "DriverVersion", inf.DriverVersion());
    registry.SetString(path, "MatchingDeviceId", matching);
    registry.SetString(path, "DriverDesc", choice.model.description);
    if (nt && EqualNoCase(classGuid, kNetClassGuid)) {
        registry.SetString(path, "ComponentId", matching);
        registry.SetString(path, "NetCfgInstanceId",
                           netCfgInstanceId.empty() ? tree_.MakeGuid(instanceId) : netCfgInstanceId);
        if (std::optional<std::string> characteristics = inf.Value(section, "Characteristics")) {
            unsigned long long value = 0;
            if (ParseNumber(*characteristics, value))
                registry.SetDword(path, "Characteristics", static_cast<DWORD>(value));
        }
        if (std::optional<std::string> busType = inf.Value(section, "BusType")) {
            registry.SetString(path, "BusType", *busType);
        }
    }
    for (const InfFile::RegEntry& entry : inf.DriverKeyValues(section)) {
        const std::string target = entry.subKey.empty() ? path : path + "\\" + entry.subKey;
        registry.SetValue(target, entry.name, entry.type, entry.data);
    }

    registry.SetString(enumPath, "Driver", classPart + "\\" + instance);
    registry.SetString(enumPath, "Class", className);
    if (nt) registry.SetString(enumPath, "ClassGUID", classGuid);
    registry.SetString(enumPath, "Mfg", choice.model.manufacturer);
    registry.SetString(enumPath, "DeviceDesc", choice.model.description);
    if (nt) {
        if (const InfSection* services = inf.Section(section + ".Services")) {
            for (const InfLine& line : services->lines) {
                if (line.hasKey && EqualNoCase(line.key, "AddService") && !line.fields.empty()) {
                    registry.SetString(enumPath, "Service", line.fields[0]);
                }
            }
        }
    }

    machine_.Record("device", std::string("install ") + instanceId + ": " + infName + " [" + section + "] " +
                                  choice.model.description + " (" + why + ")");
    if (tree_.IsStarted(instanceId)) machine_.Record("device", "start " + instanceId);
    return RestartNeeded(instanceId, infName, sourceName);
}

void DriverStore::HandleNewHardware(const std::string& instanceId) {
    if (!tree_.IsPresent(instanceId) || tree_.HasWorkingDriver(instanceId)) return;
    const std::optional<DeviceIds> ids = tree_.ReadIds(instanceId);
    // A node without IDs (a legacy driver's) is nothing an INF can serve.
    if (!ids || (ids->hardware.empty() && ids->compatible.empty())) return;
    const std::optional<DriverChoice> choice = BestDriverAmong(*ids, LoadInfs(InfFolderInfs(!tree_.Nt())));
    if (!choice) return;
    const std::string infName = FileNameOf(choice->infPath);
    InstallDriver(instanceId, *choice, infName, infName, "new hardware");
}

void DriverStore::HandleAllNewHardware() {
    std::vector<std::pair<std::string, DeviceIds>> waiting;
    for (const std::string& id : tree_.PresentDevices()) {
        if (tree_.HasWorkingDriver(id)) continue;
        std::optional<DeviceIds> ids = tree_.ReadIds(id);
        if (!ids || (ids->hardware.empty() && ids->compatible.empty())) continue;
        waiting.emplace_back(id, std::move(*ids));
    }
    if (waiting.empty()) return;
    // Every INF is read once for all the devices that wait.
    const std::vector<LoadedInf> infs = LoadInfs(InfFolderInfs(!tree_.Nt()));
    for (const auto& [id, ids] : waiting) {
        const std::optional<DriverChoice> choice = BestDriverAmong(ids, infs);
        if (!choice) continue;
        const std::string infName = FileNameOf(choice->infPath);
        InstallDriver(id, *choice, infName, infName, "new hardware");
    }
}

}  // namespace sim
