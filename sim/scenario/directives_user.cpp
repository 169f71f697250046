// Directives about the person at the machine: actions at virtual times
// ("at <time> ...": clicks, keys, answers, ending the session, minimising,
// and, sharing the form, the devices' arrivals and departures and a
// WM_QUIT another program posts to the tool's thread), and
// standing answers to message boxes. A malformed line is refused when it
// is read; the actions are only scheduled when the plan is applied.
#include "sim/base/text.h"
#include "sim/machine/window_manager.h"
#include "sim/scenario/plan.h"
#include "sim/scenario/user_script.h"

namespace sim::loader {

namespace {

constexpr unsigned long long kMostControlId = 0xFFFF;  // dialog control ids are 16-bit

using Act = std::function<void(UserScript&)>;
// The reader of one action: the line, its time; the action to schedule.
using ActionReader = Act (*)(Plan&, const Line&, Clock::Millis);

void Schedule(Plan& plan, const Line& line, Act act) {
    AddStep(plan, line, kRest, [act](Applier& a) { act(a.machine.windows().User()); });
}

void AnswerRule(Plan& plan, const Line& line, bool byCaption) {
    RequireWords(line, 2,
                 byCaption ? "answer-caption \"<caption>\" <button> [after=<time>]"
                           : "answer \"<part of the text>\" <button> [after=<time>]");
    const std::string match = line.Word(1);
    if (!byCaption && match.empty()) Refuse("an empty text would answer every message box; give a part of its text");
    const int button = Button(line.Word(2));
    const Options o = ReadOptions(line, 3, {"after"}, {});
    const Clock::Millis delay = o.Has("after") ? Duration(o.Get("after")) : 0;
    Schedule(plan, line, [match, button, delay, byCaption](UserScript& user) {
        if (byCaption) {
            user.AnswerWhenCaptionIs(match, button, delay);
        } else {
            user.AnswerWhenTextContains(match, button, delay);
        }
    });
}

// ---- at <time> <action> ----------------------------------------------------------

enum class Key { Enter, Escape };

const sim::Word<Key> kKeys[] = {
    {"Enter", Key::Enter},
    {"Escape", Key::Escape},
    {"esc", Key::Escape, false},
};

Act ReadClick(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 3, 3, "at <time> click <button text or control id>");
    const Token& target = line.tokens[3];
    if (const auto id = target.quoted ? std::nullopt : Unsigned(target.text, kMostControlId)) {
        const int control = static_cast<int>(*id);
        return [at, control](UserScript& u) { u.ClickAt(at, control); };
    }
    const std::string text = target.text;
    return [at, text](UserScript& u) { u.ClickAt(at, text); };
}

Act ReadPress(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 3, 3, "at <time> press Enter|Escape");
    if (Choose(kKeys, line.Word(3), "the user presses ", WordList::Plain) == Key::Enter) {
        return [at](UserScript& u) { u.PressEnterAt(at); };
    }
    return [at](UserScript& u) { u.PressEscapeAt(at); };
}

Act ReadAnswerAt(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 3, 3, "at <time> answer <button>");
    const int button = Button(line.Word(3));
    return [at, button](UserScript& u) { u.AnswerAt(at, button); };
}

Act ReadEndSession(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 2, 3, "at <time> end-session [logoff]");
    const bool logoff = line.Words() == 3;
    if (logoff && !EqualNoCase(line.Word(3), "logoff")) Refuse("expected: at <time> end-session [logoff]");
    return [at, logoff](UserScript& u) { u.EndSessionAt(at, logoff); };
}

Act ReadMinimise(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 2, 2, "at <time> minimise");
    return [at](UserScript& u) { u.MinimiseAt(at); };
}

Act ReadRestore(Plan&, const Line& line, Clock::Millis at) {
    ExpectWords(line, 2, 2, "at <time> restore");
    return [at](UserScript& u) { u.RestoreAt(at); };
}

// Another program posts WM_QUIT to the tool's thread.
Act ReadPostQuit(Plan& plan, const Line& line, Clock::Millis at) {
    ExpectWords(line, 2, 2, "at <time> post-quit");
    AddStep(plan, line, kRest, [at](Applier& a) {
        Machine& machine = a.machine;
        machine.clock.Schedule(at, [&machine] {
            machine.Record("process-post", "WM_QUIT posted to the tool's thread");
            machine.windows().Post(nullptr, {WM_QUIT, 0, 0});
        });
    });
    return nullptr;
}

// The device lines share the form but act on the device model.
Act ReadArrive(Plan& plan, const Line& line, Clock::Millis at) {
    ReadDeviceMove(plan, line, at, true);
    return nullptr;
}

Act ReadLeave(Plan& plan, const Line& line, Clock::Millis at) {
    ReadDeviceMove(plan, line, at, false);
    return nullptr;
}

const sim::Word<ActionReader> kActions[] = {
    {"click", ReadClick},
    {"press", ReadPress},
    {"answer", ReadAnswerAt},
    {"end-session", ReadEndSession},
    {"minimise", ReadMinimise},
    {"minimize", ReadMinimise, false},
    {"restore", ReadRestore},
    {"post-quit", ReadPostQuit},
    {"arrive", ReadArrive},
    {"leave", ReadLeave},
};

}  // namespace

void ReadAnswer(Plan& plan, const Line& line) { AnswerRule(plan, line, false); }
void ReadAnswerCaption(Plan& plan, const Line& line) { AnswerRule(plan, line, true); }

void ReadAt(Plan& plan, const Line& line) {
    const std::string usage =
        "at <time> click <button>|press Enter|press Escape|answer <button>|end-session [logoff]|minimise|restore|"
        "post-quit|arrive <device>|leave <device>";
    if (line.Words() < 2) Refuse("expected: " + usage);
    const Clock::Millis at = Duration(line.Word(1));
    const sim::Word<ActionReader>* action = FindWord(kActions, line.Word(2));
    if (!action) Refuse("unknown action " + Quoted(line.Word(2)) + " (" + usage + ")");
    if (Act act = action->value(plan, line, at)) Schedule(plan, line, std::move(act));
}

}  // namespace sim::loader
