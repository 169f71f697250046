#include "sim/formats/regfile.h"

#include <algorithm>
#include <map>
#include <optional>

#include "sim/include/registry.h"
#include "sim/base/text.h"

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
        DWORD value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<DWORD>(static_cast<unsigned char>(v.data[static_cast<size_t>(i)])) << (8 * i);
        }
        out += line + "dword:" + Hex(value, 8) + kEol;
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

struct Operation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    std::string key;
    std::string name;
    DWORD type = 0;
    std::string data;
};

class Parser {
public:
    explicit Parser(const std::string& text) { SplitLines(text); }

    bool Parse(std::vector<Operation>& ops) {
        if (lines_.empty() || Trim(lines_[0]) != "REGEDIT4") return Fail(1, "the first line must be REGEDIT4");
        std::optional<std::string> key;
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const size_t lineNo = index_ + 1;
            const std::string line = Trim(lines_[index_]);
            if (line.empty() || line[0] == ';') continue;
            if (line[0] == '[') {
                if (line.back() != ']') return Fail(lineNo, "a key line must end with ']'");
                std::string path = line.substr(1, line.size() - 2);
                const bool remove = !path.empty() && path[0] == '-';
                if (remove) path.erase(0, 1);
                std::string root;
                std::vector<std::string> names;
                if (!Registry::SplitKeyPath(path, &root, &names)) {
                    return Fail(lineNo, "bad key path '" + path + "' (unknown root or empty key name)");
                }
                if (remove && names.empty()) return Fail(lineNo, "a root key cannot be removed");
                const std::string canonical = names.empty() ? root : JoinKey(root, JoinPath(names, names.size()));
                ops.push_back({remove ? Operation::Kind::DeleteKey : Operation::Kind::CreateKey, canonical, "", 0, ""});
                key = remove ? std::nullopt : std::optional<std::string>(canonical);
                continue;
            }
            if (line[0] == '@' || line[0] == '"') {
                if (!key) return Fail(lineNo, "a value line must follow the line of a key");
                Operation op;
                op.key = *key;
                if (!ParseValue(line, op)) return false;
                ops.push_back(std::move(op));
                continue;
            }
            return Fail(lineNo, "not a key, a value or a comment");
        }
        return true;
    }

    const std::string& Error() const { return error_; }

private:
    void SplitLines(const std::string& text) {
        std::string_view rest(text);
        if (rest.size() >= 3 && rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
        while (!rest.empty()) {
            const size_t nl = rest.find('\n');
            std::string_view line = rest.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.emplace_back(line);
            if (nl == std::string_view::npos) break;
            rest.remove_prefix(nl + 1);
        }
    }

    bool Fail(size_t lineNo, const std::string& message) {
        error_ = "line " + std::to_string(lineNo) + ": " + message;
        return false;
    }

    // Reads a quoted string starting at text[pos] == '"'; pos ends after
    // the closing quote.
    bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
        const size_t lineNo = index_ + 1;
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

    bool ParseValue(const std::string& line, Operation& op) {
        const size_t lineNo = index_ + 1;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, op.name)) {
            return false;
        }
        SkipSpaces(line, pos);
        if (pos == line.size() || line[pos] != '=') return Fail(lineNo, "expected '=' after the value name");
        ++pos;
        SkipSpaces(line, pos);
        const std::string rest = line.substr(pos);

        if (rest == "-") {
            op.kind = Operation::Kind::DeleteValue;
            return true;
        }
        op.kind = Operation::Kind::SetValue;
        if (!rest.empty() && rest[0] == '"') {
            size_t p = pos;
            if (!ParseQuoted(line, p, op.data)) return false;
            SkipSpaces(line, p);
            if (p != line.size()) return Fail(lineNo, "unexpected text after the closing quote");
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
            op.data.assign(4, '\0');
            for (int i = 0; i < 4; ++i) op.data[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
            return true;
        }
        if (StartsWithNoCase(rest, "hex")) return ParseHexValue(rest.substr(3), op);
        return Fail(lineNo, "unknown kind of value data '" + rest + "'");
    }

    // After "hex": either ":" or "(N):", then comma-separated bytes, which
    // may continue on the next lines after a trailing backslash.
    bool ParseHexValue(const std::string& afterHex, Operation& op) {
        size_t lineNo = index_ + 1;
        std::string text = afterHex;
        op.type = REG_BINARY;
        if (!text.empty() && text[0] == '(') {
            const size_t close = text.find(')');
            DWORD type = 0;
            if (close == std::string::npos || !ParseHexNumber(std::string_view(text).substr(1, close - 1), 8, type)) {
                return Fail(lineNo, "hex( needs a type in hex digits and ')'");
            }
            op.type = type;
            text.erase(0, close + 1);
        }
        if (text.empty() || text[0] != ':') return Fail(lineNo, "expected ':' after hex");
        text.erase(0, 1);

        while (true) {
            std::string segment = Trim(text);
            const bool continues = !segment.empty() && segment.back() == '\\';
            if (continues) segment.pop_back();
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
                    op.data.push_back(static_cast<char>(byte));
                }
                start = comma + 1;
            }
            if (!continues) return true;
            if (index_ + 1 >= lines_.size()) return Fail(lineNo, "the hex data goes on past the end of the text");
            ++index_;
            lineNo = index_ + 1;
            text = lines_[index_];
        }
    }

    std::vector<std::string> lines_;
    size_t index_ = 0;
    std::string error_;
};

}  // namespace

RegImportResult ImportRegText(Registry& registry, const std::string& text) {
    RegImportResult result;
    Parser parser(text);
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
