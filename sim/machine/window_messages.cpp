// The message queue of the tool's thread: sent, posted and input messages,
// painting, timers and WM_QUIT, retrieved in the order Windows retrieves
// them; waiting on the virtual clock; window procedures of the dialog and
// its controls; IsDialogMessage; messages from outside the thread.
#include <algorithm>
#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"
#include "sim/formats/resources.h"
#include "sim/base/text.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

constexpr DWORD kMaximumWaitObjects = 64;
constexpr UINT kUserTimerMinimum = 0x0000000A;
constexpr UINT kUserTimerMaximum = 0x7FFFFFFF;
// A window that keeps getting WM_PAINT without ever validating itself would
// make the emulated thread spin at one instant of virtual time.
constexpr int kMaximumUnvalidatedPaints = 10000;

// The messages whose result a dialog procedure returns itself rather than
// through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    return message == WM_INITDIALOG || message == WM_QUERYDRAGICON || message == 0x002E /*WM_VKEYTOITEM*/ ||
           message == 0x002F /*WM_CHARTOITEM*/ || message == 0x0039 /*WM_COMPAREITEM*/ ||
           (message >= 0x0132 && message <= 0x0138) /*WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC*/;
}

std::string QuoteName(const std::string& text) { return "\"" + text + "\""; }

std::string FormatDuration(Clock::Millis ms) {
    if (ms % 3600000 == 0) return std::to_string(ms / 3600000) + " h";
    if (ms % 60000 == 0) return std::to_string(ms / 60000) + " min";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

}  // namespace

// ---- window procedures -----------------------------------------------------------

LRESULT WindowManager::CallWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    if (!w || w->desktop) return 0;
    if (w->foreign) {
        // Copies: the reply may remove the window.
        const auto reply = w->reply;
        const std::string name = QuoteName(w->className) + " " + QuoteName(w->text);
        const LRESULT result = reply ? reply(message, wParam, lParam) : 0;
        machine_.Record("window", "message 0x" + Hex(message, 4) + " to " + name + ": " + std::to_string(result));
        return result;
    }
    if (w->isDialog) return DefDlgProc(window, message, wParam, lParam);
    if (EqualNoCase(w->className, "Button")) return ButtonProc(window, message, wParam, lParam);
    if (EqualNoCase(w->className, "Static")) return StaticProc(window, message, wParam, lParam);
    if (EqualNoCase(w->className, "Edit")) return EditProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT WindowManager::DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(dialog);
    if (!w) return 0;
    w->msgResult = 0;
    const DLGPROC proc = w->dialogProc;
    const INT_PTR result = proc ? proc(dialog, message, wParam, lParam) : FALSE;
    w = Find(dialog);
    if (!result && w) {
        // The dialog procedure left the message to the dialog manager.
        switch (message) {
            case WM_CLOSE: {
                // A click on Cancel, unless the dialog's Cancel is disabled.
                const Window* cancel = nullptr;
                HWND cancelHandle = nullptr;
                for (HWND child : w->children) {
                    const Window* c = Find(child);
                    if (c && c->id == IDCANCEL) {
                        cancel = c;
                        cancelHandle = child;
                        break;
                    }
                }
                if (!cancel || !(cancel->style & WS_DISABLED)) {
                    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(cancelHandle));
                }
                return 0;
            }
            case DM_GETDEFID: {
                if (w->ended) return 0;
                if (w->defaultId) return MAKELONG(w->defaultId, DC_HASDEFID);
                for (HWND child : w->children) {
                    const Window* c = Find(child);
                    if (c && EqualNoCase(c->className, "Button") && (c->style & 0xF) == BS_DEFPUSHBUTTON) {
                        return MAKELONG(c->id, DC_HASDEFID);
                    }
                }
                return 0;
            }
            case DM_SETDEFID: {
                if (w->ended) return TRUE;
                w->defaultId = static_cast<int>(wParam);
                for (HWND child : std::vector<HWND>(w->children)) {
                    Window* c = Find(child);
                    if (!c || !EqualNoCase(c->className, "Button")) continue;
                    const DWORD type = c->style & 0xF;
                    if (type == BS_DEFPUSHBUTTON && c->id != w->defaultId) {
                        c->style = (c->style & ~0xFu) | BS_PUSHBUTTON;
                    } else if (type == BS_PUSHBUTTON && c->id == w->defaultId) {
                        c->style = (c->style & ~0xFu) | BS_DEFPUSHBUTTON;
                    }
                }
                return TRUE;
            }
            case WM_ERASEBKGND: return 1;
            case WM_INITDIALOG:
            case 0x002E:  // WM_VKEYTOITEM
            case 0x002F:  // WM_CHARTOITEM
            case 0x0039:  // WM_COMPAREITEM
                break;
            default: return DefWindowProcA(dialog, message, wParam, lParam);
        }
    }
    if (ReturnsDirectly(message)) return result;
    w = Find(dialog);
    return w ? w->msgResult : 0;
}

LRESULT WindowManager::DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    if (!w) return 0;
    switch (message) {
        case WM_SETTEXT: SetText(window, lParam ? reinterpret_cast<const char*>(lParam) : ""); return TRUE;
        case WM_GETTEXT: {
            if (wParam == 0 || !lParam) return 0;
            char* buffer = reinterpret_cast<char*>(lParam);
            const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
            std::memcpy(buffer, w->text.data(), n);
            buffer[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_QUERYENDSESSION:
        case WM_DEVICECHANGE: return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
        case WM_ICONERASEBKGND: return 1;
        case WM_SETICON: {
            HICON& slot = wParam == ICON_SMALL ? w->smallIcon : w->bigIcon;
            const HICON previous = slot;
            slot = reinterpret_cast<HICON>(lParam);
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_GETICON: return reinterpret_cast<LRESULT>(wParam == ICON_SMALL ? w->smallIcon : w->bigIcon);
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_MINIMIZE: ShowWindow(window, SW_MINIMIZE); break;
                case SC_RESTORE: ShowWindow(window, SW_RESTORE); break;
                case SC_CLOSE: SendMessageA(window, WM_CLOSE, 0, 0); break;
                default: break;
            }
            return 0;
        default: return 0;
    }
}

void WindowManager::Notify(HWND control, WORD code) {
    const Window* c = Find(control);
    if (!c || !c->parent) return;
    SendMessageA(c->parent, WM_COMMAND, MAKEWPARAM(c->id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT WindowManager::ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    const DWORD type = w->style & 0xF;
    switch (message) {
        case WM_GETDLGCODE:
            if (type == BS_GROUPBOX) return DLGC_STATIC;
            if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
            if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
            return DLGC_BUTTON;
        case WM_LBUTTONDOWN:
            if (type == BS_GROUPBOX) return 0;
            SetFocus(window);
            if ((w = Find(window))) w->pressed = true;
            return 0;
        case WM_LBUTTONUP:
            if (type == BS_GROUPBOX || !w->pressed) return 0;
            w->pressed = false;
            Notify(window, BN_CLICKED);
            return 0;
        case BM_CLICK:
            // A disabled button ignores the click.
            if (type == BS_GROUPBOX || (w->style & WS_DISABLED)) return 0;
            SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessageA(window, WM_LBUTTONUP, 0, 0);
            return 0;
        case BM_SETSTYLE: w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFF); return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT WindowManager::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    switch (message) {
        case WM_GETDLGCODE: return DLGC_STATIC;
        case STM_SETICON:
        case STM_SETIMAGE: {
            const UINT type = message == STM_SETICON ? static_cast<UINT>(IMAGE_ICON) : static_cast<UINT>(wParam);
            const HANDLE image =
                message == STM_SETICON ? reinterpret_cast<HANDLE>(wParam) : reinterpret_cast<HANDLE>(lParam);
            const HANDLE previous = w->imageType == type ? w->image : nullptr;
            const bool changed = w->image != image || w->imageType != type;
            w->image = image;
            w->imageType = type;
            if (changed) {
                const std::optional<int> id = ImageResourceId(image);
                const std::string kind = type == IMAGE_BITMAP ? "bitmap" : "icon";
                NoteControl(window, !image ? "no image"
                                    : id   ? "[" + kind + " " + std::to_string(*id) + "]"
                                           : "[" + kind + "]");
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        case STM_GETIMAGE: return w->imageType == wParam ? reinterpret_cast<LRESULT>(w->image) : 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP: return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT WindowManager::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
                   ((w->style & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
        case EM_SETREADONLY:
            w->style = wParam ? (w->style | ES_READONLY) : (w->style & ~static_cast<DWORD>(ES_READONLY));
            return TRUE;
        case WM_LBUTTONDOWN: SetFocus(window); return 0;
        case WM_LBUTTONUP: return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- sending and posting -------------------------------------------------------------

LRESULT WindowManager::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Find(window)) {
        FailInvalid(window);
        return 0;
    }
    return CallWindow(window, message, wParam, lParam);
}

BOOL WindowManager::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window) {
        const Window* w = Find(window);
        if (!w) {
            FailInvalid(window);
            return FALSE;
        }
        if (w->foreign) {
            // Another program's queue: it handles the message on its own.
            CallWindow(window, message, wParam, lParam);
            return TRUE;
        }
        if (w->desktop) return TRUE;
    }
    posted_.push_back({window, message, wParam, lParam});
    return TRUE;
}

void WindowManager::PostQuitMessage(int exitCode) {
    quitPending_ = true;
    quitCode_ = exitCode;
}

void WindowManager::SendFromOutside(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    std::function<void(LRESULT)> onReply) {
    sent_.push_back([this, window, message, wParam, lParam, onReply] {
        if (!FindOwn(window)) return;
        const LRESULT result = SendMessageA(window, message, wParam, lParam);
        if (onReply) onReply(result);
    });
}

void WindowManager::BroadcastDeviceChange(UINT event, LPARAM data, std::shared_ptr<const void> keepAlive) {
    for (HWND window : TopLevelWindows()) {
        sent_.push_back([this, window, event, data, keepAlive] {
            if (FindOwn(window)) SendMessageA(window, WM_DEVICECHANGE, event, data);
        });
    }
}

void WindowManager::RequestEndSession(bool logoff) {
    machine_.Record("session", std::string("end of session requested") + (logoff ? " (log off)" : ""));
    sent_.push_back([this, logoff] { RunEndSession(logoff); });
}

void WindowManager::RunEndSession(bool logoff) {
    const LPARAM flags = logoff ? static_cast<LPARAM>(ENDSESSION_LOGOFF) : 0;
    std::vector<HWND> agreed;
    for (HWND window : TopLevelWindows()) {
        if (!FindOwn(window)) continue;
        if (!SendMessageA(window, WM_QUERYENDSESSION, 0, flags)) {
            machine_.Record("session", "end of session refused by " + QuoteName(Caption(window)));
            // The windows that had agreed learn that the session goes on.
            for (HWND other : agreed) {
                if (FindOwn(other)) SendMessageA(other, WM_ENDSESSION, FALSE, flags);
            }
            return;
        }
        agreed.push_back(window);
    }
    for (HWND window : agreed) {
        if (FindOwn(window)) SendMessageA(window, WM_ENDSESSION, TRUE, flags);
    }
    machine_.Record("session", "end of session accepted: WM_ENDSESSION sent");
    sessionEnded_ = true;
    if (endSessionEndsProcess) throw SessionEnded("Windows ended the session; the tool's process ends");
}

// ---- timers ----------------------------------------------------------------------------

UINT_PTR WindowManager::SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (window && !FindOwn(window)) {
        FailInvalid(window);
        return 0;
    }
    elapse = std::clamp(elapse, kUserTimerMinimum, kUserTimerMaximum);
    if (!window) {
        // A thread timer: an id that is not one of the thread's timers is
        // replaced by a new one.
        const bool known =
            std::any_of(timers_.begin(), timers_.end(), [id](const Timer& t) { return !t.window && t.id == id; });
        if (!known) id = nextThreadTimerId_++;
    }
    const Clock::Millis due = machine_.clock.Now() + elapse;
    for (Timer& t : timers_) {
        if (t.window == window && t.id == id) {
            // Setting a timer again restarts its period.
            t.elapse = elapse;
            t.due = due;
            t.proc = proc;
            t.order = ++timerOrder_;
            return id ? id : 1;
        }
    }
    timers_.push_back({window, id, elapse, due, proc, ++timerOrder_});
    return id ? id : 1;
}

BOOL WindowManager::KillTimer(HWND window, UINT_PTR id) {
    if (window && !Find(window)) {
        FailInvalid(window);
        return FALSE;
    }
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->window == window && it->id == id) {
            timers_.erase(it);
            return TRUE;
        }
    }
    machine_.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
}

void WindowManager::KillTimersOf(HWND window) {
    timers_.erase(
        std::remove_if(timers_.begin(), timers_.end(), [window](const Timer& t) { return t.window == window; }),
        timers_.end());
}

// ---- retrieving messages -------------------------------------------------------------

void WindowManager::FillMessage(MSG* msg, HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    msg->hwnd = window;
    msg->message = message;
    msg->wParam = wParam;
    msg->lParam = lParam;
    msg->time = machine_.clock.TickCount();
    msg->pt = POINT{0, 0};
}

bool WindowManager::Matches(HWND window, UINT message, HWND filter, UINT min, UINT max) const {
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (window) return false;
    } else if (filter && window != filter && !IsDescendant(filter, window)) {
        return false;
    }
    if (min == 0 && max == 0) return true;
    return message >= min && message <= max;
}

void WindowManager::DeliverSent() {
    while (!sent_.empty()) {
        std::function<void()> job = std::move(sent_.front());
        sent_.pop_front();
        job();
    }
}

bool WindowManager::TakePosted(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!Matches(it->window, it->message, filter, min, max)) continue;
        FillMessage(msg, it->window, it->message, it->wParam, it->lParam);
        if (remove) posted_.erase(it);
        return true;
    }
    return false;
}

WindowManager::Pick WindowManager::TakeInput(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
    if (input_.empty()) return Pick::None;
    const Input in = input_.front();
    switch (in.kind) {
        case Input::Kind::MouseDown: {
            if (!TakesInput(in.target)) {
                machine_.Record("user", "click on " + Label(in.target) + " ignored: " + WhyNoInput(in.target));
                input_.pop_front();
                if (!input_.empty() && input_.front().kind == Input::Kind::MouseUp &&
                    input_.front().click == in.click) {
                    input_.pop_front();
                }
                return Pick::Consumed;
            }
            if (!Matches(in.target, WM_LBUTTONDOWN, filter, min, max)) return Pick::None;
            FillMessage(msg, in.target, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            if (remove) input_.pop_front();
            return Pick::Produced;
        }
        case Input::Kind::MouseUp:
            if (!Find(in.target)) {
                input_.pop_front();
                return Pick::Consumed;
            }
            if (!Matches(in.target, WM_LBUTTONUP, filter, min, max)) return Pick::None;
            FillMessage(msg, in.target, WM_LBUTTONUP, 0, 0);
            if (remove) input_.pop_front();
            return Pick::Produced;
        case Input::Kind::Key: {
            if (!openBoxes_.empty()) {
                // The message box has the keyboard.
                input_.pop_front();
                BoxKey(in.key);
                return Pick::Consumed;
            }
            HWND target = focus_;
            if (!target) {
                const HWND dialog = OpenDialog();
                if (dialog && TakesInput(dialog)) target = dialog;
            }
            if (!target || !TakesInput(target)) {
                machine_.Record("user", std::string(in.key == VK_RETURN ? "Enter" : "Escape") +
                                            " went nowhere: no window of the tool has the keyboard");
                input_.pop_front();
                return Pick::Consumed;
            }
            if (!Matches(target, WM_KEYDOWN, filter, min, max)) return Pick::None;
            const LPARAM scan = in.key == VK_RETURN ? 0x1C : 0x01;
            FillMessage(msg, target, WM_KEYDOWN, in.key, 1 | (scan << 16));
            if (remove) input_.pop_front();
            return Pick::Produced;
        }
        case Input::Kind::Minimise:
        case Input::Kind::Restore:
            input_.pop_front();
            if (FindOwn(in.target)) {
                SendMessageA(in.target, WM_SYSCOMMAND, in.kind == Input::Kind::Restore ? SC_RESTORE : SC_MINIMIZE, 0);
            }
            return Pick::Consumed;
    }
    return Pick::None;
}

bool WindowManager::TakePaint(MSG* msg, HWND filter, UINT min, UINT max) {
    for (HWND window : topLevel_) {
        Window* w = FindOwn(window);
        if (!w || !w->needsPaint || !IsWindowVisible(window)) continue;
        if (!Matches(window, WM_PAINT, filter, min, max)) continue;
        if (++w->paintsWithoutValidation > kMaximumUnvalidatedPaints) {
            throw ScenarioStalled(StallReport("the dialog gets WM_PAINT over and over and never validates"));
        }
        FillMessage(msg, window, WM_PAINT, 0, 0);
        return true;
    }
    return false;
}

bool WindowManager::TakeTimer(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
    const Clock::Millis now = machine_.clock.Now();
    Timer* best = nullptr;
    for (Timer& t : timers_) {
        if (t.due > now || !Matches(t.window, WM_TIMER, filter, min, max)) continue;
        if (!best || t.due < best->due || (t.due == best->due && t.order < best->order)) best = &t;
    }
    if (!best) return false;
    FillMessage(msg, best->window, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
    if (remove) {
        // One WM_TIMER however late the thread is: the timer's next expiry
        // is the first one still to come, on the timer's own beat.
        while (best->due <= now) best->due += best->elapse;
    }
    return true;
}

bool WindowManager::HasInput(DWORD wakeMask) const {
    if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) && (!posted_.empty() || quitPending_)) return true;
    if ((wakeMask & (QS_KEY | QS_MOUSEBUTTON)) && !input_.empty()) return true;
    if (wakeMask & QS_PAINT) {
        for (HWND window : topLevel_) {
            const Window* w = FindOwn(window);
            if (w && w->needsPaint && IsWindowVisible(window)) return true;
        }
    }
    if (wakeMask & QS_TIMER) {
        const Clock::Millis now = machine_.clock.Now();
        for (const Timer& t : timers_) {
            if (t.due <= now) return true;
        }
    }
    return false;
}

void WindowManager::WaitForSomething(std::optional<Clock::Millis> deadline) {
    const Clock::Millis now = machine_.clock.Now();
    std::optional<Clock::Millis> next;
    auto consider = [&](Clock::Millis t) {
        if (!next || t < *next) next = t;
    };
    for (const Timer& t : timers_) {
        if (t.due > now) consider(t.due);
    }
    if (const auto event = machine_.clock.NextEventTime()) consider(std::max(*event, now));
    if (deadline) consider(std::max(*deadline, now));
    if (!next) throw ScenarioStalled(StallReport("it waits for messages and nothing is left that could happen"));
    if (user_->PendingActions() == 0 && idleWaited_ + (*next - now) > idleLimit_) {
        machine_.clock.AdvanceTo(now + (idleLimit_ - std::min(idleWaited_, idleLimit_)));
        idleWaited_ = idleLimit_;
        throw ScenarioStalled(StallReport("no user action is left and it has waited " + FormatDuration(idleLimit_) +
                                          " without finishing"));
    }
    idleWaited_ += *next - now;
    machine_.clock.AdvanceTo(*next);
}

WindowManager::Got WindowManager::Retrieve(MSG* msg, HWND filter, UINT min, UINT max, bool remove, bool wait,
                                           std::optional<Clock::Millis> deadline, const std::function<bool()>& stop) {
    while (true) {
        // Whatever the clock has due now happens first.
        machine_.clock.AdvanceTo(machine_.clock.Now());
        DeliverSent();
        if (stop && stop()) return Got::Stopped;
        if (TakePosted(msg, filter, min, max, remove)) return Got::Message;
        if (quitPending_) {
            FillMessage(msg, nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0);
            if (remove) quitPending_ = false;
            return Got::Quit;
        }
        const Pick input = TakeInput(msg, filter, min, max, remove);
        if (input == Pick::Produced) return Got::Message;
        if (input == Pick::Consumed) continue;
        if (TakePaint(msg, filter, min, max)) return Got::Message;
        if (TakeTimer(msg, filter, min, max, remove)) return Got::Message;
        if (!wait || (deadline && machine_.clock.Now() >= *deadline)) return Got::Nothing;
        WaitForSomething(deadline);
    }
}

BOOL WindowManager::GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (!msg) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return -1;
    }
    if (window && window != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !Find(window)) {
        FailInvalid(window);
        return -1;
    }
    return Retrieve(msg, window, filterMin, filterMax, true, true, std::nullopt, nullptr) == Got::Quit ? FALSE : TRUE;
}

BOOL WindowManager::PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (!msg) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (window && window != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !Find(window)) {
        FailInvalid(window);
        return FALSE;
    }
    const Got got =
        Retrieve(msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0, false, std::nullopt, nullptr);
    return got == Got::Message || got == Got::Quit ? TRUE : FALSE;
}

BOOL WindowManager::TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    // The keys the scripted user presses that make characters.
    if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) {
        posted_.push_back({msg->hwnd, WM_CHAR, msg->wParam == VK_RETURN ? WPARAM('\r') : WPARAM(0x1B), msg->lParam});
        return TRUE;
    }
    return FALSE;
}

LRESULT WindowManager::DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        const TIMERPROC proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, machine_.clock.TickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    if (!Find(msg->hwnd)) {
        FailInvalid(msg->hwnd);
        return 0;
    }
    return CallWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WindowManager::IsDialogMessageA(HWND dialog, LPMSG msg) {
    if (!msg || !Find(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsDescendant(dialog, msg->hwnd)) return FALSE;
    if (msg->message == WM_KEYDOWN) {
        const LRESULT code = SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (!(code & DLGC_WANTMESSAGE)) {
            if (msg->wParam == VK_ESCAPE) {
                SendMessageA(dialog, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
                return TRUE;
            }
            if (msg->wParam == VK_RETURN) {
                // The focused default push button; else the dialog's default
                // id (IDOK unless DM_SETDEFID changed it), unless that button
                // is disabled; else IDOK.
                const HWND focus = focus_;
                if (IsDescendant(dialog, focus) && (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
                    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                                 reinterpret_cast<LPARAM>(focus));
                    return TRUE;
                }
                const LRESULT defId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
                if (HIWORD(defId) == DC_HASDEFID) {
                    HWND button = nullptr;
                    if (const Window* d = Find(dialog)) {
                        for (HWND child : d->children) {
                            const Window* c = Find(child);
                            if (c && c->id == LOWORD(defId)) {
                                button = child;
                                break;
                            }
                        }
                    }
                    if (!button || IsWindowEnabled(button)) {
                        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(defId), BN_CLICKED),
                                     reinterpret_cast<LPARAM>(button));
                    }
                    return TRUE;
                }
                SendMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
                return TRUE;
            }
        }
    }
    TranslateMessage(msg);
    DispatchMessageA(msg);
    return TRUE;
}

DWORD WindowManager::MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                               DWORD wakeMask) {
    if (count >= kMaximumWaitObjects || (count && !handles)) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    std::optional<Clock::Millis> deadline;
    if (milliseconds != INFINITE) deadline = machine_.clock.Now() + milliseconds;
    while (true) {
        machine_.clock.AdvanceTo(machine_.clock.Now());
        DeliverSent();
        bool all = count > 0;
        for (DWORD i = 0; i < count; ++i) {
            const std::optional<bool> signalled = machine_.processes().IsSignaled(handles[i]);
            if (!signalled) {
                machine_.lastError = ERROR_INVALID_HANDLE;
                return WAIT_FAILED;
            }
            if (*signalled && !waitAll) return WAIT_OBJECT_0 + i;
            all = all && *signalled;
        }
        if (waitAll && all) return WAIT_OBJECT_0;
        if (HasInput(wakeMask)) return WAIT_OBJECT_0 + count;
        if (deadline && machine_.clock.Now() >= *deadline) return WAIT_TIMEOUT;
        WaitForSomething(deadline);
    }
}

}  // namespace sim
