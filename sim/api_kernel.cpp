// Kernel32 basics: last error, the clock, the version query, the process
// itself; and the text functions of the run-time library and User32.
#include <cstring>
#include <string>

#include "sim/api/windows.h"
#include "sim/machine.h"
#include "sim/filesystem.h"
#include "sim/processes.h"
#include "sim/session.h"

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

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (process != GetCurrentProcess() || !token) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *token = m.session().OpenToken(access);
    m.Record("session", "OpenProcessToken(current process)");
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (systemName && *systemName) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!name || !luid || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) {
        m.lastError = ERROR_NO_SUCH_PRIVILEGE;
        return FALSE;
    }
    luid->LowPart = 19;  // SE_SHUTDOWN_PRIVILEGE
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES,
                           PDWORD) {
    sim::Machine& m = Current();
    if (!m.IsNt()) {
        m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    if (!m.session().IsToken(token)) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (disableAll) {
        m.session().shutdownPrivilegeEnabled = false;
    } else if (newState) {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            if (newState->Privileges[i].Luid.LowPart == 19) {
                m.session().shutdownPrivilegeEnabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
                m.Record("session", std::string("AdjustTokenPrivileges: SeShutdownPrivilege ") +
                                        (m.session().shutdownPrivilegeEnabled ? "enabled" : "disabled"));
            }
        }
    }
    // Windows reports success and keeps ERROR_SUCCESS as the last error when
    // every privilege was adjusted.
    m.lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    sim::Machine& m = Current();
    if (!m.session().ExitWindows(flags, reason)) {
        m.lastError = ERROR_PRIVILEGE_NOT_HELD;
        return FALSE;
    }
    return TRUE;
}

int _mbsicmp(const unsigned char* left, const unsigned char* right) {
    // The emulated machines use a single-byte code page, where the
    // multibyte comparison folds ASCII letters; the result orders by the
    // lower-cased bytes, as the run-time library does.
    for (;; ++left, ++right) {
        unsigned a = *left;
        unsigned b = *right;
        if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
        if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

char* _strupr(char* text) {
    for (char* p = text; p && *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return text;
}

char* _strlwr(char* text) {
    for (char* p = text; p && *p; ++p) {
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    }
    return text;
}

LPSTR CharPrevA(LPCSTR start, LPCSTR current) {
    return const_cast<LPSTR>(current > start ? current - 1 : start);
}

LPSTR CharNextA(LPCSTR current) { return const_cast<LPSTR>(*current ? current + 1 : current); }

BOOL CloseHandle(HANDLE handle) {
    sim::Machine& m = Current();
    if (m.files().CloseFileHandle(handle) || m.processes().CloseProcessHandle(handle) ||
        m.session().CloseToken(handle)) {
        return TRUE;
    }
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}
