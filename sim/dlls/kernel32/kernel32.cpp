// Kernel32 basics: the last error, the clock, the version query, the
// process itself and CloseHandle for every kind of kernel handle.
#include <cstring>
#include <string>

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
    sim::Machine& m = Current();
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (m.failVersionQuery) {
        m.lastError = ERROR_INVALID_PARAMETER;
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
    std::strncpy(info->szCSDVersion, csd.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL CloseHandle(HANDLE handle) {
    sim::Machine& m = Current();
    if (m.files().CloseFileHandle(handle) || m.processes().CloseProcessHandle(handle) ||
        m.session().CloseToken(handle)) {
        return TRUE;
    }
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

