#include "device/device_removal.h"

#include <string>

#include "app/windows_kind.h"
#include "device/device_uninstaller.h"
#include "device/device_walk.h"
#include "platform/winapi.h"
#include "sys/text.h"

int RemoveDevices(const FoundDevice& record) {
    if (IsWin2000OrXP(CurrentWindowsKind)) return RemoveBySetupApi(record);
    return RunDeviceUninstaller(record);
}

int RemoveBySetupApi(const FoundDevice& record) {
    const std::string& target = record.hardwareId;
    int matched = 0;
    bool everyRemovalSucceeded = true;
    // Every present device that carries the ID goes, not only the one the
    // search recorded: two adapters of one model are removed together.
    const bool walked = ForEachPresentDevice([&](HDEVINFO set, SP_DEVINFO_DATA* device, const HardwareIdList& ids) {
        for (const std::string_view id : ids) {
            if (!SameText(id.data(), target.c_str())) continue;
            ++matched;
            if (!::SetupDiCallClassInstaller(DIF_REMOVE, set, device)) everyRemovalSucceeded = false;
            return;
        }
    });
    // A removal that did not happen must not be reported as one: the dialog
    // would then delete the driver files of a device that is still there.
    return walked && matched > 0 && everyRemovalSucceeded ? 1 : 0;
}
