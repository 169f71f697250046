#include "sim/machine/version.h"

#include <array>

#include "sim/include/kernel.h"
#include "sim/base/text.h"

namespace sim {
namespace {

const std::array<VersionRow, 10> kVersions = {{
    {WindowsVersion::Win95, "95", "Windows 95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, "", "C:\\WINDOWS"},
    {WindowsVersion::Win95OSR2, "95osr2", "Windows 95 OSR2", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1111, " C",
     "C:\\WINDOWS"},
    {WindowsVersion::NT351, "nt351", "Windows NT 3.51", VER_PLATFORM_WIN32_NT, 3, 51, 1057, "Service Pack 5",
     "C:\\WINNT35"},
    {WindowsVersion::NT4, "nt4", "Windows NT 4.0", VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6",
     "C:\\WINNT"},
    {WindowsVersion::Win98, "98", "Windows 98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998, "", "C:\\WINDOWS"},
    {WindowsVersion::Win98SE, "98se", "Windows 98 SE", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222, " A ",
     "C:\\WINDOWS"},
    {WindowsVersion::WinMe, "me", "Windows Me", VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000, " ", "C:\\WINDOWS"},
    {WindowsVersion::Win2000, "2000", "Windows 2000", VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4",
     "C:\\WINNT"},
    {WindowsVersion::WinXP, "xp", "Windows XP", VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3",
     "C:\\WINDOWS"},
    {WindowsVersion::Server2003, "2003", "Windows Server 2003", VER_PLATFORM_WIN32_NT, 5, 2, 3790,
     "Service Pack 2", "C:\\WINDOWS"},
}};

}  // namespace

const VersionRow& VersionInfo(WindowsVersion version) {
    for (const VersionRow& row : kVersions) {
        if (row.version == version) return row;
    }
    return kVersions.back();
}

std::optional<WindowsVersion> VersionByName(const std::string& name) {
    for (const VersionRow& row : kVersions) {
        if (EqualNoCase(name, row.name)) return row.version;
    }
    return std::nullopt;
}

bool IsNtFamily(WindowsVersion version) {
    return VersionInfo(version).platform == VER_PLATFORM_WIN32_NT;
}

}  // namespace sim
