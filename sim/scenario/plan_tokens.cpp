// The words of a scenario.txt line, its key=value options, its times and
// values, and the plan's shared bookkeeping (steps, directives given once,
// device references). Every check here refuses with a Problem that the
// loader reports with the line's number.
#include <cctype>
#include <string_view>

#include "sim/base/text.h"
#include "sim/machine/devices/devices.h"
#include "sim/scenario/plan.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/user_script.h"

namespace sim {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string JoinWithCommas(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        if (!out.empty()) out += ", ";
        out += w;
    }
    return out;
}

constexpr Clock::Millis kSecond = 1000;
constexpr Clock::Millis kMinute = 60 * kSecond;
constexpr Clock::Millis kHour = 60 * kMinute;
constexpr size_t kMostDigits = 12;    // a whole number of a time
constexpr size_t kMostDecimals = 6;   // after its point

const Word<Clock::Millis> kTimeUnits[] = {
    {"ms", 1}, {"s", kSecond}, {"m", kMinute}, {"min", kMinute, false}, {"h", kHour},
};

}  // namespace

bool ParseDuration(std::string_view text, Clock::Millis* millis, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string shown = loader::Quoted(std::string(text));
    size_t i = 0;
    Clock::Millis whole = 0;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (++digits > kMostDigits) return fail(shown + " is too long a time");
        whole = whole * 10 + static_cast<Clock::Millis>(text[i] - '0');
        ++i;
    }
    Clock::Millis fraction = 0;
    Clock::Millis scale = 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        size_t fractionDigits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (++fractionDigits > kMostDecimals) return fail(shown + " has too many decimals");
            fraction = fraction * 10 + static_cast<Clock::Millis>(text[i] - '0');
            scale *= 10;
            ++i;
        }
        if (fractionDigits == 0) return fail(shown + " is not a time (write 1.5s, 12s, 1500ms, 2m)");
    }
    if (digits == 0) return fail(shown + " is not a time (write 12s, 1500ms, 2m or 1.5s)");
    const std::string_view unit = text.substr(i);
    if (unit.empty()) return fail(shown + " needs a unit: ms, s, m or h (e.g. 12s)");
    const Word<Clock::Millis>* found = FindWord(kTimeUnits, unit);
    if (!found) {
        return fail(shown + " has an unknown unit " + loader::Quoted(Lower(unit)) + " (" +
                    ListWords(kTimeUnits, WordList::Plain) + ")");
    }
    const Clock::Millis unitMillis = found->value;
    if ((fraction * unitMillis) % scale != 0) return fail(shown + " is not a whole number of milliseconds");
    *millis = whole * unitMillis + fraction * unitMillis / scale;
    return true;
}

namespace loader {

std::string Token::Key() const { return Lower(text.substr(0, eq)); }

std::vector<Token> Tokenize(const std::string& line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token token;
        while (i < line.size() && !IsBlank(line[i])) {
            if (line[i] != '"') {
                if (line[i] == '=' && token.eq == std::string::npos) token.eq = token.text.size();
                token.text += line[i++];
                continue;
            }
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size() && !closed) {
                if (line[i] != '"') {
                    token.text += line[i++];
                } else if (i + 1 < line.size() && line[i + 1] == '"') {
                    token.text += '"';
                    i += 2;
                } else {
                    ++i;
                    closed = true;
                }
            }
            if (!closed) Refuse("a quoted text is not closed (a quote mark inside quotes is written \"\")");
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

void ExpectWords(const Line& line, size_t minimum, size_t maximum, const std::string& usage) {
    if (line.Words() < minimum || line.Words() > maximum) Refuse("expected: " + usage);
}

void RequireWords(const Line& line, size_t count, const std::string& usage) {
    if (line.Words() < count) Refuse("expected: " + usage);
    for (size_t i = 1; i <= count; ++i) {
        if (line.tokens[i].IsOption()) Refuse("expected: " + usage);
    }
}

std::string Options::Get(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

Options ReadOptions(const Line& line, size_t from, const std::vector<std::string>& keys,
                    const std::vector<std::string>& flags) {
    Options out;
    for (size_t i = from; i < line.tokens.size(); ++i) {
        const Token& t = line.tokens[i];
        if (t.IsOption()) {
            const std::string key = t.Key();
            bool known = false;
            for (const std::string& k : keys) known = known || k == key;
            if (!known) {
                Refuse("unknown option " + Quoted(key + "=") +
                       (keys.empty() ? std::string(" (this line takes none)")
                                     : " (options here: " + JoinWithCommas(keys) + ")"));
            }
            if (out.values.count(key)) Refuse("option " + Quoted(key + "=") + " is given twice");
            out.values[key] = t.Value();
            continue;
        }
        const std::string word = Lower(t.text);
        bool known = false;
        for (const std::string& f : flags) known = known || (!t.quoted && f == word);
        if (!known) {
            std::vector<std::string> expected = flags;
            for (const std::string& k : keys) expected.push_back(k + "=...");
            Refuse("unexpected " + Quoted(t.text) +
                   (expected.empty() ? std::string(" (nothing more belongs on this line)")
                                     : " (expected: " + JoinWithCommas(expected) + ")"));
        }
        out.flags.insert(word);
    }
    return out;
}

// ---- values ------------------------------------------------------------------------

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

Clock::Millis Duration(const std::string& text) {
    Clock::Millis millis = 0;
    std::string error;
    if (!ParseDuration(text, &millis, &error)) Refuse(error);
    return millis;
}

bool IsHex(const std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::optional<unsigned long long> Unsigned(const std::string& text, unsigned long long limit) {
    unsigned long long value = 0;
    if (!ParseNumber(text, value) || value > limit) return std::nullopt;
    return value;
}

bool IsDrivePath(const std::string& path) { return StartsWithNoCase(path, "C:\\"); }

bool IsLabel(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
    }
    return true;
}

int Button(const std::string& name) {
    const int button = UserScript::ButtonFromName(name);
    if (!button) {
        Refuse(Quoted(name) +
               " is not a message-box button (OK, Cancel, Abort, Retry, Ignore, Yes, No, \"Try Again\", Continue)");
    }
    return button;
}

// ---- the plan -----------------------------------------------------------------------

std::string Applier::Resolve(const std::string& reference) const {
    auto it = labels.find(Upper(reference));
    if (it != labels.end()) return it->second;
    if (!machine.devices().EnumKeyPath(reference)) {
        Refuse("the machine has no device " + Quoted(reference) +
               (machine.IsNt() ? " (registry.reg describes none below HKLM\\SYSTEM\\CurrentControlSet\\Enum)"
                               : " (registry.reg describes none below HKLM\\Enum)"));
    }
    return reference;
}

void AddStep(Plan& plan, const Line& line, Phase phase, Step step) {
    plan.steps.push_back({line.number, phase, std::move(step)});
}

void Once(Plan& plan, const std::string& directive) {
    if (!plan.seen.insert(directive).second) Refuse(Quoted(directive) + " is given twice");
}

void NoteDeviceReference(Plan& plan, const Line& line, const std::string& reference) {
    if (reference.find('\\') != std::string::npos) return;
    if (!IsLabel(reference)) Refuse(Quoted(reference) + " is neither a device label nor a device instance ID");
    plan.references.emplace_back(line.number, reference);
}

}  // namespace loader
}  // namespace sim
