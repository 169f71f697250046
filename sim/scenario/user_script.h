// The person at the emulated machine: actions at virtual times (clicks,
// keys, answers to message boxes, ending the session, minimising), and
// standing rules that answer message boxes by their text or caption.
//
// Each action is an event on the machine's clock. Input that falls due
// while the tool is not in a message loop (during Sleep, say) waits in the
// tool's queue, as real input does.
//
// The machine's window manager owns the UserScript; the script owns its
// pending actions and cancels their clock events when it goes.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/machine/clock.h"

namespace sim {

class Machine;
class WindowManager;

class UserScript {
public:
    UserScript(Machine& machine, WindowManager& windows);
    ~UserScript();
    UserScript(const UserScript&) = delete;
    UserScript& operator=(const UserScript&) = delete;

    // Actions; `at` is the virtual time in milliseconds since the machine
    // started. A click names a control of the open dialog by its id or by
    // its text (without the '&' of a mnemonic).
    void ClickAt(Clock::Millis at, int controlId);
    void ClickAt(Clock::Millis at, const std::string& controlText);
    void PressEnterAt(Clock::Millis at);
    void PressEscapeAt(Clock::Millis at);
    // Answers the message box that is open then, or else the next one to
    // open, with a button: IDYES, IDNO, ... or "Yes", "No", "OK", ...
    void AnswerAt(Clock::Millis at, int button);
    void AnswerAt(Clock::Millis at, std::string_view button);
    void EndSessionAt(Clock::Millis at, bool logoff = false);
    void MinimiseAt(Clock::Millis at);
    void RestoreAt(Clock::Millis at);

    // Standing answers, tried in the order given when a box opens: a box
    // whose text contains `part` (or whose caption is `caption`) is
    // answered with `button` after `delay` of virtual time.
    void AnswerWhenTextContains(std::string part, int button, Clock::Millis delay = 0);
    void AnswerWhenCaptionIs(std::string caption, int button, Clock::Millis delay = 0);

    size_t PendingActions() const { return pending_.size(); }
    std::optional<Clock::Millis> LastActionTime() const { return lastAction_; }

    // "Yes" -> IDYES and back; 0 and "" for what is not a message-box button.
    static int ButtonFromName(std::string_view name);
    static std::string ButtonName(int button);

private:
    friend class WindowManager;

    enum class Kind { Click, Key, Answer, EndSession, Minimise, Restore };
    struct Action {
        Kind kind = Kind::Click;
        int id = 0;
        std::string text;
        bool byText = false;
        unsigned key = 0;
        int button = 0;
        bool flag = false;  // logoff for EndSession
    };
    struct Rule {
        std::string textContains;
        std::optional<std::string> caption;
        int button = 0;
        Clock::Millis delay = 0;
    };

    void Schedule(Clock::Millis at, Action action);
    void Run(std::pair<Clock::Millis, std::uint64_t> key);
    // Whether an answer for an open message box is still to come: an
    // answer action, or a key press as the very next action.
    bool AnswerToCome() const;
    const Rule* MatchRule(const std::string& text, const std::string& caption) const;
    std::optional<int> TakePendingAnswer();

    Machine& machine_;
    WindowManager& windows_;
    std::uint64_t nextSeq_ = 1;
    // Keyed by (time, order of scheduling); the clock event of each.
    std::map<std::pair<Clock::Millis, std::uint64_t>, std::pair<Action, Clock::EventId>> pending_;
    std::optional<Clock::Millis> lastAction_;
    std::vector<Rule> rules_;
    std::deque<int> pendingAnswers_;
};

}  // namespace sim
