// User32's message functions: sending and posting, timers, the message
// loop and MsgWaitForMultipleObjects, over the machine's window manager.
//
// Each function turns its handle into the window or fails the call, checks
// its arguments as Windows does, and hands the message to the window
// manager as a Message; MSG structures are filled here. A failure sets the
// last error and adds a "failure" line.
#include <algorithm>
#include <vector>

#include "sim/dlls/entry.h"
#include "sim/dlls/user32/calls.h"

using sim::MessageFilter;
using sim::QueuedMessage;
using sim::Window;
using sim::user32::FailFor;
using sim::user32::OwnWindowOrFail;
using sim::user32::Windows;
using sim::user32::WindowOrFail;

namespace {

// A filter window must be a window, or one of the two special values.
bool FilterWindowOrFail(const char* call, HWND window) {
    return !window || window == MessageFilter::kThreadOnly || WindowOrFail(call, window);
}

}  // namespace

// ---- sending and posting ---------------------------------------------------------------

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!WindowOrFail("SendMessageA", window)) return 0;
    return Windows().Send(window, {message, wParam, lParam});
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !WindowOrFail("PostMessageA", window)) return FALSE;
    Windows().Post(window, {message, wParam, lParam});
    return TRUE;
}

void PostQuitMessage(int exitCode) { Windows().PostQuit(exitCode); }

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Windows().DefaultProcedure(window, {message, wParam, lParam});
}

// ---- timers --------------------------------------------------------------------------------

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (window && !OwnWindowOrFail("SetTimer", window)) return 0;
    return Windows().StartTimer(window, id, std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM), proc);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    constexpr const char* kCall = "KillTimer";
    if (window && !WindowOrFail(kCall, window)) return FALSE;
    if (Windows().StopTimer(window, id)) return TRUE;
    FailFor(kCall, window, ERROR_INVALID_PARAMETER);
    return FALSE;
}

// ---- the message loop ---------------------------------------------------------------------

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    constexpr const char* kCall = "GetMessageA";
    if (!msg) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!FilterWindowOrFail(kCall, window)) return -1;
    const QueuedMessage queued = Windows().NextMessage({window, filterMin, filterMax});
    sim::user32::ToMsg(queued, msg);
    return queued.message.id == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    constexpr const char* kCall = "PeekMessageA";
    if (!msg) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!FilterWindowOrFail(kCall, window)) return FALSE;
    const std::optional<QueuedMessage> queued =
        Windows().PendingMessage({window, filterMin, filterMax}, (remove & PM_REMOVE) != 0);
    if (!queued) return FALSE;
    sim::user32::ToMsg(*queued, msg);
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    return msg && Windows().Translate(sim::user32::FromMsg(*msg)) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    // A timer's procedure runs whatever the window; otherwise the window
    // must still be there.
    const bool timerProcedure = msg->message == WM_TIMER && msg->lParam;
    if (!timerProcedure && msg->hwnd && !WindowOrFail("DispatchMessageA", msg->hwnd)) return 0;
    return Windows().Dispatch(sim::user32::FromMsg(*msg));
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
    if (!msg) return FALSE;
    return Windows().HandleDialogMessage(dialog, sim::user32::FromMsg(*msg)) ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
    constexpr const char* kCall = "MsgWaitForMultipleObjects";
    // One slot of the wait is the thread's input.
    if (count >= MAXIMUM_WAIT_OBJECTS || (count && !handles)) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const std::vector<HANDLE> objects(handles, handles + count);
    std::optional<sim::Clock::Millis> timeout;
    if (milliseconds != INFINITE) timeout = milliseconds;
    const sim::WaitOutcome outcome = Windows().WaitForObjectsOrInput(objects, waitAll != FALSE, timeout, wakeMask);
    switch (outcome.kind) {
        case sim::WaitOutcome::Kind::Signalled:
        case sim::WaitOutcome::Kind::Input: return WAIT_OBJECT_0 + static_cast<DWORD>(outcome.index);
        case sim::WaitOutcome::Kind::TimedOut: return WAIT_TIMEOUT;
        case sim::WaitOutcome::Kind::BadHandle: break;
    }
    sim::dll::Fail(kCall, "", ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}
