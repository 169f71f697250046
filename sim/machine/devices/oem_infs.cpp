// INFs copied into the INF folder as oemN.inf, and "newdev" driver updates
// that install from an INF and copy it there first. Failures come back as
// Windows error codes; what was done before the failing step stays done
// (an INF copied before an installation failed stays in the INF folder).
#include <algorithm>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/devices/driver_store.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

namespace sim {

using devices::EndsWithNoCase;
using devices::FileNameOf;
using devices::FolderOf;
using devices::JoinFolder;

namespace {

// Where Windows 2000 / XP keep the catalogs of installed INFs.
constexpr const char* kCatRootGuid = "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
constexpr size_t kOemPrefixLength = 3;     // "oem"
constexpr size_t kInfExtensionLength = 4;  // ".inf"

}  // namespace

std::optional<std::string> DriverStore::FindIdenticalOemInf(const std::string& content) const {
    const FileSystem& files = machine_.files();
    for (const std::string& name : files.List(InfFolder())) {
        if (!StartsWithNoCase(name, "oem") || !EndsWithNoCase(name, ".inf")) continue;
        const std::string digits = name.substr(kOemPrefixLength, name.size() - kOemPrefixLength - kInfExtensionLength);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string path = JoinFolder(InfFolder(), name);
        std::optional<std::string> existing = files.ReadFile(path);
        if (existing && *existing == content) return path;
    }
    return std::nullopt;
}

std::string DriverStore::NextFreeOemName() const {
    std::set<std::string> taken;
    for (const std::string& name : machine_.files().List(InfFolder())) taken.insert(Upper(name));
    for (unsigned n = 0;; ++n) {
        const std::string name = "oem" + std::to_string(n) + ".inf";
        if (!taken.count(Upper(name))) return name;
    }
}

DriverStore::OemInfCopy DriverStore::StageInf(const std::string& sourcePath, DWORD mediaType,
                                              const std::string& mediaLocation, const std::string& callerName) {
    FileSystem& files = machine_.files();
    OemInfCopy result;
    const std::optional<std::string> content = files.ReadFile(sourcePath);
    if (!content) {
        result.error = ERROR_FILE_NOT_FOUND;
        return result;
    }
    bool reused = false;
    if (std::optional<std::string> existing = FindIdenticalOemInf(*content)) {
        result.destination = *existing;
        reused = true;
    } else {
        if (!files.IsFolder(InfFolder())) files.CreateFolder(InfFolder());
        result.destination = JoinFolder(InfFolder(), NextFreeOemName());
        if (!files.WriteFile(result.destination, *content)) {
            result.error = ERROR_ACCESS_DENIED;
            result.destination.clear();
            return result;
        }
    }
    result.sourcePath = sourcePath;
    const std::string& destination = result.destination;
    // The precompiled companion keeps where the files came from.
    const std::string pnf = destination.substr(0, destination.size() - kInfExtensionLength) + ".PNF";
    files.WriteFile(pnf, "PNF\r\nSource=" + sourcePath + "\r\nMediaType=" + std::to_string(mediaType) +
                             "\r\nMediaLocation=" + mediaLocation + "\r\n");
    // Windows 2000 / XP install the INF's catalog beside it as oemN.CAT;
    // NT 4.0 has no catalog store.
    if (tree_.Nt() && machine_.Version() != WindowsVersion::NT4) {
        const InfFile inf = InfFile::Parse(*content);
        const std::string catalog = inf.CatalogFile();
        const std::string catalogSource = JoinFolder(FolderOf(sourcePath), catalog);
        if (!catalog.empty() && files.Exists(catalogSource)) {
            const std::string name = FileNameOf(destination);
            const std::string target = JoinFolder(JoinFolder(JoinFolder(machine_.SystemDir(), "CatRoot"), kCatRootGuid),
                                                  name.substr(0, name.size() - kInfExtensionLength) + ".CAT");
            files.WriteFile(target, files.ReadFile(catalogSource).value_or(""));
        }
    }

    StagedInf staged;
    staged.time = machine_.clock.Now();
    staged.source = callerName;
    staged.destination = destination;
    staged.mediaType = mediaType;
    staged.mediaLocation = mediaLocation;
    staged.reused = reused;
    staged_.push_back(staged);
    machine_.Record("device", "SetupCopyOEMInf " + callerName + " -> " + FileNameOf(destination) +
                                  (reused ? " (same INF already there)" : "") + ", media type " +
                                  std::to_string(mediaType) +
                                  (mediaLocation.empty() ? std::string() : ", location " + mediaLocation));
    return result;
}

DriverStore::OemInfCopy DriverStore::CopyOemInf(const std::string& source,
                                                const std::optional<std::string>& mediaLocation, DWORD mediaType,
                                                DWORD copyStyle) {
    FileSystem& files = machine_.files();
    OemInfCopy result;

    // A bare file name is looked for in the INF folder, then the system folder.
    std::string sourcePath = source;
    if (sourcePath.find_first_of("\\/") == std::string::npos) {
        sourcePath = JoinFolder(InfFolder(), source);
        if (!files.Exists(sourcePath)) sourcePath = JoinFolder(machine_.SystemDir(), source);
    }
    DWORD attributes = 0;
    const DWORD checked = files.Win32GetAttributes(sourcePath.c_str(), &attributes);
    if (checked == ERROR_INVALID_NAME || checked == ERROR_FILENAME_EXCED_RANGE) {
        result.error = checked;
        return result;
    }
    if (checked != ERROR_SUCCESS || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.error = ERROR_FILE_NOT_FOUND;
        return result;
    }
    const std::string content = files.ReadFile(sourcePath).value_or("");

    std::string location;
    if (mediaType == SPOST_PATH) {
        location = mediaLocation ? *mediaLocation : FolderOf(sourcePath) + "\\";
    } else if (mediaType == SPOST_URL) {
        location = mediaLocation.value_or("");
    }

    const std::optional<std::string> existing = FindIdenticalOemInf(content);
    if (copyStyle & SP_COPY_OEMINF_CATALOG_ONLY) {
        // Only asks where the INF is: nothing is copied.
        if (existing) result.destination = *existing;
        return result;
    }
    if (!existing && (copyStyle & SP_COPY_REPLACEONLY)) {
        result.error = ERROR_FILE_NOT_FOUND;
        return result;
    }
    if (existing && (copyStyle & SP_COPY_NOOVERWRITE)) {
        result.error = ERROR_FILE_EXISTS;
        result.destination = *existing;
        return result;
    }
    return StageInf(sourcePath, mediaType, location, source);
}

DriverStore::UpdateResult DriverStore::UpdateDriver(const UpdateRequest& request) {
    FileSystem& files = machine_.files();
    UpdateResult result;
    DWORD attributes = 0;
    if (files.Win32GetAttributes(request.infPath.c_str(), &attributes) != ERROR_SUCCESS ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.error = ERROR_FILE_NOT_FOUND;
        return result;
    }
    const std::string& path = request.infPath;
    machine_.Record("device", "UpdateDriverForPlugAndPlayDevices " + request.hardwareId + " " + path +
                                  (request.force ? " (force)" : ""));

    bool matchedAny = false;
    int installed = 0;
    std::string infName;         // the INF's name in the INF folder, once it is there
    std::vector<LoadedInf> inf;  // read once, for every device that carries the ID
    const auto carries = [&](const std::vector<std::string>& list) {
        return std::any_of(list.begin(), list.end(),
                           [&](const std::string& s) { return EqualNoCase(s, request.hardwareId); });
    };
    for (const std::string& id : tree_.PresentDevices()) {
        const std::optional<DeviceIds> ids = tree_.ReadIds(id);
        if (!ids || (!carries(ids->hardware) && !carries(ids->compatible))) continue;
        matchedAny = true;
        if (inf.empty()) inf = LoadInfs({path});
        const std::optional<DriverChoice> choice = BestDriverAmong(*ids, inf);
        if (!choice) continue;  // the INF has no driver for this device
        if (!request.force) {
            long currentDay = 0;
            const int current = CurrentDriverRank(id, &currentDay);
            if (current < choice->rank || (current == choice->rank && currentDay >= choice->day)) continue;
        }
        if (infName.empty()) {
            if (EqualNoCase(FolderOf(path), InfFolder())) {
                infName = FileNameOf(path);
            } else if (request.readOnly) {
                const std::optional<std::string> existing = FindIdenticalOemInf(files.ReadFile(path).value_or(""));
                infName = existing ? FileNameOf(*existing) : FileNameOf(path);
            } else {
                const OemInfCopy staged = StageInf(path, SPOST_PATH, FolderOf(path) + "\\", path);
                if (staged.error) {
                    result.error = staged.error;
                    return result;
                }
                infName = FileNameOf(staged.destination);
            }
        }
        result.restart =
            InstallDriver(id, *choice, infName, path, "UpdateDriverForPlugAndPlayDevices") || result.restart;
        ++installed;
    }
    if (!matchedAny) {
        result.error = ERROR_NO_SUCH_DEVINST;
        return result;
    }
    if (installed == 0) {
        result.error = ERROR_NO_MORE_ITEMS;
        return result;
    }
    if (tree_.Nt()) tree_.Broadcast(DBT_DEVNODES_CHANGED, "", 0);
    // Without the caller's flag Windows asks the user itself; with it, the
    // caller is told and restarting is up to it.
    if (result.restart) {
        machine_.Record("device", request.callerTakesRestart ? "restart needed after driver update (told to the caller)"
                                                             : "restart prompt after driver update");
    }
    return result;
}

}  // namespace sim
