// The message queue of the tool's thread: sent, posted and input messages,
// painting, timers and WM_QUIT, retrieved in the order Windows retrieves
// them; waiting on the virtual clock; messages from outside the thread and
// the end of the session.
#include <algorithm>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"
#include "sim/machine/window_manager.h"
#include "sim/scenario/user_script.h"

namespace sim {

namespace {

// A window that keeps getting WM_PAINT without ever validating itself would
// make the emulated thread spin at one instant of virtual time.
constexpr int kMaximumUnvalidatedPaints = 10000;
// The scan codes of the keys the scripted user presses, in WM_KEYDOWN's
// lParam (bits 16 to 23) with a repeat count of one.
constexpr LPARAM kEnterScanCode = 0x1C;
constexpr LPARAM kEscapeScanCode = 0x01;
constexpr LPARAM kRepeatOnce = 1;
constexpr int kScanCodeShift = 16;
// The characters TranslateMessage makes of them.
constexpr WPARAM kCarriageReturn = '\r';
constexpr WPARAM kEscapeCharacter = 0x1B;

std::string QuoteName(const std::string& text) { return "\"" + text + "\""; }

std::string FormatDuration(Clock::Millis ms) {
    if (ms % 3600000 == 0) return std::to_string(ms / 3600000) + " h";
    if (ms % 60000 == 0) return std::to_string(ms / 60000) + " min";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

}  // namespace

// ---- posting and messages from outside ---------------------------------------------------

void WindowManager::Post(HWND window, const Message& message) {
    if (const Window* w = Find(window)) {
        if (w->foreign) {
            // Another program's queue: it handles the message on its own.
            CallWindow(window, message);
            return;
        }
        if (w->desktop) return;
    }
    posted_.push_back({window, message});
}

void WindowManager::PostQuit(int exitCode) {
    quitPending_ = true;
    quitCode_ = exitCode;
}

void WindowManager::SendFromOutside(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    std::function<void(LRESULT)> onReply) {
    sent_.push_back([this, window, message, wParam, lParam, onReply] {
        if (!FindOwn(window)) return;
        const LRESULT result = Send(window, {message, wParam, lParam});
        if (onReply) onReply(result);
    });
}

void WindowManager::BroadcastDeviceChange(UINT event, LPARAM data, std::shared_ptr<const void> keepAlive) {
    for (HWND window : TopLevelWindows()) {
        sent_.push_back([this, window, event, data, keepAlive] {
            if (FindOwn(window)) Send(window, {WM_DEVICECHANGE, event, data});
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
        if (!Send(window, {WM_QUERYENDSESSION, 0, flags})) {
            machine_.Record("session", "end of session refused by " + QuoteName(Caption(window)));
            // The windows that had agreed learn that the session goes on.
            for (HWND other : agreed) {
                if (FindOwn(other)) Send(other, {WM_ENDSESSION, FALSE, flags});
            }
            return;
        }
        agreed.push_back(window);
    }
    for (HWND window : agreed) {
        if (FindOwn(window)) Send(window, {WM_ENDSESSION, TRUE, flags});
    }
    machine_.Record("session", "end of session accepted: WM_ENDSESSION sent");
    sessionEnded_ = true;
    if (endSessionEndsProcess) throw SessionEnded("Windows ended the session; the tool's process ends");
}

// ---- timers ----------------------------------------------------------------------------

UINT_PTR WindowManager::StartTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    if (!window) {
        const bool known =
            std::any_of(timers_.begin(), timers_.end(), [id](const Timer& t) { return !t.window && t.id == id; });
        if (!known) id = nextThreadTimerId_++;
    }
    // Zero would read as a failure: a window's timer 0 is reported as 1.
    const UINT_PTR reported = id ? id : 1;
    const Clock::Millis due = machine_.clock.Now() + elapse;
    for (Timer& t : timers_) {
        if (t.window == window && t.id == id) {
            t.elapse = elapse;
            t.due = due;
            t.proc = procedure;
            t.order = ++timerOrder_;
            return reported;
        }
    }
    timers_.push_back({window, id, elapse, due, procedure, ++timerOrder_});
    return reported;
}

bool WindowManager::StopTimer(HWND window, UINT_PTR id) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->window == window && it->id == id) {
            timers_.erase(it);
            return true;
        }
    }
    return false;
}

void WindowManager::KillTimersOf(HWND window) {
    timers_.erase(
        std::remove_if(timers_.begin(), timers_.end(), [window](const Timer& t) { return t.window == window; }),
        timers_.end());
}

// ---- retrieving messages -------------------------------------------------------------

QueuedMessage WindowManager::Queued(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    return QueuedMessage{window, {message, wParam, lParam}, machine_.clock.TickCount()};
}

bool WindowManager::Matches(HWND window, UINT message, const MessageFilter& filter) const {
    if (filter.window == MessageFilter::kThreadOnly) {
        if (window) return false;
    } else if (filter.window && window != filter.window && !IsDescendant(filter.window, window)) {
        return false;
    }
    if (filter.first == 0 && filter.last == 0) return true;
    return message >= filter.first && message <= filter.last;
}

void WindowManager::DeliverSent() {
    while (!sent_.empty()) {
        std::function<void()> job = std::move(sent_.front());
        sent_.pop_front();
        job();
    }
}

bool WindowManager::TakePosted(QueuedMessage* out, const MessageFilter& filter, bool remove) {
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!Matches(it->window, it->message.id, filter)) continue;
        *out = Queued(it->window, it->message.id, it->message.wParam, it->message.lParam);
        if (remove) posted_.erase(it);
        return true;
    }
    return false;
}

WindowManager::Pick WindowManager::TakeInput(QueuedMessage* out, const MessageFilter& filter, bool remove) {
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
            if (!Matches(in.target, WM_LBUTTONDOWN, filter)) return Pick::None;
            *out = Queued(in.target, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            if (remove) input_.pop_front();
            return Pick::Produced;
        }
        case Input::Kind::MouseUp:
            if (!Find(in.target)) {
                input_.pop_front();
                return Pick::Consumed;
            }
            if (!Matches(in.target, WM_LBUTTONUP, filter)) return Pick::None;
            *out = Queued(in.target, WM_LBUTTONUP, 0, 0);
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
            if (!Matches(target, WM_KEYDOWN, filter)) return Pick::None;
            const LPARAM scan = in.key == VK_RETURN ? kEnterScanCode : kEscapeScanCode;
            *out = Queued(target, WM_KEYDOWN, in.key, kRepeatOnce | (scan << kScanCodeShift));
            if (remove) input_.pop_front();
            return Pick::Produced;
        }
        case Input::Kind::Minimise:
        case Input::Kind::Restore:
            input_.pop_front();
            if (FindOwn(in.target)) {
                const WPARAM command = in.kind == Input::Kind::Restore ? SC_RESTORE : SC_MINIMIZE;
                Send(in.target, {WM_SYSCOMMAND, command, 0});
            }
            return Pick::Consumed;
    }
    return Pick::None;
}

bool WindowManager::TakePaint(QueuedMessage* out, const MessageFilter& filter) {
    for (HWND window : topLevel_) {
        Window* w = FindOwn(window);
        if (!w || !w->needsPaint || !IsShown(window)) continue;
        if (!Matches(window, WM_PAINT, filter)) continue;
        if (++w->paintsWithoutValidation > kMaximumUnvalidatedPaints) {
            throw ScenarioStalled(StallReport("the dialog gets WM_PAINT over and over and never validates"));
        }
        *out = Queued(window, WM_PAINT, 0, 0);
        return true;
    }
    return false;
}

bool WindowManager::TakeTimer(QueuedMessage* out, const MessageFilter& filter, bool remove) {
    const Clock::Millis now = machine_.clock.Now();
    Timer* best = nullptr;
    for (Timer& t : timers_) {
        if (t.due > now || !Matches(t.window, WM_TIMER, filter)) continue;
        if (!best || t.due < best->due || (t.due == best->due && t.order < best->order)) best = &t;
    }
    if (!best) return false;
    *out = Queued(best->window, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
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
            if (w && w->needsPaint && IsShown(window)) return true;
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

WindowManager::Got WindowManager::Retrieve(QueuedMessage* out, const MessageFilter& filter, bool remove, bool wait,
                                           std::optional<Clock::Millis> deadline, const std::function<bool()>& stop) {
    while (true) {
        // Whatever the clock has due now happens first.
        machine_.clock.AdvanceTo(machine_.clock.Now());
        DeliverSent();
        if (stop && stop()) return Got::Stopped;
        if (TakePosted(out, filter, remove)) return Got::Message;
        if (quitPending_) {
            *out = Queued(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0);
            if (remove) quitPending_ = false;
            return Got::Quit;
        }
        const Pick input = TakeInput(out, filter, remove);
        if (input == Pick::Produced) return Got::Message;
        if (input == Pick::Consumed) continue;
        if (TakePaint(out, filter)) return Got::Message;
        if (TakeTimer(out, filter, remove)) return Got::Message;
        if (!wait || (deadline && machine_.clock.Now() >= *deadline)) return Got::Nothing;
        WaitForSomething(deadline);
    }
}

QueuedMessage WindowManager::NextMessage(const MessageFilter& filter) {
    QueuedMessage out;
    Retrieve(&out, filter, true, true, std::nullopt, nullptr);
    return out;
}

std::optional<QueuedMessage> WindowManager::PendingMessage(const MessageFilter& filter, bool remove) {
    QueuedMessage out;
    const Got got = Retrieve(&out, filter, remove, false, std::nullopt, nullptr);
    if (got == Got::Message || got == Got::Quit) return out;
    return std::nullopt;
}

bool WindowManager::Translate(const QueuedMessage& queued) {
    const Message& m = queued.message;
    if (m.id != WM_KEYDOWN) return false;
    // The keys the scripted user presses that make characters.
    if (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE) {
        posted_.push_back({queued.window, {WM_CHAR, m.wParam == VK_RETURN ? kCarriageReturn : kEscapeCharacter, m.lParam}});
        return true;
    }
    return false;
}

LRESULT WindowManager::Dispatch(const QueuedMessage& queued) {
    const Message& m = queued.message;
    if (m.id == WM_TIMER && m.lParam) {
        const TIMERPROC proc = reinterpret_cast<TIMERPROC>(m.lParam);
        proc(queued.window, WM_TIMER, m.wParam, machine_.clock.TickCount());
        return 0;
    }
    if (!queued.window) return 0;
    return Send(queued.window, m);
}

// ---- waiting for processes and input ------------------------------------------------------

WaitOutcome WindowManager::WaitForObjectsOrInput(const std::vector<HANDLE>& handles, bool waitAll,
                                                 std::optional<Clock::Millis> timeout, DWORD wakeMask) {
    std::optional<Clock::Millis> deadline;
    if (timeout) deadline = machine_.clock.Now() + *timeout;
    while (true) {
        machine_.clock.AdvanceTo(machine_.clock.Now());
        DeliverSent();
        bool all = !handles.empty();
        for (size_t i = 0; i < handles.size(); ++i) {
            const std::optional<bool> signalled = machine_.processes().IsSignaled(handles[i]);
            if (!signalled) return {WaitOutcome::Kind::BadHandle, i};
            if (*signalled && !waitAll) return {WaitOutcome::Kind::Signalled, i};
            all = all && *signalled;
        }
        if (waitAll && all) return {WaitOutcome::Kind::Signalled, 0};
        if (HasInput(wakeMask)) return {WaitOutcome::Kind::Input, handles.size()};
        if (deadline && machine_.clock.Now() >= *deadline) return {WaitOutcome::Kind::TimedOut, 0};
        WaitForSomething(deadline);
    }
}

}  // namespace sim
