// The driver store: the INF folder and what Windows does with it. INFs
// copied in as oemN.inf (SetupCopyOEMInfA, driver updates), the ranking of
// the drivers an INF offers a device, installing the best one (new
// hardware, "newdev" updates), the restarts an installation asks for, and
// the 9x family's driver index, which hides INFs added after it was built.
//
// The store owns the record of staged INFs and the restart requirements;
// the INFs themselves are files of the machine's drive and the installed
// drivers are keys of its registry (written through the device tree).
// Failures are answered as values: a Windows error code in the result, the
// machine's state as it was before the call (an INF copied before a later
// step failed stays copied, as on Windows).
#pragma once

#include <climits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/formats/inf.h"
#include "sim/include/types.h"
#include "sim/machine/devices/device_types.h"

namespace sim {

class DeviceTree;
class Machine;

class DriverStore {
public:
    DriverStore(Machine& machine, DeviceTree& tree);
    DriverStore(const DriverStore&) = delete;
    DriverStore& operator=(const DriverStore&) = delete;

    // The INF folder ("C:\WINDOWS\inf").
    std::string InfFolder() const;

    // Installing a driver from this INF (compared by file name, the source
    // as the caller named it or its copy in the INF folder), or on this
    // device, needs a Windows restart.
    void RequireRestartForInf(const std::string& infFileName);
    void RequireRestartForDevice(const std::string& instanceId);

    // 9x: writes "drvidx.bin" and "drvdata.bin" in the INF folder, indexing
    // every INF there now. INFs added later stay hidden from new-hardware
    // installation until the index files are deleted.
    void BuildDriverIndex();
    bool DriverIndexComplete() const;

    // Windows' new-hardware installation: a present device without a
    // driver gets the best driver of the INF folder (9x: of its index).
    void HandleNewHardware(const std::string& instanceId);
    void HandleAllNewHardware();

    // ---- SetupCopyOEMInfA (oem_infs.cpp) ------------------------------------
    struct OemInfCopy {
        DWORD error = 0;
        // The oemN.inf the call names: the copy made or found, or the copy
        // already there that the call refused to replace; empty for none.
        std::string destination;
        // The file the INF was read from; set when a copy was made or reused.
        std::string sourcePath;
    };
    // `source` as the caller wrote it (a bare name is looked for in the INF
    // folder, then the system folder); `copyStyle` of SP_COPY_* bits.
    OemInfCopy CopyOemInf(const std::string& source, const std::optional<std::string>& mediaLocation, DWORD mediaType,
                          DWORD copyStyle);
    const std::vector<StagedInf>& StagedInfs() const { return staged_; }

    // ---- UpdateDriverForPlugAndPlayDevicesA (oem_infs.cpp) ------------------
    struct UpdateRequest {
        std::string hardwareId;
        std::string infPath;
        bool force = false;     // INSTALLFLAG_FORCE
        bool readOnly = false;  // INSTALLFLAG_READONLY: the INF is not copied
        // The caller takes the restart answer; otherwise Windows asks the
        // user itself.
        bool callerTakesRestart = false;
    };
    struct UpdateResult {
        DWORD error = 0;
        bool restart = false;
    };
    UpdateResult UpdateDriver(const UpdateRequest& request);

private:
    struct LoadedInf {
        std::string path;
        std::shared_ptr<const InfFile> inf;
    };
    struct DriverChoice {
        std::string infPath;  // full path of the INF the model comes from
        std::shared_ptr<const InfFile> inf;
        InfModel model;
        std::string matchedId;  // the model's ID that matched the device
        int rank = INT_MAX;
        long day = 0;
    };

    InfPlatform Platform() const;
    std::vector<std::string> InfFolderInfs(bool respectIndex) const;
    std::vector<LoadedInf> LoadInfs(const std::vector<std::string>& paths) const;
    std::optional<DriverChoice> BestDriverAmong(const DeviceIds& ids, const std::vector<LoadedInf>& infs) const;
    int CurrentDriverRank(const std::string& instanceId, long* day) const;
    // Installs the choice on the device; true when a restart is needed.
    bool InstallDriver(const std::string& instanceId, const DriverChoice& choice, const std::string& infName,
                       const std::string& sourceName, const char* why);
    bool RestartNeeded(const std::string& instanceId, const std::string& infName, const std::string& sourceName) const;

    // Copies an INF into the INF folder as the next free oemN.inf, or finds
    // an identical copy there: the destination, or an error.
    OemInfCopy StageInf(const std::string& sourcePath, DWORD mediaType, const std::string& mediaLocation,
                        const std::string& callerName);
    std::optional<std::string> FindIdenticalOemInf(const std::string& content) const;
    std::string NextFreeOemName() const;

    Machine& machine_;
    DeviceTree& tree_;
    std::vector<StagedInf> staged_;
    std::set<std::string> restartInfs_;     // upper-cased file names
    std::set<std::string> restartDevices_;  // upper-cased instance IDs
};

}  // namespace sim
