/* The yardstick for the start-up time of tavsetup.exe under Wine: a program
 * that imports the same DLLs as the tool (kernel32, user32, gdi32, advapi32,
 * msvcrt) and does the least a no-switch run of the tool does, creating one
 * registry key. scripts/bench-wine-start.sh builds it with the same compiler
 * and times both programs on the same warm Wine server. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    HKEY key;
    DWORD disposition;
    LONG status;
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\TavBenchReference", 0, NULL, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE, NULL, &key, &disposition);
    if (status != ERROR_SUCCESS) return 1;
    RegCloseKey(key);
    /* One call into each of the other DLLs the tool imports (the C run-time
     * comes with the start-up code), so that every one is loaded and bound. */
    GetSystemMetrics(SM_CXSCREEN);
    DeleteObject(NULL);
    return 0;
}
