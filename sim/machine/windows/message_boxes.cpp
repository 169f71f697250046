// Message boxes, answered by the scripted user (a standing rule, an answer
// in the script, a key, or the default button), and the user's actions on
// the tool's dialogs.
#include <algorithm>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"
#include "sim/machine/windows/texts.h"
#include "sim/scenario/user_script.h"

namespace sim {

namespace {

std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
        default: return {IDOK};
    }
}

// MB_DEFBUTTON1..3 pick among the box's buttons; one past them means the first.
int DefaultButton(UINT type) {
    const std::vector<int> buttons = Buttons(type);
    const size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

std::string BoxDescription(UINT type) {
    std::string out;
    for (int b : Buttons(type)) out += (out.empty() ? "" : "/") + UserScript::ButtonName(b);
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND: out += ", error icon"; break;
        case MB_ICONQUESTION: out += ", question icon"; break;
        case MB_ICONEXCLAMATION: out += ", warning icon"; break;
        case MB_ICONASTERISK: out += ", information icon"; break;
        default: break;
    }
    if (Buttons(type).size() > 1) out += ", default " + UserScript::ButtonName(DefaultButton(type));
    return out;
}

}  // namespace

int WindowManager::ShowMessageBox(HWND owner, std::string text, std::string caption, UINT type) {
    MessageBoxRecord record;
    record.opened = machine_.clock.Now();
    record.owner = owner;
    record.text = std::move(text);
    record.caption = std::move(caption);
    record.type = type;
    boxes_.push_back(record);
    machine_.Record("msgbox", "\"" + record.caption + "\" [" + BoxDescription(type) + "]: " + record.text);

    OpenBox box;
    box.record = boxes_.size() - 1;
    const std::vector<int> buttons = Buttons(type);
    auto answer = [&box, &buttons, this](int button, const std::string& by) {
        if (box.answered) return;
        if (std::find(buttons.begin(), buttons.end(), button) == buttons.end()) {
            machine_.Record("msgbox", "the box has no " + UserScript::ButtonName(button) + " button");
            return;
        }
        box.answered = true;
        box.result = button;
        box.answeredBy = by;
    };

    // The box is modal for its owner's top-level window (or, for a
    // task-modal box without owner, for all of the thread's), and it has the
    // keyboard while it is open.
    std::vector<HWND> disabled;
    auto enabled = [this](HWND window) {
        const Window* w = Find(window);
        return w && !(w->style & WS_DISABLED);
    };
    const HWND top = owner ? TopLevelOf(owner) : nullptr;
    if (top && FindOwn(top) && enabled(top)) {
        Enable(top, false);
        disabled.push_back(top);
    } else if (!owner && (type & MB_TASKMODAL)) {
        for (HWND window : TopLevelWindows()) {
            if (enabled(window)) {
                Enable(window, false);
                disabled.push_back(window);
            }
        }
    }
    const HWND savedFocus = focus_;
    focus_ = nullptr;
    bool ruleWaiting = false;
    Clock::EventId ruleEvent = 0;

    struct Closer {
        WindowManager& self;
        OpenBox& box;
        std::vector<HWND>& disabled;
        HWND savedFocus;
        bool& ruleWaiting;
        Clock::EventId& ruleEvent;
        ~Closer() {
            if (ruleWaiting) self.machine_.clock.Cancel(ruleEvent);
            self.openBoxes_.erase(std::remove(self.openBoxes_.begin(), self.openBoxes_.end(), &box),
                                  self.openBoxes_.end());
            for (HWND window : disabled) {
                if (self.FindOwn(window)) self.Enable(window, true);
            }
            if (savedFocus && self.FindOwn(savedFocus) && !self.focus_) self.MoveFocus(savedFocus);
        }
    } closer{*this, box, disabled, savedFocus, ruleWaiting, ruleEvent};
    openBoxes_.push_back(&box);

    if (const UserScript::Rule* rule = user_->MatchRule(record.text, record.caption)) {
        const int button = rule->button;
        if (rule->delay == 0) {
            answer(button, "rule");
        } else {
            ruleWaiting = true;
            ruleEvent = machine_.clock.ScheduleIn(rule->delay, [&answer, &ruleWaiting, button] {
                ruleWaiting = false;
                answer(button, "rule");
            });
        }
    } else if (const std::optional<int> pending = user_->TakePendingAnswer()) {
        answer(*pending, "script");
    }

    // With no answer on its way, the user takes the default button.
    auto answerToCome = [&] {
        return ruleWaiting || user_->AnswerToCome() ||
               std::any_of(input_.begin(), input_.end(), [](const Input& in) { return in.kind == Input::Kind::Key; });
    };
    while (!box.answered) {
        if (!answerToCome()) {
            answer(DefaultButton(type), "default");
            break;
        }
        QueuedMessage queued;
        const Got got =
            Retrieve(&queued, MessageFilter{}, true, true, std::nullopt, [&] { return box.answered || !answerToCome(); });
        if (got == Got::Stopped) continue;
        if (got == Got::Quit) {
            // The box ends and leaves the quit request for the loop below it.
            PostQuit(static_cast<int>(queued.message.wParam));
            answer(DefaultButton(type), "quit");
            break;
        }
        if (got != Got::Message) continue;
        Translate(queued);
        Dispatch(queued);
    }

    MessageBoxRecord& done = boxes_[box.record];
    done.closed = machine_.clock.Now();
    done.result = box.result;
    done.answeredBy = box.answeredBy;
    machine_.Record("msgbox", "answered " + UserScript::ButtonName(box.result) + " (" + box.answeredBy + ")");
    return box.result;
}

bool WindowManager::AnswerOpenBox(int button, const std::string& by) {
    if (openBoxes_.empty()) return false;
    OpenBox& box = *openBoxes_.back();
    const MessageBoxRecord& record = boxes_[box.record];
    const std::vector<int> buttons = Buttons(record.type);
    if (std::find(buttons.begin(), buttons.end(), button) == buttons.end()) {
        machine_.Record("msgbox", "the box has no " + UserScript::ButtonName(button) + " button");
        return true;
    }
    if (!box.answered) {
        box.answered = true;
        box.result = button;
        box.answeredBy = by;
    }
    return true;
}

void WindowManager::BoxKey(WPARAM key) {
    if (openBoxes_.empty()) return;
    const UINT type = boxes_[openBoxes_.back()->record].type;
    if (key == VK_RETURN) {
        AnswerOpenBox(DefaultButton(type), "Enter");
        return;
    }
    // Escape is Cancel where the box has one, OK on a box with only OK.
    const std::vector<int> buttons = Buttons(type);
    if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) {
        AnswerOpenBox(IDCANCEL, "Escape");
    } else if (buttons.size() == 1 && buttons.front() == IDOK) {
        AnswerOpenBox(IDOK, "Escape");
    } else {
        machine_.Record("msgbox", "Escape does nothing: the box has no Cancel button");
    }
}

// ---- the scripted user's actions --------------------------------------------------------

std::string WindowManager::WhyNoInput(HWND window) const {
    const Window* w = Find(window);
    if (!w) return "it is gone";
    if (!IsShown(window)) return "hidden";
    if (w->style & WS_DISABLED) return "disabled";
    if (!EffectivelyEnabled(window)) return "its dialog is disabled";
    const Window* top = Find(TopLevelOf(window));
    if (top && (top->style & WS_MINIMIZE)) return "its dialog is minimised";
    return "it takes no input";
}

void WindowManager::ScriptClick(int id, const std::string& text, bool byText) {
    const std::string wanted = byText ? "\"" + text + "\"" : "control " + std::to_string(id);
    const HWND dialog = OpenDialog();
    if (!dialog) {
        machine_.Record("user", "click " + wanted + ": no dialog is shown");
        return;
    }
    HWND control = nullptr;
    for (HWND child : Find(dialog)->children) {
        const Window* c = Find(child);
        if (!c) continue;
        if (byText ? EqualNoCase(WithoutMnemonics(c->text), WithoutMnemonics(text)) : c->id == id) {
            control = child;
            break;
        }
    }
    if (!control) {
        machine_.Record("user", "click " + wanted + ": the dialog has no such control");
        return;
    }
    if (!TakesInput(control)) {
        machine_.Record("user", "click " + Label(control) + ": nothing happens, " + WhyNoInput(control));
        return;
    }
    machine_.Record("user", "click " + Label(control));
    const std::uint64_t click = nextClick_++;
    input_.push_back({Input::Kind::MouseDown, control, 0, click});
    input_.push_back({Input::Kind::MouseUp, control, 0, click});
}

void WindowManager::ScriptKey(WPARAM key) {
    machine_.Record("user", key == VK_RETURN ? "press Enter" : "press Escape");
    input_.push_back({Input::Kind::Key, nullptr, key, 0});
}

void WindowManager::ScriptAnswer(int button) {
    machine_.Record("user", "answer " + UserScript::ButtonName(button));
    if (!AnswerOpenBox(button, "script")) user_->pendingAnswers_.push_back(button);
}

void WindowManager::ScriptShow(bool restore) {
    HWND target = nullptr;
    for (auto it = topLevel_.rbegin(); it != topLevel_.rend() && !target; ++it) {
        const Window* w = FindOwn(*it);
        if (w && w->isDialog && (w->style & WS_VISIBLE) && (restore == ((w->style & WS_MINIMIZE) != 0))) target = *it;
    }
    if (!target) {
        machine_.Record("user", restore ? "restore: no dialog is minimised" : "minimise: no dialog is shown");
        return;
    }
    machine_.Record("user", (restore ? "restore \"" : "minimise \"") + Caption(target) + "\"");
    input_.push_back({restore ? Input::Kind::Restore : Input::Kind::Minimise, target, 0, 0});
}

}  // namespace sim
