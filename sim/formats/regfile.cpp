// REGEDIT4 text: writing a registry (or a part, or the difference of two)
// the way regedit does, and importing a text, checked whole before any of
// it is applied. The registry belongs to the caller; an import that fails
// leaves it untouched and says which line is wrong.
#include "sim/formats/regfile.h"

#include <algorithm>
#include <map>
#include <optional>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/formats/lines.h"
#include "sim/include/registry.h"

namespace sim {

const char* const kRegFileHeader = "REGEDIT4\r\n\r\n";

namespace {

constexpr const char* kEol = "\r\n";
// regedit breaks a hex line once it reaches this many characters, so that
// no line (with its trailing ",\") is longer than 80.
constexpr size_t kHexLineBreak = 77;

// ---- writing ------------------------------------------------------------------

// Quotes are escaped everywhere; line breaks only occur in names (strings
// holding them are written as hex), where they are written as \n and \r.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

// A REG_SZ regedit can write as "text" and read back to the same bytes.
bool IsPlainString(const RegValue& v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != '\0') return false;
    const std::string_view text(v.data.data(), v.data.size() - 1);
    return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

void WriteHex(std::string& out, std::string line, const std::string& data) {
    for (size_t i = 0; i < data.size(); ++i) {
        line += Hex(static_cast<unsigned char>(data[i]), 2);
        if (i + 1 == data.size()) break;
        line += ',';
        if (line.size() >= kHexLineBreak) {
            out += line + "\\" + kEol;
            line = "  ";
        }
    }
    out += line + kEol;
}

void WriteValue(std::string& out, const RegValue& v) {
    std::string line = v.name.empty() ? std::string("@=") : "\"" + Escape(v.name) + "\"=";
    if (IsPlainString(v)) {
        out += line + "\"" + Escape(v.data.substr(0, v.data.size() - 1)) + "\"" + kEol;
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        out += line + "dword:" + Hex(GetLe(v.data, 0, 4), 8) + kEol;
    } else {
        line += v.type == REG_BINARY ? std::string("hex:") : "hex(" + Hex(v.type, 1) + "):";
        WriteHex(out, line, v.data);
    }
}

std::string JoinKey(const std::string& parent, const std::string& name) { return parent + "\\" + name; }

void WriteKeyTree(std::string& out, const std::string& path, const RegistryKeySnapshot& key) {
    out += "[" + path + "]" + kEol;
    for (const RegValue& v : key.values) WriteValue(out, v);
    out += kEol;
    for (const RegistryKeySnapshot& sub : key.subKeys) WriteKeyTree(out, JoinKey(path, sub.name), sub);
}

void WriteDeletedKey(std::string& out, const std::string& path) { out += "[-" + path + "]" + kEol + kEol; }

const RegistryKeySnapshot* FindRoot(const RegistrySnapshot& snapshot, const std::string& name) {
    for (const RegistryKeySnapshot& root : snapshot.roots) {
        if (EqualNoCase(root.name, name)) return &root;
    }
    return nullptr;
}

// Sub-keys in enumeration order, whatever order the snapshot holds them in.
std::vector<const RegistryKeySnapshot*> Sorted(const std::vector<RegistryKeySnapshot>& keys) {
    std::vector<const RegistryKeySnapshot*> out;
    for (const RegistryKeySnapshot& k : keys) out.push_back(&k);
    std::stable_sort(out.begin(), out.end(), [](const RegistryKeySnapshot* a, const RegistryKeySnapshot* b) {
        return LessNoCase(a->name, b->name);
    });
    return out;
}

// The lines that turn the values `before` into `after`, in order. Importing
// keeps the place of a value that is set again and appends new ones, so the
// longest prefix of `after` that `before` holds in the same order stays;
// every other value of `before` is removed, and the rest of `after` is
// written after the removals.
std::string DiffValues(const std::vector<RegValue>& before, const std::vector<RegValue>& after) {
    size_t kept = 0;
    size_t from = 0;
    std::vector<const RegValue*> matched;
    for (; kept < after.size(); ++kept) {
        size_t k = from;
        while (k < before.size() && before[k].name != after[kept].name) ++k;
        if (k == before.size()) break;
        matched.push_back(&before[k]);
        from = k + 1;
    }
    std::string out;
    for (const RegValue& b : before) {
        const bool stays = std::any_of(matched.begin(), matched.end(), [&](const RegValue* m) { return m == &b; });
        if (!stays) out += (b.name.empty() ? std::string("@") : "\"" + Escape(b.name) + "\"") + "=-" + kEol;
    }
    for (size_t i = 0; i < after.size(); ++i) {
        if (i < kept && matched[i]->type == after[i].type && matched[i]->data == after[i].data) continue;
        WriteValue(out, after[i]);
    }
    return out;
}

void DiffKey(std::string& out, const std::string& path, const RegistryKeySnapshot& before,
             const RegistryKeySnapshot& after) {
    const std::string values = DiffValues(before.values, after.values);
    if (!values.empty()) out += "[" + path + "]" + kEol + values + kEol;
    const auto b = Sorted(before.subKeys);
    const auto a = Sorted(after.subKeys);
    size_t i = 0;
    size_t j = 0;
    while (i < b.size() || j < a.size()) {
        if (j == a.size() || (i < b.size() && LessNoCase(b[i]->name, a[j]->name))) {
            WriteDeletedKey(out, JoinKey(path, b[i]->name));
            ++i;
        } else if (i == b.size() || LessNoCase(a[j]->name, b[i]->name)) {
            WriteKeyTree(out, JoinKey(path, a[j]->name), *a[j]);
            ++j;
        } else if (b[i]->name != a[j]->name) {
            // Renamed in case only: the key keeps its first spelling unless
            // it is made anew.
            WriteDeletedKey(out, JoinKey(path, b[i]->name));
            WriteKeyTree(out, JoinKey(path, a[j]->name), *a[j]);
            ++i;
            ++j;
        } else {
            DiffKey(out, JoinKey(path, a[j]->name), *b[i], *a[j]);
            ++i;
            ++j;
        }
    }
}

// ---- reading ------------------------------------------------------------------

// regedit's lines: ';' comment lines, '\' continuing hex data, an optional
// byte-order mark.
const LineRules kRegLineRules = [] {
    LineRules rules;
    rules.byteOrderMark = true;
    rules.backslashJoins = true;
    rules.comment = ';';
    rules.commentPlace = LineRules::CommentPlace::LineStart;
    return rules;
}();

struct Operation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    std::string key;
    std::string name;
    DWORD type = 0;
    std::string data;
};

// Reads the text into operations; the first problem stops it.
class Parser {
public:
    Parser(const std::string& text, std::string fileName)
        : lines_(ReadLines(text, kRegLineRules)), fileName_(std::move(fileName)) {}

    bool Parse(std::vector<Operation>& ops) {
        if (lines_.empty() || lines_[0].Joined() || Trim(lines_[0].text) != "REGEDIT4")
            return Fail(1, "the first line must be REGEDIT4");
        std::optional<std::string> key;
        for (size_t i = 1; i < lines_.size(); ++i) {
            const TextLine& line = lines_[i];
            const std::string text = Trim(line.text);
            if (text.empty() || text[0] == ';') continue;
            if (text[0] == '[') {
                if (line.Joined()) return Fail(line.number, kOnlyHexContinues);
                if (text.back() != ']') return Fail(line.number, "a key line must end with ']'");
                std::string path = text.substr(1, text.size() - 2);
                const bool remove = !path.empty() && path[0] == '-';
                if (remove) path.erase(0, 1);
                std::string root;
                std::vector<std::string> names;
                if (!Registry::SplitKeyPath(path, &root, &names)) {
                    return Fail(line.number, "bad key path '" + path + "' (unknown root or empty key name)");
                }
                if (remove && names.empty()) return Fail(line.number, "a root key cannot be removed");
                const std::string canonical = names.empty() ? root : JoinKey(root, JoinPath(names, names.size()));
                ops.push_back({remove ? Operation::Kind::DeleteKey : Operation::Kind::CreateKey, canonical, "", 0, ""});
                key = remove ? std::nullopt : std::optional<std::string>(canonical);
                continue;
            }
            if (text[0] == '@' || text[0] == '"') {
                if (!key) return Fail(line.number, "a value line must follow the line of a key");
                Operation op;
                op.key = *key;
                if (!ParseValue(line, op)) return false;
                ops.push_back(std::move(op));
                continue;
            }
            return Fail(line.number, "not a key, a value or a comment");
        }
        return true;
    }

    const std::string& Error() const { return error_; }

private:
    // A '\' at the end of a line continues hex data only; regedit writes
    // nothing else over several lines.
    static constexpr const char* kOnlyHexContinues = "only hex data goes on after a '\\' at the end of a line";

    bool Fail(int lineNo, const std::string& message) {
        error_ = LineMessage(fileName_, lineNo, message);
        return false;
    }

    // Reads a quoted string starting at text[pos] == '"'; pos ends after
    // the closing quote.
    bool ParseQuoted(const std::string& text, int lineNo, size_t& pos, std::string& out) {
        out.clear();
        for (++pos; pos < text.size(); ++pos) {
            const char c = text[pos];
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++pos == text.size()) break;
            switch (text[pos]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return Fail(lineNo, std::string("unknown escape '\\") + text[pos] + "' in a quoted string");
            }
        }
        return Fail(lineNo, "a quoted string has no closing quote");
    }

    static void SkipSpaces(const std::string& text, size_t& pos) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    }

    static bool ParseHexNumber(std::string_view digits, size_t maxDigits, DWORD& value) {
        if (digits.empty() || digits.size() > maxDigits) return false;
        value = 0;
        for (char c : digits) {
            int d;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            } else {
                return false;
            }
            value = (value << 4) | static_cast<DWORD>(d);
        }
        return true;
    }

    bool ParseValue(const TextLine& textLine, Operation& op) {
        const int lineNo = textLine.number;
        // The offsets stay those of the joined text, for the hex data.
        const std::string& line = textLine.text;
        size_t pos = line.find_first_not_of(" \t\f\v");
        if (line[pos] == '@') {
            ++pos;
        } else if (!ParseQuoted(line, lineNo, pos, op.name)) {
            return false;
        }
        SkipSpaces(line, pos);
        if (pos == line.size() || line[pos] != '=') return Fail(lineNo, "expected '=' after the value name");
        ++pos;
        SkipSpaces(line, pos);
        const std::string rest = Trim(line.substr(pos));

        if (StartsWithNoCase(rest, "hex")) return ParseHexValue(textLine, pos + 3, op);
        if (textLine.Joined()) return Fail(lineNo, kOnlyHexContinues);
        if (rest == "-") {
            op.kind = Operation::Kind::DeleteValue;
            return true;
        }
        op.kind = Operation::Kind::SetValue;
        if (!rest.empty() && rest[0] == '"') {
            size_t p = pos;
            if (!ParseQuoted(line, lineNo, p, op.data)) return false;
            SkipSpaces(line, p);
            if (Trim(line.substr(p)) != "") return Fail(lineNo, "unexpected text after the closing quote");
            op.type = REG_SZ;
            op.data.push_back('\0');
            return true;
        }
        if (StartsWithNoCase(rest, "dword:")) {
            DWORD value = 0;
            if (!ParseHexNumber(Trim(rest.substr(6)), 8, value)) {
                return Fail(lineNo, "dword: needs one to eight hex digits");
            }
            op.type = REG_DWORD;
            op.data = Le32(value);
            return true;
        }
        return Fail(lineNo, "unknown kind of value data '" + rest + "'");
    }

    // After "hex" (at `from`): either ":" or "(N):", then comma-separated
    // bytes, which may go on over the next lines after a trailing '\'.
    // Each physical line is read on its own, so that a bad byte is named
    // with the line it stands on.
    bool ParseHexValue(const TextLine& line, size_t from, Operation& op) {
        const std::string& text = line.text;
        const int lineNo = line.number;
        size_t pos = from;
        op.kind = Operation::Kind::SetValue;
        op.type = REG_BINARY;
        if (pos < text.size() && text[pos] == '(') {
            const size_t close = text.find(')', pos);
            DWORD type = 0;
            if (close == std::string::npos ||
                !ParseHexNumber(std::string_view(text).substr(pos + 1, close - pos - 1), 8, type)) {
                return Fail(lineNo, "hex( needs a type in hex digits and ')'");
            }
            op.type = type;
            pos = close + 1;
        }
        if (pos >= text.size() || text[pos] != ':') return Fail(lineNo, "expected ':' after hex");
        ++pos;

        for (size_t i = 0; i < line.pieces.size(); ++i) {
            const size_t end = i + 1 < line.pieces.size() ? line.pieces[i + 1].offset : text.size();
            const size_t begin = std::max(pos, line.pieces[i].offset);
            if (begin > end) continue;
            if (!ParseHexBytes(std::string_view(text).substr(begin, end - begin), line.pieces[i].number, op.data))
                return false;
        }
        if (line.unfinished) {
            return Fail(line.pieces.back().number, "the hex data goes on past the end of the text");
        }
        return true;
    }

    // The bytes of one physical line; a comma may end it.
    bool ParseHexBytes(std::string_view piece, int lineNo, std::string& data) {
        const std::string segment = Trim(piece);
        size_t start = 0;
        while (start < segment.size()) {
            size_t comma = segment.find(',', start);
            const bool last = comma == std::string::npos;
            if (last) comma = segment.size();
            const std::string token = Trim(std::string_view(segment).substr(start, comma - start));
            DWORD byte = 0;
            if (!ParseHexNumber(token, 2, byte)) {
                if (!(token.empty() && last)) return Fail(lineNo, "'" + token + "' is not a hex byte");
            } else {
                data.push_back(static_cast<char>(byte));
            }
            start = comma + 1;
        }
        return true;
    }

    std::vector<TextLine> lines_;
    std::string fileName_;
    std::string error_;
};

}  // namespace

RegImportResult ImportRegText(Registry& registry, const std::string& text, const std::string& fileName) {
    RegImportResult result;
    Parser parser(text, fileName);
    std::vector<Operation> ops;
    if (!parser.Parse(ops)) {
        result.ok = false;
        result.error = parser.Error();
        return result;
    }
    for (const Operation& op : ops) {
        switch (op.kind) {
        case Operation::Kind::CreateKey: registry.CreateKey(op.key); break;
        case Operation::Kind::DeleteKey: registry.DeleteKeyTree(op.key); break;
        case Operation::Kind::SetValue: registry.SetValue(op.key, op.name, op.type, op.data); break;
        case Operation::Kind::DeleteValue: registry.DeleteValue(op.key, op.name); break;
        }
    }
    return result;
}

std::string ExportRegText(const RegistrySnapshot& snapshot, const std::string& underKey) {
    std::string out = kRegFileHeader;
    if (underKey.empty()) {
        for (const RegistryKeySnapshot& root : snapshot.roots) {
            if (root.values.empty() && root.subKeys.empty()) continue;
            WriteKeyTree(out, root.name, root);
        }
        return out;
    }
    std::string rootName;
    std::vector<std::string> names;
    if (!Registry::SplitKeyPath(underKey, &rootName, &names)) return out;
    const RegistryKeySnapshot* key = FindRoot(snapshot, rootName);
    if (!key) return out;
    std::string path = key->name;
    for (const std::string& name : names) {
        const RegistryKeySnapshot* next = nullptr;
        for (const RegistryKeySnapshot& sub : key->subKeys) {
            if (EqualNoCase(sub.name, name)) {
                next = &sub;
                break;
            }
        }
        if (!next) return out;
        key = next;
        path = JoinKey(path, key->name);
    }
    WriteKeyTree(out, path, *key);
    return out;
}

std::string ExportRegText(const Registry& registry, const std::string& underKey) {
    return ExportRegText(registry.Snapshot(), underKey);
}

std::string DiffRegText(const RegistrySnapshot& before, const RegistrySnapshot& after) {
    std::string out = kRegFileHeader;
    const RegistryKeySnapshot empty;
    for (const std::string& rootName : Registry::RootNames()) {
        const RegistryKeySnapshot* b = FindRoot(before, rootName);
        const RegistryKeySnapshot* a = FindRoot(after, rootName);
        if (!a && !b) continue;
        DiffKey(out, rootName, b ? *b : empty, a ? *a : empty);
    }
    return out;
}

}  // namespace sim
