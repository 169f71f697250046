// winprobe: the Wine suite's eyes and stand-ins inside the Windows session.
// A console program: the suite reads what it prints.
//
//   winprobe list
//       Every visible top-level window with its controls (format below).
//   winprobe wait MS FILTER...
//       Waits up to MS milliseconds for a visible top-level window that
//       matches every filter and prints it; exit 1, with every window on
//       stderr, when none appears in time.
//   winprobe gone MS FILTER...
//       Waits up to MS milliseconds until no visible top-level window
//       matches; exit 1, with the windows that still match, otherwise.
//   winprobe devchange MS FILTER...
//   winprobe devarrival MS FILTER...
//       Sends WM_DEVICECHANGE to the first matching window, as Windows does
//       when its devices change: DBT_DEVNODES_CHANGED (no data), or
//       DBT_DEVICEARRIVAL of a device node (Windows 98 SE / Me send that
//       one for an inserted card).
//   winprobe endsession MS FILTER...
//       Sends WM_QUERYENDSESSION to the first matching window, as Windows
//       does before the session ends, and prints its answer ("answer N").
//   FILTER: --exe NAME (process image, case ignored), --caption TEXT,
//       --class NAME, --control ID (has a control with that identifier),
//       --active 1 (is the foreground window, where keys go).
//   winprobe service NAME
//       A service program: reports running, counts each stop request in
//       HKLM\Software\TavWineSuite "<NAME>StopRequests", then stops.
//   winprobe window CLASS MS
//       A top-level window of class CLASS for at most MS milliseconds; each
//       WM_COMMAND with identifier 1129 is counted in
//       HKLM\Software\TavWineSuite "<CLASS>Commands", answered with 1 and
//       ends the program.
//   winprobe hold FILE MS
//   winprobe load FILE MS
//       Keeps FILE in use for at most MS milliseconds, after printing
//       "ready": open for reading and sharing only reading (no writing, no
//       deletion), or loaded as a library.
//   winprobe dyndata list [KEY]
//       Prints a key of HKEY_DYN_DATA and the keys below it, one line each
//       ("key PATH"), with their text values ("value NAME=TEXT"); exit 1
//       when the key does not open. (Wine's reg cannot read that root.)
//
// (The programs the tool itself starts are played by standin.exe.)
//
// Output, one line per window and one per control, with the text last;
// texts escaped (\\ \" \n \r \t, other control characters and bytes above
// 0x7E as \xNN):
//   window hwnd=0x... pid=N enabled=1 active=1 xid=0x... rect=L,T,R,B exe="tavsetup.exe" class="#32770"
//          caption="..."
//   control id=N enabled=0 visible=1 rect=L,T,R,B class="Button" text="Close"
// rect is in screen coordinates; xid is the X11 window Wine made for the
// window (0 when it has none).
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

const char kResultKey[] = "Software\\TavWineSuite";

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string WindowText(HWND window) {
    char buffer[2048] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string ClassName(HWND window) {
    char buffer[256] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

std::string RectText(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%ld,%ld,%ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    return buffer;
}

// Executable file name of every process, by process id.
std::map<DWORD, std::string> ProcessNames() {
    std::map<DWORD, std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        names[entry.th32ProcessID] = entry.szExeFile;
    }
    CloseHandle(snapshot);
    return names;
}

struct Control {
    int id;
    std::string className;
    std::string text;
    bool enabled;
    bool visible;
    std::string rect;
};

struct TopWindow {
    HWND handle;
    DWORD pid;
    std::string exe;
    std::string className;
    std::string caption;
    std::string rect;
    bool enabled;
    bool active;
    unsigned long long xid;
    std::vector<Control> controls;
};

// An edit control keeps its text to itself: GetWindowText from another
// process gives the window's own (empty) title, so the control is asked.
// The answer is bounded: a tool busy on its own thread gives none.
std::string ControlText(HWND control, const std::string& className) {
    if (lstrcmpiA(className.c_str(), "Edit") != 0) return WindowText(control);
    char buffer[2048] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             1000, &copied))
        return WindowText(control);
    return std::string(buffer, copied < sizeof buffer ? copied : sizeof buffer - 1);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* controls = reinterpret_cast<std::vector<Control>*>(param);
    const std::string className = ClassName(child);
    controls->push_back({GetDlgCtrlID(child), className, ControlText(child, className), IsWindowEnabled(child) != FALSE,
                         IsWindowVisible(child) != FALSE, RectText(child)});
    return TRUE;
}

BOOL CALLBACK CollectTop(HWND window, LPARAM param) {
    if (!IsWindowVisible(window)) return TRUE;
    auto* windows = reinterpret_cast<std::vector<TopWindow>*>(param);
    TopWindow top;
    top.handle = window;
    top.pid = 0;
    GetWindowThreadProcessId(window, &top.pid);
    top.className = ClassName(window);
    top.caption = WindowText(window);
    top.rect = RectText(window);
    top.enabled = IsWindowEnabled(window) != FALSE;
    top.active = GetForegroundWindow() == window;
    top.xid = reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window"));
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&top.controls));
    windows->push_back(top);
    return TRUE;
}

std::vector<TopWindow> TopWindows() {
    std::vector<TopWindow> windows;
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&windows));
    const std::map<DWORD, std::string> names = ProcessNames();
    for (TopWindow& w : windows) {
        auto found = names.find(w.pid);
        if (found != names.end()) w.exe = found->second;
    }
    return windows;
}

void Print(FILE* out, const TopWindow& w) {
    std::fprintf(out,
                 "window hwnd=%p pid=%lu enabled=%d active=%d xid=0x%llx rect=%s"
                 " exe=\"%s\" class=\"%s\" caption=\"%s\"\n",
                 static_cast<void*>(w.handle), static_cast<unsigned long>(w.pid), w.enabled ? 1 : 0, w.active ? 1 : 0,
                 w.xid, w.rect.c_str(), Escape(w.exe).c_str(), Escape(w.className).c_str(), Escape(w.caption).c_str());
    for (const Control& c : w.controls) {
        std::fprintf(out, "control id=%d enabled=%d visible=%d rect=%s class=\"%s\" text=\"%s\"\n", c.id,
                     c.enabled ? 1 : 0, c.visible ? 1 : 0, c.rect.c_str(), Escape(c.className).c_str(),
                     Escape(c.text).c_str());
    }
}

struct Filter {
    const char* exe = nullptr;
    const char* caption = nullptr;
    const char* className = nullptr;
    bool wantControl = false;
    int controlId = 0;
    bool wantActive = false;

    // Reads "--name value" pairs from argv[first]; false on anything else.
    bool Parse(int argc, char** argv, int first) {
        for (int i = first; i < argc; i += 2) {
            if (i + 1 >= argc) return false;
            const std::string option = argv[i];
            if (option == "--exe") {
                exe = argv[i + 1];
            } else if (option == "--caption") {
                caption = argv[i + 1];
            } else if (option == "--class") {
                className = argv[i + 1];
            } else if (option == "--active") {
                wantActive = std::atoi(argv[i + 1]) != 0;
            } else if (option == "--control") {
                wantControl = true;
                controlId = std::atoi(argv[i + 1]);
            } else {
                return false;
            }
        }
        return true;
    }

    bool Matches(const TopWindow& w) const {
        if (exe && lstrcmpiA(exe, w.exe.c_str()) != 0) return false;
        if (caption && w.caption != caption) return false;
        if (className && w.className != className) return false;
        if (wantActive && !w.active) return false;
        if (wantControl) {
            for (const Control& c : w.controls) {
                if (c.id == controlId) return true;
            }
            return false;
        }
        return true;
    }
};

int List() {
    for (const TopWindow& w : TopWindows()) Print(stdout, w);
    return 0;
}

enum class Goal { Appear, Vanish, NotifyNodesChanged, NotifyArrival, AskEndSession };

// WM_QUERYENDSESSION, as Windows sends it before it logs off or shuts down;
// prints the window's answer ("answer N").
bool AskEndSession(HWND window) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer)) return false;
    std::printf("answer %lu\n", static_cast<unsigned long>(answer));
    return true;
}

// The device-change notification for the goal, sent and waited for.
bool SendDeviceChange(HWND window, Goal goal) {
    DWORD_PTR answer = 0;
    if (goal == Goal::NotifyNodesChanged) {
        return SendMessageTimeoutA(window, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0, SMTO_ABORTIFHUNG,
                                   5000, &answer) != 0;
    }
    // DEV_BROADCAST_DEVNODE: size, DBT_DEVTYP_DEVNODE (1), reserved, node.
    struct {
        DWORD size;
        DWORD deviceType;
        DWORD reserved;
        DWORD devNode;
    } node = {sizeof node, 1, 0, 1};
    return SendMessageTimeoutA(window, WM_DEVICECHANGE, 0x8000 /* DBT_DEVICEARRIVAL */,
                               reinterpret_cast<LPARAM>(&node), SMTO_ABORTIFHUNG, 5000, &answer) != 0;
}

// Polls the desktop every 100 ms until the goal is met or the time is up.
int WaitFor(Goal goal, int argc, char** argv) {
    if (argc < 3) return 2;
    const DWORD limit = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    Filter filter;
    if (!filter.Parse(argc, argv, 3)) return 2;
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<TopWindow> windows = TopWindows();
        const TopWindow* match = nullptr;
        for (const TopWindow& w : windows) {
            if (filter.Matches(w)) {
                match = &w;
                break;
            }
        }
        if (goal == Goal::Vanish && !match) return 0;
        if (goal == Goal::Appear && match) {
            Print(stdout, *match);
            return 0;
        }
        if ((goal == Goal::NotifyNodesChanged || goal == Goal::NotifyArrival) && match) {
            return SendDeviceChange(match->handle, goal) ? 0 : 1;
        }
        if (goal == Goal::AskEndSession && match) return AskEndSession(match->handle) ? 0 : 1;
        if (GetTickCount() - start >= limit) {
            if (goal == Goal::Vanish) {
                std::fprintf(stderr, "a matching window is still there after %lu ms:\n",
                             static_cast<unsigned long>(limit));
            } else {
                std::fprintf(stderr, "no matching window within %lu ms; the windows on the desktop:\n",
                             static_cast<unsigned long>(limit));
            }
            for (const TopWindow& w : windows) {
                if (goal != Goal::Vanish || filter.Matches(w)) Print(stderr, w);
            }
            return 1;
        }
        Sleep(100);
    }
}

// Adds one to a DWORD value of the suite's result key.
void Count(const std::string& valueName) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kResultKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
        ERROR_SUCCESS)
        count = 0;
    ++count;
    RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegCloseKey(key);
}

// The service program.
std::string g_serviceName;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Count(g_serviceName + "StopRequests");
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stopEvent);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
    g_statusHandle = RegisterServiceCtrlHandlerExA(g_serviceName.c_str(), ServiceControl, nullptr);
    if (!g_statusHandle) return;
    Report(SERVICE_RUNNING);
    // A service nobody stops ends by itself, so that no run leaves it behind.
    WaitForSingleObject(g_stopEvent, 120000);
    Report(SERVICE_STOPPED);
}

int Service(const char* name) {
    g_serviceName = name;
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> nameBuffer(g_serviceName.begin(), g_serviceName.end());
    nameBuffer.push_back('\0');
    SERVICE_TABLE_ENTRYA table[] = {{nameBuffer.data(), ServiceMain}, {nullptr, nullptr}};
    const BOOL ran = StartServiceCtrlDispatcherA(table);
    CloseHandle(g_stopEvent);
    return ran ? 0 : 1;
}

// The stand-in window.
std::string g_windowClass;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == 1129) {
        Count(g_windowClass + "Commands");
        PostQuitMessage(0);
        return 1;
    }
    if (message == WM_TIMER) {
        PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int StandInWindow(const char* className, DWORD limit) {
    g_windowClass = className;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowA(className, className, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                                nullptr);
    if (!window) return 1;
    SetTimer(window, 1, limit, nullptr);
    // Announce readiness only once the window can be found.
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(window);
    return static_cast<int>(msg.wParam);
}

int ListTree(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        std::printf("error %ld opening %s\n", static_cast<long>(opened), Escape(path).c_str());
        return 1;
    }
    std::printf("key %s\n", Escape(path).c_str());
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[1024];
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        data[dataSize] = 0;
        std::printf("value %s=%s\n", Escape(name).c_str(),
                    type == REG_SZ ? Escape(reinterpret_cast<char*>(data)).c_str() : "(not text)");
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ListTree(parent, path.empty() ? std::string(name) : path + "\\" + name);
    }
    RegCloseKey(key);
    return 0;
}

// Keeps a file in use for at most MS milliseconds, after printing "ready":
// open for reading, sharing reading only (as a running program holds its
// data files), or loaded as a library (as the running utility holds its
// security library).
int HoldFile(const char* path, DWORD limit, bool load) {
    HANDLE file = INVALID_HANDLE_VALUE;
    HMODULE library = nullptr;
    if (load) {
        library = LoadLibraryA(path);
    } else {
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (!library && file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: error %lu\n", path, static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(limit);
    if (library) FreeLibrary(library);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "list") return List();
    if (mode == "wait") return WaitFor(Goal::Appear, argc, argv);
    if (mode == "gone") return WaitFor(Goal::Vanish, argc, argv);
    if (mode == "devchange") return WaitFor(Goal::NotifyNodesChanged, argc, argv);
    if (mode == "devarrival") return WaitFor(Goal::NotifyArrival, argc, argv);
    if (mode == "endsession") return WaitFor(Goal::AskEndSession, argc, argv);
    if (mode == "dyndata" && argc > 2 && std::string(argv[2]) == "list") return ListTree(HKEY_DYN_DATA, argc > 3 ? argv[3] : "");
    if ((mode == "hold" || mode == "load") && argc > 3)
        return HoldFile(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)), mode == "load");
    if (mode == "service" && argc > 2) return Service(argv[2]);
    if (mode == "window" && argc > 3) {
        return StandInWindow(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    }
    std::fprintf(stderr, "usage: winprobe list | wait|gone MS [--exe N] [--caption T] [--class C]"
                         " [--control ID] [--active 1] | devchange|devarrival|endsession MS FILTER... | service NAME |"
                         " window CLASS MS | hold|load FILE MS | dyndata list [KEY]\n");
    return 2;
}
