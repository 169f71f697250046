#include "cleanup/companion.h"

#include <cstdint>
#include <cstring>

#include "app/product_profile.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

const char kProductCode[] = "{736CAD5F-0944-4498-BF9E-0E75549854C7}";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{736CAD5F-0944-4498-BF9E-0E75549854C7}";
const char kInstaller[] = "Boingo\\boisetup.exe";
// "BoingoInstallRun" is read into 10 bytes.
constexpr DWORD kChoiceSize = 10;

// `folder` followed by `name`, with one backslash between them.
bool ComposePathIn(char* out, size_t size, const char* folder, const char* name) {
    return ComposeText(out, size, EndsWithBackslash(folder) ? "%s%s" : "%s\\%s", folder, name);
}

}  // namespace

int RegReadKeyString(HKEY root, const char* subKey, const char* valueName, char* text, size_t size) {
    if (!text || size == 0) return 0;
    text[0] = '\0';
    HKEY key = nullptr;
    if (::RegOpenKeyA(root, subKey, &key) != ERROR_SUCCESS) return 0;
    // One byte more than offered keeps a value without a NUL terminated.
    char value[kPathSize + 1] = {};
    DWORD length = kPathSize;
    const LONG queried = ::RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &length);
    // RegOpenKeyA hands back the caller's own key for an empty sub-key; that
    // one stays open.
    const bool ownKey = key != root;
    if (queried != ERROR_SUCCESS) {
        if (ownKey) ::RegCloseKey(key);
        return 0;
    }
    if (!CopyText(text, size, length == 0 ? "" : value)) {
        if (ownKey) ::RegCloseKey(key);
        return 0;
    }
    if (ownKey && ::RegCloseKey(key) != ERROR_SUCCESS) return 0;
    return 1;
}

void RunCompanionInstaller() {
    char folder[kPathSize];
    // Without the installation folder the path would point at the root of
    // the current drive, where no installer of ours lies.
    if (!RegReadKeyString(HKEY_LOCAL_MACHINE, TavarinKeyPath, "InstallPath", folder, sizeof folder) || !*folder) return;
    char path[kPathSize];
    if (!ComposePathIn(path, sizeof path, folder, kInstaller)) return;
    const char* const end = nullptr;
    const intptr_t process = ::_spawnl(_P_NOWAIT, path, path, end);
    if (process != -1) ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

void UninstallCompanion() {
    char choice[kPathSize];
    if (RegReadString(choice, "BoingoInstallRun", kChoiceSize) != 1 || std::strcmp(choice, "1") != 0) return;

    {
        UniqueRegKey installed;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, installed.Receive()) != ERROR_SUCCESS)
            return;
    }

    char system[kPathSize];
    const UINT length = ::GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) return;
    char path[kPathSize];
    if (!ComposePathIn(path, sizeof path, system, "msiexec.exe")) return;
    // Windows Installer runs to its end before the uninstall job goes on.
    const char* const end = nullptr;
    ::_spawnl(_P_WAIT, path, path, "/x", kProductCode, "/qb", end);
}
