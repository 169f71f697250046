#include "device/device_uninstaller.h"

#include <set>
#include <string>

#include "app/product_profile.h"
#include "platform/framework/framework.h"
#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/text.h"

namespace {

const char kUninstallerName[] = "Zovavizu.exe";
// The device class the removal program is told the adapter belongs to.
const char kNetClassName[] = "Net";
// How long the tool pauses after the removal program, so that Windows has
// settled before the dialog goes on.
constexpr DWORD kSettleAfterRemovalMs = 1000;

// The hardware keys the removal program was started for in this run.
std::set<std::string>& LaunchLog() {
    static std::set<std::string> log;
    return log;
}

}  // namespace

void ResetUninstallerLaunchLog() { LaunchLog().clear(); }

int RunDeviceUninstaller(const FoundDevice& record) {
    if (!ProfileKeyPath) return 0;
    char folder[kPathSize];
    if (!RegQueryString(HKEY_LOCAL_MACHINE, ProfileKeyPath, "ExecPath", folder, sizeof folder)) return 0;
    // An empty folder gives the bare program name.
    char path[kPathSize];
    const bool separated = !*folder || EndsWithBackslash(folder);
    if (!ComposeText(path, sizeof path, separated ? "%s%s" : "%s\\%s", folder, kUninstallerName)) return 0;
    const int started = LaunchUninstallerOnce(path, record.enumKey.c_str(), record);
    ::Sleep(kSettleAfterRemovalMs);
    return started;
}

int LaunchUninstallerOnce(const char* programPath, const char* hardwareKey, const FoundDevice& record) {
    const std::string key = hardwareKey ? hardwareKey : "";
    if (!LaunchLog().insert(key).second) return 1;
    const std::string parameters =
        FormatText("-u \"%s\" \"%s\" \"%s\"", record.name.c_str(), kNetClassName, record.enumKey.c_str());
    return RunAndWait(programPath, parameters.c_str());
}

int RunAndWait(const char* program, const char* parameters) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = ::GetDesktopWindow();
    info.lpVerb = nullptr;
    info.lpFile = program;
    info.lpParameters = parameters;
    info.lpDirectory = nullptr;
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExA(&info)) return 0;
    UniqueKernelHandle process(info.hProcess);
    // The shell may start a program without handing back its process
    // (through an already running instance): nothing to wait for then.
    if (!process) return 1;

    const HANDLE handles[] = {process.Get()};
    bool quit = false;
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, QS_ALLINPUT);
        // The program ended, or the wait itself failed and would fail again.
        if (woken != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
            if (got == -1) break;
            if (got) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
            // A quit request stays seen when a paint or timer message
            // follows it in the same pass.
            if (message.message == WM_QUIT) quit = true;
        }
        if (quit) break;
    }
    return 1;
}
