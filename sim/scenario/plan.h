// The inside of the scenario loader, shared by its files:
//
//   plan_tokens.cpp          words of a line, key=value options, times, values
//   directives_machine.cpp   windows, windows-folder, service-pack, program-path,
//                            switches, caller, newdev, idle-limit, machine
//   directives_devices.cpp   device, pci-adapter, pc-card, restart-for-*,
//                            driver-index, at ... arrive|leave
//   directives_services.cpp  service, service-lock
//   directives_programs.cpp  program, running, security-program, removal-program
//   directives_files.cpp     in-use, attributes, deny-write, open-access
//   directives_user.cpp      answer, answer-caption, at ...
//   directives_failures.cpp  fail
//   scenario.cpp             the table of directives, reading the whole text
//                            into a Plan, and building the machine from it
//
// A directive's reader checks its line and adds the steps that will apply
// it to the machine; it owns nothing but what it puts into the Plan. Both
// a reader and a step report a problem by throwing Problem (through
// Refuse): the loader catches it, names the line, and goes on with the
// next line, so that one load reports every problem of the text and then
// discards the machine.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/clock.h"
#include "sim/machine/machine.h"
#include "sim/machine/version.h"
#include "sim/scenario/words.h"

namespace sim::loader {

// What is wrong with the line being read or applied.
class Problem : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void Refuse(const std::string& message) { throw Problem(message); }

// ---- words of a line ------------------------------------------------------------

// A word of a line. Double quotes group blanks into one word and may stand
// anywhere in it (desc="Zelmar Card"); "" inside quotes is one quote mark.
// Backslashes are ordinary characters, so paths and device IDs need no
// escaping.
struct Token {
    std::string text;
    bool quoted = false;            // some part of it was in quotes
    size_t eq = std::string::npos;  // the first '=' outside quotes

    bool IsOption() const { return eq != std::string::npos; }
    std::string Key() const;
    std::string Value() const { return text.substr(eq + 1); }
};

struct Line {
    int number = 0;
    std::vector<Token> tokens;  // tokens[0] is the directive

    // The words after the directive.
    size_t Words() const { return tokens.size() - 1; }
    const std::string& Word(size_t i) const { return tokens[i].text; }
};

// Splits a line into tokens; a '#' that starts a word (outside quotes)
// starts a comment that runs to the end of the line.
std::vector<Token> Tokenize(const std::string& line);

// The line holds between `minimum` and `maximum` words after the directive;
// otherwise "expected: <usage>".
void ExpectWords(const Line& line, size_t minimum, size_t maximum, const std::string& usage);
// The line has at least `count` words after the directive, none of them an
// option; otherwise "expected: <usage>".
void RequireWords(const Line& line, size_t count, const std::string& usage);

// The key=value options and bare flag words that follow a directive's
// fixed words.
struct Options {
    std::map<std::string, std::string> values;  // by lower-case key
    std::set<std::string> flags;                // lower-case

    bool Has(const std::string& key) const { return values.count(key) != 0; }
    bool Flag(const std::string& flag) const { return flags.count(flag) != 0; }
    std::string Get(const std::string& key) const;
};

Options ReadOptions(const Line& line, size_t from, const std::vector<std::string>& keys,
                    const std::vector<std::string>& flags);

// ---- values -----------------------------------------------------------------------

std::string Quoted(const std::string& text);
// A time as scenarios write it (see ParseDuration).
Clock::Millis Duration(const std::string& text);
bool IsHex(const std::string& text, size_t length);
// A decimal or 0x number no larger than `limit`.
std::optional<unsigned long long> Unsigned(const std::string& text, unsigned long long limit);
bool IsDrivePath(const std::string& path);
bool IsLabel(const std::string& text);
// A message-box button by its name ("Yes", "Try Again", ...).
int Button(const std::string& name);

// The value of a word of `words`; any other word is refused with
// "<before><the listed words><after>, not '<word>'".
template <typename T, size_t N>
T Choose(const sim::Word<T> (&words)[N], const std::string& word, const std::string& before, WordList style,
         const std::string& after = "") {
    if (const sim::Word<T>* found = FindWord(words, word)) return found->value;
    Refuse(before + ListWords(words, style) + after + ", not " + Quoted(word));
}

// The bits of a comma-separated list of words, each refused as Choose does.
template <typename T, size_t N>
T ChooseBits(const sim::Word<T> (&words)[N], const std::string& list, const std::string& before,
             const std::string& after) {
    T bits = 0;
    for (const std::string& item : SplitList(list)) bits |= Choose(words, item, before, WordList::Plain, after);
    return bits;
}

// ---- the plan ---------------------------------------------------------------------

// What a scenario.txt asks for, checked but not yet applied. Steps run in
// phases: machine settings, then devices (so that later lines can name
// them), then everything else in file order.
enum Phase { kSettings = 0, kDevices = 1, kRest = 2 };

// The machine while the plan is applied, and the devices labelled so far.
struct Applier {
    Machine& machine;
    std::map<std::string, std::string> labels;      // upper-cased label -> instance ID
    std::map<std::string, std::string> labelNames;  // upper-cased label -> label as written

    // A device named by its label or by its instance ID; refused when the
    // machine does not know it.
    std::string Resolve(const std::string& reference) const;
};

using Step = std::function<void(Applier&)>;

struct PlannedStep {
    int line = 0;
    Phase phase = kRest;
    Step apply;
};

struct Plan {
    std::optional<WindowsVersion> version;
    std::optional<std::string> windowsDir;
    bool bareMachine = false;  // "machine bare"
    std::optional<std::string> switches;
    std::vector<std::string> description;
    std::vector<PlannedStep> steps;
    std::map<std::string, int> labels;                    // upper-cased label -> line
    std::vector<std::pair<int, std::string>> references;  // (line, label) of device references
    std::set<std::string> seen;                           // directives that may appear only once
};

void AddStep(Plan& plan, const Line& line, Phase phase, Step step);
// Refuses a second line of a directive that may appear once.
void Once(Plan& plan, const std::string& directive);
// A device reference: a label (checked once the whole text is read), or an
// instance ID (which holds a backslash).
void NoteDeviceReference(Plan& plan, const Line& line, const std::string& reference);

// ---- the directives, by family ---------------------------------------------------

using Reader = void (*)(Plan&, const Line&);

void ReadWindows(Plan&, const Line&);
void ReadWindowsFolder(Plan&, const Line&);
void ReadMachine(Plan&, const Line&);
void ReadServicePack(Plan&, const Line&);
void ReadProgramPath(Plan&, const Line&);
void ReadSwitches(Plan&, const Line&);
void ReadCaller(Plan&, const Line&);
void ReadNewdev(Plan&, const Line&);
void ReadIdleLimit(Plan&, const Line&);

void ReadDevice(Plan&, const Line&);
void ReadPciAdapter(Plan&, const Line&);
void ReadPcCard(Plan&, const Line&);
void ReadRestartForInf(Plan&, const Line&);
void ReadRestartForDevice(Plan&, const Line&);
void ReadDriverIndex(Plan&, const Line&);
// "at <time> arrive|leave <device> [extra=<events>]"
void ReadDeviceMove(Plan&, const Line&, Clock::Millis at, bool arrive);

void ReadService(Plan&, const Line&);
void ReadServiceLock(Plan&, const Line&);

void ReadProgram(Plan&, const Line&);
void ReadRunning(Plan&, const Line&);
void ReadSecurityProgram(Plan&, const Line&);
void ReadRemovalProgram(Plan&, const Line&);

void ReadInUse(Plan&, const Line&);
void ReadAttributes(Plan&, const Line&);
void ReadDenyWrite(Plan&, const Line&);
void ReadOpenAccess(Plan&, const Line&);

void ReadAnswer(Plan&, const Line&);
void ReadAnswerCaption(Plan&, const Line&);
void ReadAt(Plan&, const Line&);

void ReadFail(Plan&, const Line&);

}  // namespace sim::loader
