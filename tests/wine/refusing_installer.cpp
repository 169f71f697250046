// refusing_installer.dll: a class installer for the Wine suite that refuses
// to remove a device, as a vendor's class installer may (a device in use, a
// removal that needs a restart first). Entered as "Installer32" of the
// network class key, "refusing_installer.dll,RefuseRemoval"; SetupAPI then
// calls it for every device-installation function of that class:
//   DIF_REMOVE          -> ERROR_ACCESS_DENIED: SetupDiCallClassInstaller
//                          returns FALSE with that error and removes nothing;
//   anything else       -> ERROR_DI_DO_DEFAULT: SetupAPI's own handling.
// Each refusal is counted in HKLM\Software\TavWineSuite "RefusedRemovals".
#include <windows.h>

#include <setupapi.h>

namespace {

void CountRefusal() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\TavWineSuite", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegQueryValueExA(key, "RefusedRemovals", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
        ERROR_SUCCESS)
        count = 0;
    ++count;
    RegSetValueExA(key, "RefusedRemovals", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegCloseKey(key);
}

}  // namespace

// Exported undecorated (the build links with --kill-at), as SetupAPI looks
// the name up.
extern "C" __declspec(dllexport) DWORD WINAPI RefuseRemoval(DI_FUNCTION function, HDEVINFO, PSP_DEVINFO_DATA) {
    if (function != DIF_REMOVE) return ERROR_DI_DO_DEFAULT;
    CountRefusal();
    return ERROR_ACCESS_DENIED;
}
