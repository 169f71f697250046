#include "driver/driver_upgrade.h"

#include <cstring>
#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/device_list.h"
#include "device/device_search.h"
#include "device/hardware_tables.h"
#include "driver/driver_install.h"
#include "platform/winapi.h"
#include "sys/file_removal.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

// Rows of the package file lists.
constexpr int kDriverImageRow = 1;
const char kLibraryName[] = "ZLMSecurity.dll";
// The staged copy's name: the library's with "new" for its last three
// characters.
const char kStagedSuffix[] = "new";
constexpr size_t kSuffixLength = 3;

// Points the instance's driver entries at `driverFile` when one of the
// table's IDs occurs in its (lower-cased) "MatchingDeviceId".
void RetargetInstance(HKEY instance, const std::string& matchingId, const SupportedIdTable& ids,
                      const char* driverFile) {
    for (int row = 0; row < ids.count; ++row) {
        if (matchingId.find(LowerAscii(ids.rows[row])) == std::string::npos) continue;
        const DWORD size = static_cast<DWORD>(std::strlen(driverFile) + 1);
        for (const char* name : {"DeviceVxDs", "NTMPDriver"}) {
            ::RegSetValueExA(instance, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(driverFile), size);
        }
        return;
    }
}

bool PackageFileFound(const char* folder, const char* name) {
    char path[kPathSize];
    return ComposeText(path, sizeof path, "%s\\%s", folder, name) && PathFound(path);
}

}  // namespace

int UpgradeDrivers() { return IsWin9xKind(CurrentWindowsKind) ? RetargetNetClassDrivers() : UpdateDeviceDriver(); }

int UpdateDeviceDriver() {
    UniqueLibrary newdev(::LoadLibraryA(kNewdevLibrary));
    if (!newdev) return kUpgradeFailed;
    const UpdateDriverFunction update = FindUpdateDriver(newdev.Get());
    if (!update) return kUpgradeFailed;

    DeviceList list;
    if (FindSupportedDevice(list) <= 0) return kNothingToUpgrade;
    const FoundDevice* record = list.FindFirst(0);
    if (!record) return kUpgradeFailed;

    char installPath[kPathSize];
    if (!RegReadString(installPath, "InstallPath", sizeof installPath)) return kUpgradeFailed;
    char infPath[kPathSize];
    if (!ComposeText(infPath, sizeof infPath, "%s\\%s", installPath, SelectPackageInf(record->hardwareId.c_str())))
        return kUpgradeFailed;
    // The package holds no driver for this adapter.
    if (!PathFound(infPath)) return kNothingToUpgrade;

    BOOL rebootRequired = FALSE;
    return update(nullptr, record->hardwareId.c_str(), infPath, INSTALLFLAG_FORCE, &rebootRequired) ? kUpgradeDone
                                                                                                     : kUpgradeFailed;
}

int RetargetNetClassDrivers() {
    UniqueRegKey classKey;
    if (::RegOpenKeyA(HKEY_LOCAL_MACHINE, NetClassKey9x, classKey.Receive()) != ERROR_SUCCESS) return kUpgradeDone;
    char installPath[kPathSize];
    if (!ProfileKeyPath ||
        !RegQueryString(HKEY_LOCAL_MACHINE, ProfileKeyPath, "InstallPath", installPath, sizeof installPath))
        return kUpgradeDone;
    const char* const abDriver = AbPackageFiles.rows[kDriverImageRow];
    const char* const aDriver = APackageFiles.rows[kDriverImageRow];
    const bool abPresent = PackageFileFound(installPath, abDriver);
    const bool aPresent = PackageFileFound(installPath, aDriver);
    if (!abPresent && !aPresent) return kUpgradeDone;

    for (DWORD index = 0;; ++index) {
        char name[kPathSize];
        DWORD nameSize = sizeof name;
        const LONG enumerated =
            ::RegEnumKeyExA(classKey.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        // The walk ends with the last instance, or at an error that would
        // only repeat at every further index.
        if (enumerated == ERROR_NO_MORE_ITEMS) break;
        if (enumerated != ERROR_SUCCESS) {
            if (enumerated == ERROR_MORE_DATA) continue;
            break;
        }
        UniqueRegKey instance;
        if (::RegOpenKeyExA(classKey.Get(), name, 0, KEY_ALL_ACCESS, instance.Receive()) != ERROR_SUCCESS) continue;
        char matching[kPathSize];
        if (!RegQueryString(instance.Get(), nullptr, "MatchingDeviceId", matching, sizeof matching)) continue;
        const std::string matchingId = LowerAscii(matching);
        if (abPresent) RetargetInstance(instance.Get(), matchingId, AbAdapterIds, abDriver);
        if (aPresent) RetargetInstance(instance.Get(), matchingId, AAdapterIds, aDriver);
    }
    return kUpgradeDone;
}

void UpgradeSecurityFiles() {
    char system[kPathSize];
    const UINT length = ::GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) return;
    char library[kPathSize];
    if (!ComposeText(library, sizeof library, EndsWithBackslash(system) ? "%s%s" : "%s\\%s", system, kLibraryName))
        return;
    char staged[kPathSize];
    CopyText(staged, sizeof staged, library);
    std::memcpy(staged + std::strlen(staged) - kSuffixLength, kStagedSuffix, kSuffixLength);

    if (!PathFound(staged)) return;
    if (PathFound(library)) {
        ::SetFileAttributesA(library, FILE_ATTRIBUTE_NORMAL);
        // A library in use cannot be replaced now: the staged copy stays
        // for the next run rather than being lost.
        if (!::CopyFileA(staged, library, FALSE)) return;
    }
    ::DeleteFileA(staged);
}
