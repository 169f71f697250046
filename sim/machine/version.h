// The Windows versions an emulated machine can be, with what GetVersionExA
// reports for each and where each keeps its Windows and system folders.
#pragma once

#include <optional>
#include <string>

#include "sim/include/types.h"

namespace sim {

enum class WindowsVersion {
    Win95,
    Win95OSR2,
    NT351,
    NT4,
    Win98,
    Win98SE,
    WinMe,
    Win2000,
    WinXP,
    Server2003,  // NT 5.2, the first version after XP
};

struct VersionRow {
    WindowsVersion version;
    const char* name;        // the scenario word: "xp", "98se", ...
    const char* title;       // as a person names it: "Windows XP"
    DWORD platform;          // VER_PLATFORM_WIN32_WINDOWS or VER_PLATFORM_WIN32_NT
    DWORD major;
    DWORD minor;
    DWORD build;
    const char* csdVersion;  // szCSDVersion as that version reports it
    const char* windowsDir;  // the default Windows folder
};

const VersionRow& VersionInfo(WindowsVersion version);
std::optional<WindowsVersion> VersionByName(const std::string& name);

// The 9x family (95, 98, Me) against the NT family (NT 3.51 to 5.2): the
// registry, file system and service manager behave differently on each.
bool IsNtFamily(WindowsVersion version);

}  // namespace sim
