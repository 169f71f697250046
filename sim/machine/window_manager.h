// The windows of the emulated machine: the tool's dialogs and their
// controls, built from the application's resource script; the message queue
// of the tool's one thread with its timers, posted, sent and input messages;
// message boxes; resources (strings, icons, cursors, bitmaps); painting; and
// windows of other programs that a scenario puts on the machine.
//
// Time is virtual: a message loop with nothing to do moves the machine's
// clock to the next thing that can happen (a timer, a device arriving, a
// program ending, an action of the scripted user). A loop that can never
// get anything again, or that idles longer than the idle limit with no user
// action left to come, throws ScenarioStalled.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "sim/include/types.h"
#include "sim/include/user.h"
#include "sim/machine/clock.h"
#include "sim/machine/window_errors.h"

namespace sim {

class Machine;
class UserScript;
struct DialogTemplate;

// One message box the tool showed, and how it was answered.
struct MessageBoxRecord {
    Clock::Millis opened = 0;
    std::optional<Clock::Millis> closed;
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;  // the MB_* flags as given
    int result = 0;
    // "rule", "script", "Enter", "Escape", "default" or "quit".
    std::string answeredBy;
};

// One DrawIcon call.
struct IconDrawing {
    Clock::Millis time = 0;
    HWND window = nullptr;  // the window whose paint the device context belongs to
    int x = 0;
    int y = 0;
    HICON icon = nullptr;
    std::optional<int> resourceId;  // the icon's resource, when it was loaded from one
};

class WindowManager {
public:
    static constexpr Clock::Millis kDefaultIdleLimit = 2ull * 60 * 60 * 1000;

    explicit WindowManager(Machine& machine);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // ---- for scenarios and tests ------------------------------------------
    UserScript& User() { return *user_; }

    // What a person sees of a window: the caption, then each control in
    // template order with its kind, text and state.
    std::string Describe(HWND window) const;
    // The dialog the user would act on: the most recent visible top-level
    // dialog of the tool; null when none is shown.
    HWND OpenDialog() const;
    // The tool's top-level windows, oldest first.
    std::vector<HWND> TopLevelWindows() const;
    HWND DesktopWindow() const { return desktop_; }

    const std::vector<MessageBoxRecord>& MessageBoxes() const { return boxes_; }
    bool IsMessageBoxOpen() const { return !openBoxes_.empty(); }
    const std::vector<IconDrawing>& IconDrawings() const { return drawings_; }
    HCURSOR CurrentCursor() const { return cursor_; }
    // The value given to EndDialog, once it was called for the dialog.
    std::optional<INT_PTR> DialogResult(HWND dialog) const;
    // The resource number of a loaded icon, cursor or bitmap.
    std::optional<int> ImageResourceId(HANDLE image) const;

    // Leak checks: windows of the tool (controls included), timers, icons,
    // cursors and bitmaps loaded without LR_SHARED and not yet freed, and
    // paint device contexts not yet released.
    size_t OpenWindowCount() const;
    size_t TimerCount() const { return timers_.size(); }
    size_t LoadedImageCount() const;
    size_t OpenPaintCount() const { return paints_.size(); }

    // A window of another program, found by FindWindowA. SendMessageA to it
    // returns what `reply` returns; both are recorded (kind "window").
    HWND AddForeignWindow(std::string className, std::string title, std::function<LRESULT(UINT, WPARAM, LPARAM)> reply);
    bool RemoveForeignWindow(HWND window);

    // Sent from outside the tool's thread: delivered when the tool next
    // retrieves messages, before any posted message, as Windows delivers
    // sent messages. `keepAlive` holds the data `lParam` points to until
    // the message has been delivered.
    void BroadcastDeviceChange(UINT event, LPARAM data, std::shared_ptr<const void> keepAlive = nullptr);
    void SendFromOutside(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         std::function<void(LRESULT)> onReply = nullptr);
    // The system asks every top-level window of the tool whether the session
    // may end (WM_QUERYENDSESSION); a FALSE refuses, else all get
    // WM_ENDSESSION and the process ends (SessionEnded is thrown, unless
    // endSessionEndsProcess is false).
    void RequestEndSession(bool logoff = false);
    bool SessionHasEnded() const { return sessionEnded_; }
    bool endSessionEndsProcess = true;

    // Virtual time a loop may idle with no user action left to come.
    void SetIdleLimit(Clock::Millis limit) { idleLimit_ = limit; }
    Clock::Millis IdleLimit() const { return idleLimit_; }

    // ---- the Win32 functions (sim/dlls/user32 calls these) ----------------
    int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
    int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
    HICON LoadIconA(HINSTANCE instance, LPCSTR name);
    HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
    HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
    BOOL DestroyIcon(HICON icon);
    BOOL DeleteObject(HGDIOBJ object);
    HCURSOR SetCursor(HCURSOR cursor);
    int GetSystemMetrics(int index) const;

    HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param);
    BOOL DestroyWindow(HWND window);
    BOOL EndDialog(HWND dialog, INT_PTR result);
    BOOL IsWindow(HWND window) const;
    HWND GetDlgItem(HWND dialog, int id);
    int GetDlgCtrlID(HWND control);
    BOOL SetWindowTextA(HWND window, LPCSTR text);
    int GetWindowTextA(HWND window, LPSTR buffer, int size);
    int GetWindowTextLengthA(HWND window);
    BOOL EnableWindow(HWND window, BOOL enable);
    BOOL IsWindowEnabled(HWND window);
    BOOL ShowWindow(HWND window, int command);
    BOOL IsWindowVisible(HWND window) const;
    BOOL IsIconic(HWND window) const;
    HWND GetParent(HWND window);
    HWND GetFocus() const { return focus_; }
    HWND SetFocus(HWND window);
    LONG_PTR GetWindowLongPtrA(HWND window, int index);
    LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
    BOOL GetClientRect(HWND window, LPRECT rect);
    BOOL UpdateWindow(HWND window);
    BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
    HWND FindWindowA(LPCSTR className, LPCSTR windowName);

    LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void PostQuitMessage(int exitCode);
    LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
    BOOL KillTimer(HWND window, UINT_PTR id);

    BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
    BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
    BOOL TranslateMessage(const MSG* msg);
    LRESULT DispatchMessageA(const MSG* msg);
    BOOL IsDialogMessageA(HWND dialog, LPMSG msg);
    DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                    DWORD wakeMask);

    HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
    BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
    BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

private:
    friend class UserScript;

    struct Window {
        HWND handle = nullptr;
        std::string className;
        std::string text;
        DWORD style = 0;
        DWORD exStyle = 0;
        int id = 0;
        HWND parent = nullptr;  // the parent of a child window, the owner of a top-level one
        std::vector<HWND> children;
        bool foreign = false;
        bool desktop = false;
        std::function<LRESULT(UINT, WPARAM, LPARAM)> reply;  // a foreign window's answers

        // Dialogs.
        bool isDialog = false;
        DLGPROC dialogProc = nullptr;
        LONG_PTR msgResult = 0;
        LONG_PTR user = 0;
        int defaultId = IDOK;  // DM_SETDEFID / DM_GETDEFID
        bool ended = false;
        INT_PTR endResult = 0;
        const DialogTemplate* dialogTemplate = nullptr;
        bool appeared = false;  // shown and described in the transcript
        bool needsPaint = false;
        int paintsWithoutValidation = 0;
        HWND savedFocus = nullptr;  // the focus while the window is inactive

        // Controls.
        int controlIndex = -1;  // in the template
        std::string label;      // its name in the transcript
        HANDLE image = nullptr;
        UINT imageType = IMAGE_BITMAP;
        bool pressed = false;

        LONG_PTR userData = 0;
        HICON bigIcon = nullptr;
        HICON smallIcon = nullptr;
        RECT client{};  // in pixels
        bool destroying = false;
    };

    struct Timer {
        HWND window = nullptr;
        UINT_PTR id = 0;
        UINT elapse = 0;
        Clock::Millis due = 0;
        TIMERPROC proc = nullptr;
        std::uint64_t order = 0;
    };

    struct Posted {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Input from the scripted user, waiting in the queue until the tool
    // retrieves messages.
    struct Input {
        enum class Kind { MouseDown, MouseUp, Key, Minimise, Restore };
        Kind kind;
        HWND target = nullptr;
        WPARAM key = 0;
        std::uint64_t click = 0;
    };

    struct Image {
        UINT type = IMAGE_ICON;
        std::optional<int> resourceId;
        bool system = false;  // one of Windows' own icons or cursors
        bool shared = false;
        int cx = 0;
        int cy = 0;
    };

    // A message box while it is open.
    struct OpenBox {
        size_t record = 0;
        bool answered = false;
        int result = 0;
        std::string answeredBy;
    };

    enum class Got { Message, Quit, Stopped, Nothing };
    enum class Pick { Produced, Consumed, None };

    // ---- windows (window_manager.cpp) ----
    Window* Find(HWND window) const;
    Window* FindOwn(HWND window) const;  // a window of the tool: not foreign, not the desktop
    Window* FailInvalid(HWND window) const;
    HWND NewWindow(std::unique_ptr<Window> window);
    void DestroyTree(HWND window);
    bool IsDescendant(HWND ancestor, HWND window) const;
    HWND TopLevelOf(HWND window) const;
    bool TakesInput(HWND window) const;
    bool EffectivelyEnabled(HWND window) const;
    void SetStyle(HWND window, DWORD style);
    void SetText(HWND window, const std::string& text);
    void Appear(HWND dialog);
    void NoteControl(HWND control, const std::string& what);
    std::string ControlKind(const Window& w) const;
    std::string Label(HWND window) const;
    std::string Caption(HWND window) const;
    std::string StallReport(const std::string& reason) const;
    RECT PixelRect(const DialogTemplate& dialog, int x, int y, int cx, int cy) const;

    // ---- messages (window_messages.cpp) ----
    LRESULT CallWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Notify(HWND control, WORD code);
    Got Retrieve(MSG* msg, HWND filter, UINT min, UINT max, bool remove, bool wait,
                 std::optional<Clock::Millis> deadline, const std::function<bool()>& stop);
    bool Matches(HWND window, UINT message, HWND filter, UINT min, UINT max) const;
    void DeliverSent();
    bool TakePosted(MSG* msg, HWND filter, UINT min, UINT max, bool remove);
    Pick TakeInput(MSG* msg, HWND filter, UINT min, UINT max, bool remove);
    bool TakePaint(MSG* msg, HWND filter, UINT min, UINT max);
    bool TakeTimer(MSG* msg, HWND filter, UINT min, UINT max, bool remove);
    bool HasInput(DWORD wakeMask) const;
    void WaitForSomething(std::optional<Clock::Millis> deadline);
    void FillMessage(MSG* msg, HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;
    void RunEndSession(bool logoff);
    void KillTimersOf(HWND window);

    // ---- message boxes and the scripted user (window_msgbox.cpp) ----
    bool AnswerOpenBox(int button, const std::string& by);
    void BoxKey(WPARAM key);
    void ScriptClick(int id, const std::string& text, bool byText);
    void ScriptKey(WPARAM key);
    void ScriptAnswer(int button);
    void ScriptShow(bool restore);
    void NoteUserAction() { idleWaited_ = 0; }
    std::string WhyNoInput(HWND window) const;

    // ---- resources (window_resources.cpp) ----
    HANDLE NewImage(UINT type, int resourceId, bool system, bool shared, int cx, int cy);
    HANDLE SharedImage(UINT type, int resourceId, int cx, int cy, bool system = false);
    int ResourceNumber(LPCSTR name) const;
    const Image* FindImage(HANDLE handle) const;
    bool IsAppInstance(HINSTANCE instance) const;

    Machine& machine_;
    std::unique_ptr<UserScript> user_;
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows_;
    std::vector<HWND> topLevel_;  // the tool's top-level windows and foreign windows, oldest first
    HWND desktop_ = nullptr;
    HWND focus_ = nullptr;

    std::deque<Posted> posted_;
    std::deque<Input> input_;
    std::deque<std::function<void()>> sent_;
    bool quitPending_ = false;
    int quitCode_ = 0;
    std::vector<Timer> timers_;
    std::uint64_t timerOrder_ = 0;
    UINT_PTR nextThreadTimerId_ = 1;
    std::uint64_t nextClick_ = 1;

    std::vector<MessageBoxRecord> boxes_;
    std::vector<OpenBox*> openBoxes_;

    std::map<std::uintptr_t, Image> images_;
    std::map<std::tuple<UINT, bool, int, int, int>, HANDLE> sharedImages_;
    HCURSOR cursor_ = nullptr;
    std::map<std::uintptr_t, HWND> paints_;  // device context -> window
    std::vector<IconDrawing> drawings_;

    Clock::Millis idleLimit_ = kDefaultIdleLimit;
    // Virtual time the tool's loops have waited since the user last acted.
    Clock::Millis idleWaited_ = 0;
    bool sessionEnded_ = false;
};

}  // namespace sim
