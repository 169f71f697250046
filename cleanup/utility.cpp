#include "cleanup/utility.h"

#include <cstdint>
#include <initializer_list>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/supplicant.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/service_control.h"
#include "sys/text.h"

namespace {

// "ExecPath" is read into 255 bytes of a path buffer.
constexpr DWORD kExecPathSize = 255;
const char kSecurityProduct[] = "ZelmSS";
const char kSecurityKey[] = "Software\\Zelmar\\SolvaneSecurity";
// The command identifier that tells the security program to exit.
constexpr WPARAM kSecurityStopCommand = 1129;

bool ReadUtilityFolder(char (&folder)[kPathSize]) { return RegReadString(folder, "ExecPath", kExecPathSize) == 1; }

// Starts `path` with `arguments` (null: none) as a new process and lets it
// run on its own; the process handle is not kept.
void SpawnDetached(const char* path, const char* arguments) {
    const char* const end = nullptr;
    const intptr_t process =
        arguments ? ::_spawnl(_P_NOWAIT, path, path, arguments, end) : ::_spawnl(_P_NOWAIT, path, path, end);
    if (process != -1) ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

void DeleteDataFile(const char* folder, const char* name) {
    char path[kPathSize];
    if (!ComposeText(path, sizeof path, "%s\\%s", folder, name)) return;
    ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path);
}

}  // namespace

void LaunchUtility(const char* programName, const char* arguments) {
    char folder[kPathSize];
    if (!ReadUtilityFolder(folder)) return;
    char path[kPathSize];
    if (!ComposeText(path, sizeof path, "%s\\%s", folder, programName)) return;
    // The argument text goes as one piece; the program splits it at blanks.
    SpawnDetached(path, arguments);
}

void StopUtility() { LaunchUtility("tavarin.exe", "-killapp"); }

void StartUtility() { LaunchUtility(IsDusklineFlagSet() ? "duskline.exe" : "tavarin.exe", "-silent -hs"); }

void DeleteUtilityDataFiles() {
    char folder[kPathSize];
    if (ReadUtilityFolder(folder)) {
        DeleteDataFile(folder, IsDusklineFlagSet() ? "_dusklin.dat" : "_tavarin.dat");
        DeleteDataFile(folder, "profile.pro");
    }
    if (CurrentWindowsKind == KindWinXP) ResetSupplicantMode();
}

int ControlSecurityService(int action, DWORD argumentCount, const char** arguments) {
    if (!IsWin9xKind(DetectWindowsKind())) {
        return ControlServiceState(kSecurityProduct, action, argumentCount, arguments);
    }
    // Windows 98 SE / Me run the security product as a program with a window.
    if (action == ServiceStart) {
        char folder[kPathSize];
        char path[kPathSize];
        if (ReadUtilityFolder(folder) && ComposeText(path, sizeof path, "%s\\%s.exe", folder, kSecurityProduct)) {
            SpawnDetached(path, nullptr);
        }
        return 0;
    }
    if (action == ServiceStop) {
        const HWND window = ::FindWindowA(kSecurityProduct, nullptr);
        if (!window) return 0;
        return ::SendMessageA(window, WM_COMMAND, kSecurityStopCommand, 0) != 0 ? 1 : 0;
    }
    return 0;
}

LONG ClearDynamicSettings() {
    {
        UniqueRegKey utility;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, TavarinKeyPath, 0, KEY_ALL_ACCESS, utility.Receive()) ==
            ERROR_SUCCESS) {
            for (const char* name : {"DynamicSwitch", "DynamicProfile", "DynamicCard"}) {
                ::RegDeleteValueA(utility.Get(), name);
            }
        }
    }

    UniqueRegKey security;
    const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSecurityKey, 0, KEY_ALL_ACCESS, security.Receive());
    if (opened != ERROR_SUCCESS) return opened;
    for (int n = 0; n <= 3; ++n) {
        char name[kPathSize];
        if (ComposeText(name, sizeof name, "VID%d", n)) ::RegDeleteValueA(security.Get(), name);
    }
    return security.Close();
}
