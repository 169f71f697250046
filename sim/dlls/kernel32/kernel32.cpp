// Kernel32 basics: the last error, the clock, the version query, the
// process itself and CloseHandle for every kind of kernel handle. A failure
// sets the last error and is recorded (sim::dll::Fail).
#include <cstring>
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"
#include "sim/machine/session.h"

using sim::Current;

DWORD GetLastError() { return Current().lastError; }

void SetLastError(DWORD code) { Current().lastError = code; }

void Sleep(DWORD milliseconds) { Current().clock.AdvanceBy(milliseconds); }

DWORD GetTickCount() { return Current().clock.TickCount(); }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    constexpr const char* kCall = "GetVersionExA";
    // The size of OSVERSIONINFOEXA: the extended structure is accepted too.
    constexpr DWORD kExtendedInfoSize = 156;
    sim::Machine& m = Current();
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != kExtendedInfoSize)) {
        sim::dll::Fail(kCall, "", ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (m.failVersionQuery) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const sim::VersionRow& row = m.VersionDetails();
    info->dwMajorVersion = row.major;
    info->dwMinorVersion = row.minor;
    // The 9x family keeps the major and minor version in the build number's
    // high word.
    info->dwBuildNumber = row.platform == VER_PLATFORM_WIN32_WINDOWS
                              ? ((row.major << 24) | (row.minor << 16) | row.build)
                              : row.build;
    info->dwPlatformId = row.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    const std::string csd = m.csdVersion ? *m.csdVersion : std::string(row.csdVersion);
    sim::dll::CopyTextTruncated(csd, info->szCSDVersion, sizeof info->szCSDVersion, nullptr);
    return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL CloseHandle(HANDLE handle) {
    sim::Machine& m = Current();
    if (m.files().CloseFileHandle(handle) || m.processes().CloseProcessHandle(handle) ||
        m.session().CloseToken(handle)) {
        return TRUE;
    }
    sim::dll::Fail("CloseHandle", "", ERROR_INVALID_HANDLE);
    return FALSE;
}

