// The windows of the emulated machine: the tool's dialogs and their
// controls, built from the application's resource script; the message queue
// of the tool's one thread with its timers, posted, sent and input messages;
// message boxes; resources (strings, icons, cursors, bitmaps); painting; and
// windows of other programs that a scenario puts on the machine.
//
// The model speaks C++: a window is known by its handle and held as a
// Window; messages are Message values; results are values. Only the entry
// points of sim/dlls/user32 and sim/dlls/gdi32 are shaped like Win32: they
// turn a handle into its window (or fail the call), check the arguments,
// call the operations below and fill the caller's buffers. The model never
// sets the last error. The window procedures of Windows' own classes
// (dialog, button, static, edit) live in the model, so the messages they
// answer carry the caller's pointers, as on Windows.
//
// Time is virtual: a message loop with nothing to do moves the machine's
// clock to the next thing that can happen (a timer, a device arriving, a
// program ending, an action of the scripted user). A loop that can never
// get anything again, or that idles longer than the idle limit with no user
// action left to come, throws ScenarioStalled.
//
// The parts live in sim/machine/windows/: windows and their state
// (windows.cpp), the dialog as text and the transcript (describe.cpp), the
// window procedures and the dialog manager (procedures.cpp), the queue,
// timers and waiting (queue.cpp), message boxes and the scripted user
// (message_boxes.cpp), and resources and painting (resources.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "sim/include/types.h"
#include "sim/include/user.h"
#include "sim/machine/clock.h"
#include "sim/machine/result.h"
#include "sim/machine/window_errors.h"

namespace sim {

class Machine;
class UserScript;
struct DialogTemplate;

// A message as a window procedure gets it.
struct Message {
    UINT id = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A message taken from the queue, for a window or for the thread (no window).
struct QueuedMessage {
    HWND window = nullptr;
    Message message;
    DWORD time = 0;  // the tick count when it was taken
};

// Which queued messages a retrieval takes: those of the window and its
// descendants (null: any; kThreadOnly: only messages without a window), in
// the range first..last (0, 0: all).
struct MessageFilter {
    static inline const HWND kThreadOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
    HWND window = nullptr;
    UINT first = 0;
    UINT last = 0;
};

// One window. Read it freely. Its style, text, visibility and focus change
// through the WindowManager, which keeps the focus, the transcript and the
// messages in step; the plain slots SetWindowLongPtr writes (exStyle, id,
// userData, msgResult, dialogProc, user) have no such ties and are written
// in place.
struct Window {
    HWND handle = nullptr;
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    HWND parent = nullptr;  // the parent of a child window, the owner of a top-level one
    std::vector<HWND> children;
    bool foreign = false;  // another program's window
    bool desktop = false;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> reply;  // a foreign window's answers

    // Dialogs.
    bool isDialog = false;
    DLGPROC dialogProc = nullptr;
    LONG_PTR msgResult = 0;  // DWLP_MSGRESULT
    LONG_PTR user = 0;       // DWLP_USER
    int defaultId = IDOK;    // DM_SETDEFID / DM_GETDEFID
    bool ended = false;
    INT_PTR endResult = 0;
    const DialogTemplate* dialogTemplate = nullptr;
    bool appeared = false;  // shown and described in the transcript
    bool needsPaint = false;
    int paintsWithoutValidation = 0;
    // How many messages the dialog procedure is handling right now: more
    // than one while a handler waits and dispatches messages meanwhile.
    int handling = 0;
    HWND savedFocus = nullptr;  // the focus while the window is inactive

    // Controls.
    int controlIndex = -1;  // in the template
    std::string label;      // its name in the transcript
    HANDLE image = nullptr;
    UINT imageType = IMAGE_BITMAP;
    bool pressed = false;

    LONG_PTR userData = 0;  // GWLP_USERDATA
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    RECT client{};  // in pixels
    bool destroying = false;

    bool IsOwn() const { return !foreign && !desktop; }
};

// What ShowWindow asks for.
enum class ShowState { Hide, Normal, Minimised, Maximised, Shown };

// An icon, cursor or bitmap loaded from the tool's module or from Windows.
struct Image {
    UINT type = IMAGE_ICON;
    std::optional<int> resourceId;
    bool system = false;  // one of Windows' own icons or cursors
    bool shared = false;  // lives as long as its module: freeing it does nothing
    int cx = 0;
    int cy = 0;
};

struct ImageRequest {
    UINT type = IMAGE_ICON;
    int resourceId = -1;  // -1: a named resource, which the tool's module lacks
    bool system = false;  // Windows' own (no module) rather than the tool's
    int cx = 0;           // 0: the resource's own size
    int cy = 0;
    bool shared = false;
};

// A string of the tool's string table: Windows finds strings by their block
// of sixteen, so only a missing block is an error; a missing string in a
// block is an empty one.
struct StringLookup {
    std::string text;
    bool blockFound = false;
};

// How MsgWaitForMultipleObjects ends.
struct WaitOutcome {
    enum class Kind { Signalled, Input, TimedOut, BadHandle };
    Kind kind = Kind::TimedOut;
    size_t index = 0;  // the signalled object
};

struct PaintStart {
    HDC dc = nullptr;
    RECT area{};
};

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
    static constexpr int kScreenWidth = 1024;
    static constexpr int kScreenHeight = 768;
    static constexpr int kIconSize = 32;
    static constexpr int kSmallIconSize = 16;
    static constexpr int kCursorSize = 32;

    explicit WindowManager(Machine& machine);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // ---- for scenarios and tests ------------------------------------------
    UserScript& User() { return *user_; }

    // What a person sees of a window: the caption, then each control in
    // template order with its kind, text and state.
    std::string Describe(HWND window) const;
    // How the transcript names a window: a control by its label, a
    // top-level window by its quoted caption, an unknown handle by value.
    std::string NameOf(HWND window) const;
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

    // A window of another program, found by FindTopLevel. A message sent
    // to it is answered by `reply`; both are recorded (kind "window").
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

    // ---- windows (windows.cpp) ---------------------------------------------
    // Any window of the machine; null for a handle that is none.
    Window* Find(HWND window) const;
    // A window of the tool: not another program's, not the desktop.
    Window* FindOwn(HWND window) const;
    // The most recently created top-level window with that class and
    // caption (case ignored; nullopt matches any); null when none.
    HWND FindTopLevel(std::optional<std::string_view> className, std::optional<std::string_view> title) const;
    // A child of the dialog by its control id; null when none.
    HWND Control(HWND dialog, int id) const;
    // Visible, and every parent visible too.
    bool IsShown(HWND window) const;
    HWND Focus() const { return focus_; }

    // Builds the dialog and its controls hidden, sends WM_INITDIALOG, then
    // focuses and shows it as Windows does. Null when the dialog procedure
    // destroyed it meanwhile.
    HWND BuildDialog(const DialogTemplate& dialogTemplate, HWND owner, DLGPROC procedure, LPARAM param);
    // Destroys a window of the tool with the windows it owns and its
    // children, with WM_DESTROY and WM_NCDESTROY.
    void Destroy(HWND window);
    // EndDialog: records the result, hides the dialog, enables its owner
    // again and wakes the modal loop.
    void FinishDialog(HWND dialog, INT_PTR result);

    void SetStyle(HWND window, DWORD style);
    // Returns whether the window was disabled before.
    bool Enable(HWND window, bool enable);
    // Returns whether the window was visible before.
    bool Show(HWND window, ShowState state);
    // Gives the keyboard focus to a window of the tool, or takes it away
    // (null); the previous focus, or nullopt when the window cannot take
    // it (it, or a window it lies in, is disabled or minimised).
    std::optional<HWND> MoveFocus(HWND window);

    // ---- messages (procedures.cpp, queue.cpp) -------------------------------
    LRESULT Send(HWND window, const Message& message);
    // A message for the window's queue; a null window posts to the thread.
    // Another program's window handles it at once, on its own.
    void Post(HWND window, const Message& message);
    void PostQuit(int exitCode);
    // What DefWindowProc does with a message.
    LRESULT DefaultProcedure(HWND window, const Message& message);

    // A timer of a window (or, without one, of the thread; an id that is not
    // one of the thread's timers is replaced by a new one). Setting it again
    // restarts its period. Returns the timer's id.
    UINT_PTR StartTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
    bool StopTimer(HWND window, UINT_PTR id);

    // The next message, waiting on the virtual clock until there is one; a
    // WM_QUIT message when the thread is to quit.
    QueuedMessage NextMessage(const MessageFilter& filter);
    // A message that is there now, if any, taken out of the queue or not.
    std::optional<QueuedMessage> PendingMessage(const MessageFilter& filter, bool remove);
    // TranslateMessage: a key that makes a character posts WM_CHAR.
    bool Translate(const QueuedMessage& queued);
    // DispatchMessage: a timer's procedure, or the window's procedure.
    LRESULT Dispatch(const QueuedMessage& queued);
    // IsDialogMessage: Enter and Escape as the dialog manager reads them,
    // every other message dispatched. False for a message of another window.
    bool HandleDialogMessage(HWND dialog, const QueuedMessage& queued);
    // Waits until one (or all) of the processes behind `handles` has ended,
    // input of the kinds in `wakeMask` (QS_*) is there, or `timeout` passes.
    WaitOutcome WaitForObjectsOrInput(const std::vector<HANDLE>& handles, bool waitAll,
                                      std::optional<Clock::Millis> timeout, DWORD wakeMask);

    // ---- message boxes (message_boxes.cpp) -----------------------------------
    // Shows a box (an owner, when given, is a window of the machine and the
    // type a valid one), waits for the scripted user's answer and returns
    // the button.
    int ShowMessageBox(HWND owner, std::string text, std::string caption, UINT type);

    // ---- resources and painting (resources.cpp) -------------------------------
    StringLookup LookUpString(UINT id) const;
    // ERROR_RESOURCE_NAME_NOT_FOUND when there is no such image,
    // ERROR_RESOURCE_TYPE_NOT_FOUND for cursors of the tool's module.
    Result<HANDLE> LoadImageResource(const ImageRequest& request);
    const Image* FindImage(HANDLE handle) const;
    // Frees an image that is not shared.
    void FreeImage(HANDLE handle);
    HCURSOR ChangeCursor(HCURSOR cursor);

    // BeginPaint: a device context for the window's client area; painting
    // validates the window.
    PaintStart StartPainting(HWND window);
    void EndPainting(HDC dc);
    // The window a paint device context belongs to; null for any other.
    HWND PaintedWindow(HDC dc) const;
    // Records a DrawIcon on a paint device context.
    void PaintIcon(HDC dc, int x, int y, HICON icon);
    // A dialog gets WM_PAINT when it next looks for messages; a null window
    // means every dialog of the tool.
    void Invalidate(HWND window);
    // Sends WM_PAINT at once to a dialog that needs it.
    void Update(HWND window);

private:
    friend class UserScript;

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
        Message message;
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

    // A message box while it is open.
    struct OpenBox {
        size_t record = 0;
        bool answered = false;
        int result = 0;
        std::string answeredBy;
    };

    enum class Got { Message, Quit, Stopped, Nothing };
    enum class Pick { Produced, Consumed, None };

    // ---- windows (windows.cpp) ----
    HWND NewWindow(std::unique_ptr<Window> window);
    void DestroyTree(HWND window);
    bool IsDescendant(HWND ancestor, HWND window) const;
    HWND TopLevelOf(HWND window) const;
    bool TakesInput(HWND window) const;
    bool EffectivelyEnabled(HWND window) const;
    void SetText(HWND window, const std::string& text);
    RECT PixelRect(const DialogTemplate& dialog, int x, int y, int cx, int cy) const;

    // ---- the dialog as text (describe.cpp) ----
    void Appear(HWND dialog);
    void NoteControl(HWND control, const std::string& what);
    std::string ControlKind(const Window& w) const;
    std::string Label(HWND window) const;
    std::string Caption(HWND window) const;
    std::string StallReport(const std::string& reason) const;

    // ---- window procedures (procedures.cpp) ----
    LRESULT CallWindow(HWND window, const Message& message);
    LRESULT DefDlgProc(HWND dialog, const Message& message);
    LRESULT ButtonProc(HWND window, const Message& message);
    LRESULT StaticProc(HWND window, const Message& message);
    LRESULT EditProc(HWND window, const Message& message);
    void Notify(HWND control, WORD code);

    // ---- the queue (queue.cpp) ----
    Got Retrieve(QueuedMessage* out, const MessageFilter& filter, bool remove, bool wait,
                 std::optional<Clock::Millis> deadline, const std::function<bool()>& stop);
    bool Matches(HWND window, UINT message, const MessageFilter& filter) const;
    void DeliverSent();
    bool TakePosted(QueuedMessage* out, const MessageFilter& filter, bool remove);
    Pick TakeInput(QueuedMessage* out, const MessageFilter& filter, bool remove);
    bool TakePaint(QueuedMessage* out, const MessageFilter& filter);
    bool TakeTimer(QueuedMessage* out, const MessageFilter& filter, bool remove);
    bool HasInput(DWORD wakeMask) const;
    void WaitForSomething(std::optional<Clock::Millis> deadline);
    QueuedMessage Queued(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;
    void RunEndSession(bool logoff);
    void KillTimersOf(HWND window);

    // ---- message boxes and the scripted user (message_boxes.cpp) ----
    bool AnswerOpenBox(int button, const std::string& by);
    void BoxKey(WPARAM key);
    void ScriptClick(int id, const std::string& text, bool byText);
    void ScriptKey(WPARAM key);
    void ScriptAnswer(int button);
    void ScriptShow(bool restore);
    void NoteUserAction() { idleWaited_ = 0; }
    std::string WhyNoInput(HWND window) const;

    // ---- resources (resources.cpp) ----
    HANDLE NewImage(const ImageRequest& request);
    HANDLE SharedImage(UINT type, int resourceId, int cx, int cy, bool system = false);

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
