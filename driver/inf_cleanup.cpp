#include "driver/inf_cleanup.h"

#include <cstring>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/hardware_tables.h"
#include "driver/driver_install.h"
#include "platform/winapi.h"
#include "sys/file_removal.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

// The catalog's row in a package file list.
constexpr int kCatalogRow = 2;

void DeletePlainly(const char* path) {
    ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path);
}

// The dual-band package when the ID holds one of its adapters' IDs (both
// lower-cased, found anywhere in it), else the 802.11a package.
const SupportedIdTable& PackageFor(const std::string& hardwareId) {
    const std::string id = LowerAscii(hardwareId.c_str());
    for (int row = 0; row < AbAdapterIds.count; ++row) {
        if (id.find(LowerAscii(AbAdapterIds.rows[row])) != std::string::npos) return AbPackageFiles;
    }
    return APackageFiles;
}

}  // namespace

bool IsPlainFileName(const char* name) {
    if (!name || !*name) return false;
    return !std::strpbrk(name, "\\/:") && !std::strstr(name, "..");
}

int ReadInstalledInfName(std::string& infName, const FoundDevice& record) {
    const char* instance = LastPathComponent(record.driverKey.c_str());
    if (!*instance) return 0;
    char path[kPathSize];
    if (!ComposeText(path, sizeof path, "%s\\%s", NetClassKeyOfCurrentWindows(), instance)) return 0;
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) return 0;
    char value[kPathSize];
    if (!RegQueryString(key.Get(), nullptr, "InfPath", value, sizeof value)) return 0;
    infName = value;
    return 1;
}

void RemoveInstalledInf(std::string infName, std::string hardwareId) {
    char path[kPathSize];
    if (IsPlainFileName(infName.c_str()) && ComposeWindowsPath(path, sizeof path, "inf", infName.c_str()))
        DeletePlainly(path);

    const SupportedIdTable& package = PackageFor(hardwareId);
    // The profile's family is the number of package files it installed:
    // the INF for every profile, the driver image for the PCI adapters.
    for (int row = 0; row < ProfileFamily && row < PackageDirs.count; ++row) {
        if (!ComposeWindowsPath(path, sizeof path, PackageDirs.rows[row], package.rows[row])) continue;
        if (!DeleteFileNowOrAtBoot(path)) DeletePlainly(path);
    }

    if (CurrentWindowsKind == KindWin98SE &&
        ComposeWindowsPath(path, sizeof path, CatalogFolder, package.rows[kCatalogRow])) {
        DeletePlainly(path);
    }
}
