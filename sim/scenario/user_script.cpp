// The scripted user's actions, each an event on the machine's clock that
// acts through the window manager when it falls due. An action that finds
// nothing to act on (no dialog open, a disabled button) does what a
// person's click would: nothing. A button that is not a message-box button
// is refused at once (std::invalid_argument).
#include "sim/scenario/user_script.h"

#include <stdexcept>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

struct ButtonNameRow {
    int id;
    const char* name;
};

const ButtonNameRow kButtons[] = {
    {IDOK, "OK"},   {IDCANCEL, "Cancel"}, {IDABORT, "Abort"},        {IDRETRY, "Retry"},       {IDIGNORE, "Ignore"},
    {IDYES, "Yes"}, {IDNO, "No"},         {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"},
};

}  // namespace

UserScript::UserScript(Machine& machine, WindowManager& windows) : machine_(machine), windows_(windows) {}

UserScript::~UserScript() {
    for (const auto& entry : pending_) machine_.clock.Cancel(entry.second.second);
}

int UserScript::ButtonFromName(std::string_view name) {
    std::string plain;
    for (char c : name) {
        if (c != '&') plain += c;
    }
    plain = Trim(plain);
    for (const ButtonNameRow& row : kButtons) {
        if (EqualNoCase(plain, row.name)) return row.id;
    }
    return 0;
}

std::string UserScript::ButtonName(int button) {
    for (const ButtonNameRow& row : kButtons) {
        if (row.id == button) return row.name;
    }
    return "";
}

void UserScript::Schedule(Clock::Millis at, Action action) {
    const auto key = std::make_pair(at < machine_.clock.Now() ? machine_.clock.Now() : at, nextSeq_++);
    const Clock::EventId event = machine_.clock.Schedule(key.first, [this, key] { Run(key); });
    pending_.emplace(key, std::make_pair(std::move(action), event));
}

void UserScript::ClickAt(Clock::Millis at, int controlId) {
    Action a;
    a.kind = Kind::Click;
    a.id = controlId;
    Schedule(at, a);
}

void UserScript::ClickAt(Clock::Millis at, const std::string& controlText) {
    Action a;
    a.kind = Kind::Click;
    a.text = controlText;
    a.byText = true;
    Schedule(at, a);
}

void UserScript::PressEnterAt(Clock::Millis at) {
    Action a;
    a.kind = Kind::Key;
    a.key = VK_RETURN;
    Schedule(at, a);
}

void UserScript::PressEscapeAt(Clock::Millis at) {
    Action a;
    a.kind = Kind::Key;
    a.key = VK_ESCAPE;
    Schedule(at, a);
}

void UserScript::AnswerAt(Clock::Millis at, int button) {
    if (ButtonName(button).empty()) throw std::invalid_argument("not a message-box button: " + std::to_string(button));
    Action a;
    a.kind = Kind::Answer;
    a.button = button;
    Schedule(at, a);
}

void UserScript::AnswerAt(Clock::Millis at, std::string_view button) {
    const int id = ButtonFromName(button);
    if (!id) throw std::invalid_argument("not a message-box button: " + std::string(button));
    AnswerAt(at, id);
}

void UserScript::EndSessionAt(Clock::Millis at, bool logoff) {
    Action a;
    a.kind = Kind::EndSession;
    a.flag = logoff;
    Schedule(at, a);
}

void UserScript::MinimiseAt(Clock::Millis at) {
    Action a;
    a.kind = Kind::Minimise;
    Schedule(at, a);
}

void UserScript::RestoreAt(Clock::Millis at) {
    Action a;
    a.kind = Kind::Restore;
    Schedule(at, a);
}

void UserScript::AnswerWhenTextContains(std::string part, int button, Clock::Millis delay) {
    if (ButtonName(button).empty()) throw std::invalid_argument("not a message-box button: " + std::to_string(button));
    rules_.push_back({std::move(part), std::nullopt, button, delay});
}

void UserScript::AnswerWhenCaptionIs(std::string caption, int button, Clock::Millis delay) {
    if (ButtonName(button).empty()) throw std::invalid_argument("not a message-box button: " + std::to_string(button));
    rules_.push_back({"", std::move(caption), button, delay});
}

void UserScript::Run(std::pair<Clock::Millis, std::uint64_t> key) {
    auto it = pending_.find(key);
    if (it == pending_.end()) return;
    const Action action = it->second.first;
    pending_.erase(it);
    lastAction_ = machine_.clock.Now();
    windows_.NoteUserAction();
    switch (action.kind) {
        case Kind::Click: windows_.ScriptClick(action.id, action.text, action.byText); break;
        case Kind::Key: windows_.ScriptKey(action.key); break;
        case Kind::Answer: windows_.ScriptAnswer(action.button); break;
        case Kind::EndSession:
            machine_.Record("user", action.flag ? "log off" : "shut down");
            windows_.RequestEndSession(action.flag);
            break;
        case Kind::Minimise: windows_.ScriptShow(false); break;
        case Kind::Restore: windows_.ScriptShow(true); break;
    }
}

bool UserScript::AnswerToCome() const {
    if (pending_.empty()) return false;
    if (pending_.begin()->second.first.kind == Kind::Key) return true;
    for (const auto& entry : pending_) {
        if (entry.second.first.kind == Kind::Answer) return true;
    }
    return false;
}

const UserScript::Rule* UserScript::MatchRule(const std::string& text, const std::string& caption) const {
    for (const Rule& rule : rules_) {
        const bool textMatches = rule.textContains.empty() || text.find(rule.textContains) != std::string::npos;
        const bool captionMatches = !rule.caption || *rule.caption == caption;
        if (textMatches && captionMatches) return &rule;
    }
    return nullptr;
}

std::optional<int> UserScript::TakePendingAnswer() {
    if (pendingAnswers_.empty()) return std::nullopt;
    const int button = pendingAnswers_.front();
    pendingAnswers_.pop_front();
    return button;
}

}  // namespace sim
