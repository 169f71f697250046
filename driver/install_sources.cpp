#include "driver/install_sources.h"

#include <cstring>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "device/hardware_tables.h"
#include "driver/driver_install.h"
#include "platform/framework/framework.h"
#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"
#include "ui/res/resource.h"

namespace {

const char* const kSetupKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";

// The "SourcePath" text the replace step found, and whether it holds a
// whole value: an absent, unreadable or too long value is never written
// back, so that a machine cannot lose its setup source path.
char g_savedSource[kPathSize] = {};
bool g_savedSourceValid = false;

// Opens HKEY_LOCAL_MACHINE itself and the setup key below it.
bool OpenSetupKey(UniqueRegKey& machine, UniqueRegKey& setup) {
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS, machine.Receive()) != ERROR_SUCCESS)
        return false;
    return RegCreateOpenKey(machine.Get(), kSetupKey, setup.Receive()) != 0;
}

void WriteSourcePath(HKEY setup, const char* text) {
    ::RegSetValueExA(setup, "SourcePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(std::strlen(text) + 1));
}

void ShowInfNotFound() {
    ::MessageBoxA(nullptr, LoadResString(IDS_INF_NOT_FOUND).c_str(), LoadResString(IDS_MESSAGE_CAPTION).c_str(), MB_OK);
}

}  // namespace

void ResetSavedInstallSource() {
    g_savedSource[0] = '\0';
    g_savedSourceValid = false;
}

void SetInstallSource(int mode) {
    if (!IsWin9xKind(CurrentWindowsKind)) return;
    UniqueRegKey machine;
    UniqueRegKey setup;
    if (!OpenSetupKey(machine, setup)) return;

    if (mode == RestoreSource) {
        if (g_savedSourceValid) WriteSourcePath(setup.Get(), g_savedSource);
        return;
    }

    DWORD size = sizeof g_savedSource;
    const LONG read = ::RegQueryValueExA(setup.Get(), "SourcePath", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(g_savedSource), &size);
    // Only a text that ends within the buffer is a complete value.
    g_savedSourceValid = read == ERROR_SUCCESS && size > 0 && size <= sizeof g_savedSource &&
                         BoundedLength(g_savedSource, size) < size;
    if (!g_savedSourceValid) {
        g_savedSource[0] = '\0';
        return;
    }

    char installPath[kPathSize];
    char source[kPathSize];
    if (RegReadString(installPath, "InstallPath", sizeof installPath) &&
        ComposeText(source, sizeof source, "%s\\", installPath)) {
        WriteSourcePath(setup.Get(), source);
    }
}

int SetUserSourceList() {
    if (!IsWin9xKind(CurrentWindowsKind)) return 0;
    char installPath[kPathSize];
    if (!RegReadString(installPath, "InstallPath", sizeof installPath)) return 0;
    char folder[kPathSize];
    if (!ComposeText(folder, sizeof folder, "%s\\", installPath)) return 0;

    PCSTR list[] = {folder};
    ::SetupSetSourceListA(SRCLIST_USER, list, 1);
    return ::SetupAddToSourceListA(SRCLIST_USER, folder);
}

int CopyCatalogFiles() {
    char installPath[kPathSize];
    if (!RegReadString(installPath, "InstallPath", sizeof installPath)) {
        ShowInfNotFound();
        return 0;
    }

    struct Copy {
        const char* file;
        const char* folder;
        bool win98seOnly;
    };
    const Copy copies[] = {
        {ProfileInfName, "inf", false},
        {"ntzl11ab.cat", CatalogFolder, true},
        {"netzl11a.inf", "inf", false},
        {"netzl11a.cat", CatalogFolder, true},
    };
    const bool win98se = CurrentWindowsKind == KindWin98SE;
    bool anyCopied = false;
    for (size_t step = 0; step < sizeof copies / sizeof copies[0]; ++step) {
        const Copy& copy = copies[step];
        if (!copy.file || (copy.win98seOnly && !win98se)) continue;
        // A path that does not fit is not copied to or from at all.
        char source[kPathSize];
        char target[kPathSize];
        if (!ComposeText(source, sizeof source, "%s\\%s", installPath, copy.file) ||
            !ComposeWindowsPath(target, sizeof target, copy.folder, copy.file))
            continue;
        const bool copied = ::CopyFileA(source, target, FALSE) != FALSE;
        anyCopied = anyCopied || copied;
        if (step == 3 && copied) return 1;
    }
    if (anyCopied) return 1;
    ShowInfNotFound();
    return 0;
}
