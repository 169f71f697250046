// standin.exe: the Wine suite's stand-in for a program the tool starts (the
// utility tavarin.exe, the device-removal program Zovavizu.exe, Windows
// Installer's msiexec.exe), copied under that program's name. A Windows
// (GUI) program with no window, as those programs are to the tool: started
// from the tool it neither opens a console nor takes the foreground from
// the tool's dialog.
//
// It records its argument text in HKLM\Software\TavWineSuite
// "<file name> arguments" (the file name in lower case), counts the start
// in "<file name> runs", waits TAV_STANDIN_MS milliseconds when that
// variable is set in its environment (the suite sets it in the tool's, which
// the tool hands on), and ends with exit status 0.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kResultKey[] = "Software\\TavWineSuite";

// The file name of this program, lower case.
std::string OwnFileName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    const char* name = std::strrchr(path, '\\');
    std::string own = name ? name + 1 : path;
    CharLowerA(&own[0]);
    return own;
}

// The command line after the program's name and the blanks that follow it.
std::string ArgumentText() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

void Record(const std::string& name) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kResultKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const std::string arguments = ArgumentText();
    const std::string argumentsName = name + " arguments";
    RegSetValueExA(key, argumentsName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(arguments.c_str()),
                   static_cast<DWORD>(arguments.size() + 1));
    const std::string runsName = name + " runs";
    DWORD runs = 0;
    DWORD size = sizeof runs;
    if (RegQueryValueExA(key, runsName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&runs), &size) !=
        ERROR_SUCCESS)
        runs = 0;
    ++runs;
    RegSetValueExA(key, runsName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&runs), sizeof runs);
    RegCloseKey(key);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Record(OwnFileName());
    char wait[16] = {};
    if (GetEnvironmentVariableA("TAV_STANDIN_MS", wait, sizeof wait) > 0) Sleep(std::strtoul(wait, nullptr, 10));
    return 0;
}
