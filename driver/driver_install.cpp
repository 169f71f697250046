#include "driver/driver_install.h"

#include <initializer_list>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/hardware_tables.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

// The Windows folder with exactly one trailing backslash.
bool WindowsFolderWithBackslash(char* out, size_t size) {
    char folder[kPathSize];
    const UINT length = ::GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        if (size) out[0] = '\0';
        return false;
    }
    return ComposeText(out, size, "%s%s", folder, EndsWithBackslash(folder) ? "" : "\\");
}

}  // namespace

const char* const kNewdevLibrary = "newdev";

UpdateDriverFunction FindUpdateDriver(HMODULE newdev) {
    const FARPROC found = ::GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA");
    return found ? reinterpret_cast<UpdateDriverFunction>(reinterpret_cast<void (*)()>(found)) : nullptr;
}

bool ComposeWindowsPath(char* out, size_t size, const char* sub, const char* name) {
    char folder[kPathSize];
    if (!WindowsFolderWithBackslash(folder, sizeof folder)) {
        if (size) out[0] = '\0';
        return false;
    }
    return ComposeText(out, size, "%s%s\\%s", folder, sub, name);
}

void InstallDriverPackage(DeviceList& list, BOOL* rebootRequired) {
    if (IsWin2000OrXP(CurrentWindowsKind)) {
        InstallByHardwareId(list, rebootRequired);
    } else {
        RescanDevices(rebootRequired);
    }
}

const char* SelectPackageInf(const char* hardwareId) {
    if (hardwareId && IsTableRow(AAdapterIds, hardwareId)) return APackageFiles.rows[0];
    return AbPackageFiles.rows[0];
}

void InstallByHardwareId(DeviceList& list, BOOL* rebootRequired) {
    const FoundDevice* record = list.FindFirst(1);
    UniqueLibrary newdev(::LoadLibraryA(kNewdevLibrary));
    if (rebootRequired) *rebootRequired = 0;
    if (!newdev || !record) {
        newdev.Reset();
        StageOemInfs();
        return;
    }

    const UpdateDriverFunction update = FindUpdateDriver(newdev.Get());
    if (!update) return;

    // The package in the install folder, or the copy expected in Windows'
    // INF folder when the install folder is not known. A path that does not
    // fit is not tried at all.
    const char* infName = SelectPackageInf(record->hardwareId.c_str());
    char installPath[kPathSize];
    char infPath[kPathSize];
    const bool composed = RegReadString(installPath, "InstallPath", sizeof installPath)
                              ? ComposeText(infPath, sizeof infPath, "%s\\%s", installPath, infName)
                              : ComposeWindowsPath(infPath, sizeof infPath, "inf", infName);
    if (!composed) return;

    update(nullptr, record->hardwareId.c_str(), infPath, INSTALLFLAG_FORCE, rebootRequired);
}

void StageOemInfs() {
    char installPath[kPathSize];
    if (!RegReadString(installPath, "InstallPath", sizeof installPath)) return;

    const char* const names[] = {ProfileInfName, APackageFiles.rows[0]};
    for (const char* name : names) {
        if (!name) continue;
        char source[kPathSize];
        char location[kPathSize];
        if (!ComposeText(source, sizeof source, "%s\\%s", installPath, name) ||
            !ComposeText(location, sizeof location, "%s\\", installPath))
            continue;
        if (!::SetupCopyOEMInfA(source, location, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
            ::SetupCopyOEMInfA(source, nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr);
        }
    }
}

int RescanDevices(BOOL* rebootRequired) {
    if (rebootRequired) *rebootRequired = 0;

    // Without its index files Windows rebuilds the index from every INF in
    // the folder, the package's copies included. A path that does not fit
    // deletes nothing.
    char infFolder[kPathSize];
    char windowsFolder[kPathSize];
    if (WindowsFolderWithBackslash(windowsFolder, sizeof windowsFolder) &&
        ComposeText(infFolder, sizeof infFolder, "%sinf\\", windowsFolder)) {
        for (const char* name : {"drvdata.bin", "drvidx.bin"}) {
            char file[kPathSize];
            if (ComposeText(file, sizeof file, "%s%s", infFolder, name)) ::DeleteFileA(file);
        }
    }

    DEVINST root = 0;
    if (::CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return 0;
    return ::CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL) == CR_SUCCESS ? 1 : 0;
}
