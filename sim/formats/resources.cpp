#include "sim/formats/resources.h"

#include <cctype>
#include <functional>
#include <set>

#include "sim/include/windows.h"
#include "sim/base/text.h"

namespace sim {

ResourceScriptError::ResourceScriptError(std::string file, int line, const std::string& message)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + message), file_(std::move(file)), line_(line) {}

const DialogTemplate* ResourceScript::FindDialog(int id) const {
    auto it = dialogs.find(id);
    return it == dialogs.end() ? nullptr : &it->second;
}

const std::string* ResourceScript::FindString(UINT id) const {
    auto it = strings.find(id);
    return it == strings.end() ? nullptr : &it->second;
}

bool ResourceScript::HasStringBlock(UINT id) const {
    auto it = strings.lower_bound(id & ~0xFu);
    return it != strings.end() && (it->first >> 4) == (id >> 4);
}

std::string ResourceScript::NameOf(long long value, std::string_view prefix) const {
    std::string any;
    for (const auto& [name, number] : defines) {
        if (number != value) continue;
        if (StartsWithNoCase(name, prefix)) return name;
        if (any.empty()) any = name;
    }
    return any;
}

namespace {

// The constants of the Windows headers a script may name (the script's
// `#include <windows.h>` is not read).
const std::map<std::string, long long>& WindowsConstants() {
    // clang-format off
#define TAV_RC_CONSTANT(name) {#name, static_cast<long long>(name)}
    static const std::map<std::string, long long> constants = {
        TAV_RC_CONSTANT(WS_OVERLAPPED), TAV_RC_CONSTANT(WS_POPUP), TAV_RC_CONSTANT(WS_CHILD),
        TAV_RC_CONSTANT(WS_MINIMIZE), TAV_RC_CONSTANT(WS_VISIBLE), TAV_RC_CONSTANT(WS_DISABLED),
        TAV_RC_CONSTANT(WS_CLIPSIBLINGS), TAV_RC_CONSTANT(WS_CLIPCHILDREN), TAV_RC_CONSTANT(WS_MAXIMIZE),
        TAV_RC_CONSTANT(WS_CAPTION), TAV_RC_CONSTANT(WS_BORDER), TAV_RC_CONSTANT(WS_DLGFRAME),
        TAV_RC_CONSTANT(WS_VSCROLL), TAV_RC_CONSTANT(WS_HSCROLL), TAV_RC_CONSTANT(WS_SYSMENU),
        TAV_RC_CONSTANT(WS_THICKFRAME), TAV_RC_CONSTANT(WS_GROUP), TAV_RC_CONSTANT(WS_TABSTOP),
        TAV_RC_CONSTANT(WS_MINIMIZEBOX), TAV_RC_CONSTANT(WS_MAXIMIZEBOX),
        TAV_RC_CONSTANT(WS_EX_DLGMODALFRAME), TAV_RC_CONSTANT(WS_EX_NOPARENTNOTIFY), TAV_RC_CONSTANT(WS_EX_TOPMOST),
        TAV_RC_CONSTANT(WS_EX_TRANSPARENT), TAV_RC_CONSTANT(WS_EX_TOOLWINDOW), TAV_RC_CONSTANT(WS_EX_WINDOWEDGE),
        TAV_RC_CONSTANT(WS_EX_CLIENTEDGE), TAV_RC_CONSTANT(WS_EX_CONTROLPARENT), TAV_RC_CONSTANT(WS_EX_STATICEDGE),
        TAV_RC_CONSTANT(WS_EX_APPWINDOW),
        TAV_RC_CONSTANT(DS_ABSALIGN), TAV_RC_CONSTANT(DS_SYSMODAL), TAV_RC_CONSTANT(DS_3DLOOK),
        TAV_RC_CONSTANT(DS_FIXEDSYS), TAV_RC_CONSTANT(DS_NOFAILCREATE), TAV_RC_CONSTANT(DS_LOCALEDIT),
        TAV_RC_CONSTANT(DS_SETFONT), TAV_RC_CONSTANT(DS_MODALFRAME), TAV_RC_CONSTANT(DS_NOIDLEMSG),
        TAV_RC_CONSTANT(DS_SETFOREGROUND), TAV_RC_CONSTANT(DS_CONTROL), TAV_RC_CONSTANT(DS_CENTER),
        TAV_RC_CONSTANT(DS_CENTERMOUSE), TAV_RC_CONSTANT(DS_CONTEXTHELP), TAV_RC_CONSTANT(DS_SHELLFONT),
        TAV_RC_CONSTANT(BS_PUSHBUTTON), TAV_RC_CONSTANT(BS_DEFPUSHBUTTON), TAV_RC_CONSTANT(BS_CHECKBOX),
        TAV_RC_CONSTANT(BS_AUTOCHECKBOX), TAV_RC_CONSTANT(BS_GROUPBOX),
        TAV_RC_CONSTANT(SS_LEFT), TAV_RC_CONSTANT(SS_CENTER), TAV_RC_CONSTANT(SS_RIGHT), TAV_RC_CONSTANT(SS_ICON),
        TAV_RC_CONSTANT(SS_BITMAP), TAV_RC_CONSTANT(SS_NOPREFIX), TAV_RC_CONSTANT(SS_CENTERIMAGE),
        TAV_RC_CONSTANT(SS_REALSIZEIMAGE), TAV_RC_CONSTANT(SS_SUNKEN),
        TAV_RC_CONSTANT(ES_LEFT), TAV_RC_CONSTANT(ES_CENTER), TAV_RC_CONSTANT(ES_MULTILINE),
        TAV_RC_CONSTANT(ES_AUTOVSCROLL), TAV_RC_CONSTANT(ES_AUTOHSCROLL), TAV_RC_CONSTANT(ES_READONLY),
        TAV_RC_CONSTANT(IDOK), TAV_RC_CONSTANT(IDCANCEL), TAV_RC_CONSTANT(IDABORT), TAV_RC_CONSTANT(IDRETRY),
        TAV_RC_CONSTANT(IDIGNORE), TAV_RC_CONSTANT(IDYES), TAV_RC_CONSTANT(IDNO),
        {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 9}, {"SUBLANG_NEUTRAL", 0}, {"SUBLANG_DEFAULT", 1},
        {"SUBLANG_ENGLISH_US", 1},
    };
#undef TAV_RC_CONSTANT
    // clang-format on
    return constants;
}

struct Token {
    enum class Kind { Ident, Number, String, Punct, End };
    Kind kind = Kind::End;
    std::string text;  // the name, the decoded string, or the punctuation character
    long long number = 0;
    int line = 0;
    std::string file;
};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Splits the files into tokens, carrying out the preprocessor lines: it
// reads the header where the script includes it and keeps its #defines.
class Scanner {
public:
    Scanner(std::string_view header, std::string headerName) : header_(header), headerName_(std::move(headerName)) {}

    void Scan(std::string_view text, const std::string& file) {
        if (++depth_ > 8) throw ResourceScriptError(file, 1, "files include each other too deeply");
        size_t i = 0;
        int line = 1;
        bool lineStart = true;
        const size_t conditionsAtStart = conditions_.size();
        while (i < text.size()) {
            const char c = text[i];
            if (c == '\n') {
                ++line;
                ++i;
                lineStart = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
                while (i < text.size() && text[i] != '\n') ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                const int startLine = line;
                i += 2;
                while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
                    if (text[i] == '\n') ++line;
                    ++i;
                }
                if (i + 1 >= text.size()) throw ResourceScriptError(file, startLine, "comment without its end");
                i += 2;
                continue;
            }
            if (c == '#' && lineStart) {
                size_t end = i;
                while (end < text.size() && text[end] != '\n') ++end;
                Directive(std::string(text.substr(i + 1, end - i - 1)), file, line);
                i = end;
                continue;
            }
            lineStart = false;
            if (!Active()) {
                while (i < text.size() && text[i] != '\n') ++i;
                continue;
            }
            i = ReadToken(text, i, file, line, tokens_);
        }
        if (conditions_.size() != conditionsAtStart) throw ResourceScriptError(file, line, "#if without #endif");
        --depth_;
    }

    std::vector<Token> TakeTokens() {
        Token end;
        end.kind = Token::Kind::End;
        end.line = tokens_.empty() ? 1 : tokens_.back().line;
        end.file = tokens_.empty() ? "" : tokens_.back().file;
        tokens_.push_back(end);
        return std::move(tokens_);
    }

    const std::map<std::string, std::vector<Token>>& Defines() const { return defines_; }

    // Reads one token at `i` into `out`; returns the position after it.
    static size_t ReadToken(std::string_view text, size_t i, const std::string& file, int line,
                            std::vector<Token>& out) {
        Token token;
        token.line = line;
        token.file = file;
        const char c = text[i];
        if (IsIdentStart(c)) {
            size_t end = i;
            while (end < text.size() && IsIdentChar(text[end])) ++end;
            token.kind = Token::Kind::Ident;
            token.text = std::string(text.substr(i, end - i));
            out.push_back(token);
            return end;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < text.size() && IsIdentChar(text[end])) ++end;
            std::string digits(text.substr(i, end - i));
            while (!digits.empty() &&
                   (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' || digits.back() == 'u')) {
                digits.pop_back();
            }
            unsigned long long value = 0;
            if (!ParseNumber(digits, value)) {
                throw ResourceScriptError(file, line, "not a number: " + std::string(text.substr(i, end - i)));
            }
            token.kind = Token::Kind::Number;
            token.number = static_cast<long long>(value);
            token.text = std::string(text.substr(i, end - i));
            out.push_back(token);
            return end;
        }
        if (c == '"') {
            std::string value;
            size_t j = i + 1;
            while (true) {
                if (j >= text.size() || text[j] == '\n')
                    throw ResourceScriptError(file, line, "string without its end");
                const char d = text[j];
                if (d == '"') {
                    if (j + 1 < text.size() && text[j + 1] == '"') {
                        value += '"';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                if (d == '\\' && j + 1 < text.size()) {
                    const char e = text[j + 1];
                    switch (e) {
                        case 'n': value += '\n'; break;
                        case 't': value += '\t'; break;
                        case 'r': value += '\r'; break;
                        case 'a': value += '\a'; break;
                        case '\\': value += '\\'; break;
                        case '"': value += '"'; break;
                        default:
                            value += '\\';
                            value += e;
                            break;
                    }
                    j += 2;
                    continue;
                }
                value += d;
                ++j;
            }
            token.kind = Token::Kind::String;
            token.text = value;
            out.push_back(token);
            return j;
        }
        token.kind = Token::Kind::Punct;
        token.text = std::string(1, c);
        out.push_back(token);
        return i + 1;
    }

private:
    struct Condition {
        bool active;  // this branch is read
        bool parentActive;
        bool sawElse;
    };

    bool Active() const { return conditions_.empty() || conditions_.back().active; }

    static std::string StripComments(const std::string& text) {
        std::string out;
        bool inString = false;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"') inString = !inString;
            if (!inString && c == '/' && i + 1 < text.size() && text[i + 1] == '/') break;
            if (!inString && c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                const size_t end = text.find("*/", i + 2);
                if (end == std::string::npos) break;
                out += ' ';
                i = end + 1;
                continue;
            }
            out += c;
        }
        return out;
    }

    void Directive(const std::string& rawLine, const std::string& file, int line) {
        const std::string body = Trim(StripComments(rawLine));
        size_t nameEnd = 0;
        while (nameEnd < body.size() && IsIdentChar(body[nameEnd])) ++nameEnd;
        const std::string name = body.substr(0, nameEnd);
        const std::string rest = Trim(body.substr(nameEnd));

        if (name == "ifdef" || name == "ifndef") {
            const bool defined = defines_.count(rest) != 0;
            const bool parent = Active();
            conditions_.push_back({parent && (name == "ifdef" ? defined : !defined), parent, false});
            return;
        }
        if (name == "if" && !Active()) {
            // Not evaluated inside a branch that is skipped anyway.
            conditions_.push_back({false, false, false});
            return;
        }
        if (name == "else") {
            if (conditions_.empty() || conditions_.back().sawElse)
                throw ResourceScriptError(file, line, "#else out of place");
            Condition& top = conditions_.back();
            top.active = top.parentActive && !top.active;
            top.sawElse = true;
            return;
        }
        if (name == "endif") {
            if (conditions_.empty()) throw ResourceScriptError(file, line, "#endif without #if");
            conditions_.pop_back();
            return;
        }
        if (!Active()) return;
        if (name == "pragma") return;
        if (name == "include") {
            if (!rest.empty() && rest.front() == '<') return;  // a system header: its names are built in
            if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') {
                throw ResourceScriptError(file, line, "#include needs a file name in quotes");
            }
            std::string path = rest.substr(1, rest.size() - 2);
            const size_t slash = path.find_last_of("\\/");
            if (slash != std::string::npos) path.erase(0, slash + 1);
            if (!EqualNoCase(path, headerName_))
                throw ResourceScriptError(file, line, "cannot open include file " + rest);
            Scan(header_, headerName_);
            return;
        }
        if (name == "define") {
            size_t end = 0;
            while (end < rest.size() && IsIdentChar(rest[end])) ++end;
            const std::string macro = rest.substr(0, end);
            if (macro.empty() || !IsIdentStart(macro[0])) throw ResourceScriptError(file, line, "#define needs a name");
            if (end < rest.size() && rest[end] == '(') {
                throw ResourceScriptError(file, line, "macros with arguments are not supported: " + macro);
            }
            std::vector<Token> value;
            const std::string text = rest.substr(end);
            size_t i = 0;
            while (i < text.size()) {
                if (std::isspace(static_cast<unsigned char>(text[i]))) {
                    ++i;
                    continue;
                }
                i = ReadToken(text, i, file, line, value);
            }
            defines_[macro] = value;
            return;
        }
        if (name == "undef") {
            defines_.erase(rest);
            return;
        }
        throw ResourceScriptError(file, line, "unsupported preprocessor line #" + name);
    }

    std::string_view header_;
    std::string headerName_;
    std::vector<Token> tokens_;
    std::map<std::string, std::vector<Token>> defines_;
    std::vector<Condition> conditions_;
    int depth_ = 0;
};

// The styles of a style expression: those OR-ed in, and those NOT removes.
struct StyleBits {
    DWORD set = 0;
    DWORD removed = 0;
};

DWORD Apply(DWORD defaults, const StyleBits& bits) { return (defaults | bits.set) & ~bits.removed; }

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::map<std::string, std::vector<Token>>& defines)
        : tokens_(std::move(tokens)), defines_(defines) {}

    ResourceScript Parse() {
        for (const auto& [name, value] : defines_) {
            if (value.empty()) continue;
            try {
                script_.defines[name] = EvaluateDefine(name, 0);
            } catch (const ResourceScriptError&) {
                // A definition that is not a number (a string, say) is only
                // an error where the script uses it as one.
            }
        }
        while (Peek().kind != Token::Kind::End) Statement();
        return std::move(script_);
    }

private:
    const Token& Peek(size_t ahead = 0) const {
        const size_t at = pos_ + ahead;
        return at < tokens_.size() ? tokens_[at] : tokens_.back();
    }
    Token Next() {
        Token t = Peek();
        if (pos_ < tokens_.size() - 1) ++pos_;
        return t;
    }
    [[noreturn]] void Fail(const Token& at, const std::string& message) const {
        throw ResourceScriptError(at.file, at.line, message);
    }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Token::Kind::Ident: return t.text;
            case Token::Kind::Number: return t.text;
            case Token::Kind::String: return "\"" + t.text + "\"";
            case Token::Kind::Punct: return "'" + t.text + "'";
            case Token::Kind::End: return "the end of the file";
        }
        return "";
    }
    bool IsWord(const Token& t, const char* word) const {
        return t.kind == Token::Kind::Ident && EqualNoCase(t.text, word);
    }
    bool IsPunct(const Token& t, char c) const { return t.kind == Token::Kind::Punct && t.text[0] == c; }
    void ExpectPunct(char c, const char* what) {
        if (!IsPunct(Peek(), c))
            Fail(Peek(), std::string("expected '") + c + "' " + what + ", found " + Describe(Peek()));
        Next();
    }
    void ExpectComma(const char* what) { ExpectPunct(',', what); }
    bool TakeComma() {
        if (!IsPunct(Peek(), ',')) return false;
        Next();
        return true;
    }
    void ExpectBegin() {
        if (IsWord(Peek(), "BEGIN") || IsPunct(Peek(), '{')) {
            Next();
            return;
        }
        Fail(Peek(), "expected BEGIN, found " + Describe(Peek()));
    }
    bool TakeEnd() {
        if (IsWord(Peek(), "END") || IsPunct(Peek(), '}')) {
            Next();
            return true;
        }
        return false;
    }
    std::string ExpectString(const char* what) {
        if (Peek().kind != Token::Kind::String)
            Fail(Peek(), std::string("expected ") + what + ", found " + Describe(Peek()));
        return Next().text;
    }

    // ---- expressions -------------------------------------------------------
    long long NameValue(const Token& name, int depth) {
        if (defines_.count(name.text)) return EvaluateDefine(name.text, depth + 1);
        auto it = WindowsConstants().find(name.text);
        if (it != WindowsConstants().end()) return it->second;
        Fail(name, "undefined name " + name.text);
    }

    long long EvaluateDefine(const std::string& name, int depth) {
        const std::vector<Token>& value = defines_.at(name);
        if (value.empty()) Fail(Peek(), "#define " + name + " has no value");
        if (depth > 16) Fail(value.front(), "#define " + name + " refers to itself");
        Parser inner(value, defines_);
        Token end;
        end.kind = Token::Kind::End;
        end.line = value.back().line;
        end.file = value.back().file;
        inner.tokens_.push_back(end);
        const long long result = inner.Or(depth);
        if (inner.Peek().kind != Token::Kind::End) Fail(inner.Peek(), "#define " + name + " is not a number");
        return result;
    }

    long long Primary(int depth) {
        const Token t = Peek();
        if (IsPunct(t, '(')) {
            Next();
            const long long v = Or(depth);
            ExpectPunct(')', "to close the expression");
            return v;
        }
        if (IsPunct(t, '-')) {
            Next();
            return -Primary(depth);
        }
        if (IsPunct(t, '+')) {
            Next();
            return Primary(depth);
        }
        if (IsPunct(t, '~') || IsWord(t, "NOT")) {
            Next();
            return ~Primary(depth);
        }
        if (t.kind == Token::Kind::Number) {
            Next();
            return t.number;
        }
        if (t.kind == Token::Kind::Ident) {
            Next();
            return NameValue(t, depth);
        }
        Fail(t, "expected a number, found " + Describe(t));
    }
    long long Additive(int depth) {
        long long v = Primary(depth);
        while (IsPunct(Peek(), '+') || IsPunct(Peek(), '-')) {
            const bool plus = IsPunct(Next(), '+');
            const long long r = Primary(depth);
            v = plus ? v + r : v - r;
        }
        return v;
    }
    long long And(int depth) {
        long long v = Additive(depth);
        while (IsPunct(Peek(), '&')) {
            Next();
            v &= Additive(depth);
        }
        return v;
    }
    long long Or(int depth) {
        long long v = And(depth);
        while (IsPunct(Peek(), '|')) {
            Next();
            v |= And(depth);
        }
        return v;
    }
    int Int() { return static_cast<int>(Or(0)); }

    // A style: terms joined by '|', where "NOT term" removes the term's bits.
    StyleBits Style() {
        StyleBits bits;
        while (true) {
            if (IsWord(Peek(), "NOT")) {
                Next();
                bits.removed |= static_cast<DWORD>(Primary(0));
            } else {
                bits.set |= static_cast<DWORD>(And(0));
            }
            if (!IsPunct(Peek(), '|')) break;
            Next();
        }
        return bits;
    }

    // A resource's name: a number, or a name the header defines.
    int ResourceId() {
        const Token t = Peek();
        if (t.kind == Token::Kind::Number || t.kind == Token::Kind::Ident) return static_cast<int>(Or(0));
        Fail(t, "expected a resource name, found " + Describe(t));
    }

    // ---- statements --------------------------------------------------------
    void SkipMemoryOptions() {
        static const char* const kOptions[] = {"DISCARDABLE", "MOVEABLE",   "FIXED",  "PURE",     "IMPURE",
                                               "PRELOAD",     "LOADONCALL", "SHARED", "NONSHARED"};
        while (Peek().kind == Token::Kind::Ident) {
            bool option = false;
            for (const char* o : kOptions) option = option || IsWord(Peek(), o);
            if (!option) return;
            Next();
        }
    }

    void Statement() {
        const Token t = Peek();
        if (IsWord(t, "LANGUAGE")) {
            Next();
            script_.language = Int();
            ExpectComma("between the language and the sublanguage");
            script_.sublanguage = Int();
            return;
        }
        if (IsWord(t, "STRINGTABLE")) {
            Next();
            StringTable();
            return;
        }
        if (t.kind != Token::Kind::Number && t.kind != Token::Kind::Ident) {
            Fail(t, "expected a resource statement, found " + Describe(t));
        }
        const int id = ResourceId();
        const Token type = Next();
        if (IsWord(type, "ICON") || IsWord(type, "BITMAP")) {
            SkipMemoryOptions();
            const std::string fileName = ExpectString("the file name");
            auto& table = IsWord(type, "ICON") ? script_.icons : script_.bitmaps;
            if (!table.emplace(id, fileName).second) Fail(type, "resource " + std::to_string(id) + " defined twice");
            return;
        }
        if (IsWord(type, "DIALOGEX") || IsWord(type, "DIALOG")) {
            Dialog(id, IsWord(type, "DIALOGEX"), type);
            return;
        }
        Fail(type, "unsupported resource type " + Describe(type));
    }

    void StringTable() {
        SkipMemoryOptions();
        while (IsWord(Peek(), "LANGUAGE")) {
            Next();
            Int();
            ExpectComma("between the language and the sublanguage");
            Int();
        }
        ExpectBegin();
        while (!TakeEnd()) {
            if (Peek().kind == Token::Kind::End) Fail(Peek(), "STRINGTABLE without END");
            const Token at = Peek();
            const long long id = Or(0);
            if (id < 0 || id > 0xFFFF) Fail(at, "string id out of range: " + std::to_string(id));
            TakeComma();
            const std::string text = ExpectString("the string");
            if (!script_.strings.emplace(static_cast<UINT>(id), text).second) {
                Fail(at, "string " + std::to_string(id) + " defined twice");
            }
        }
    }

    void Dialog(int id, bool extended, const Token& at) {
        DialogTemplate dialog;
        dialog.id = id;
        dialog.extended = extended;
        SkipMemoryOptions();
        dialog.rect.x = Int();
        ExpectComma("after the dialog's x");
        dialog.rect.y = Int();
        ExpectComma("after the dialog's y");
        dialog.rect.cx = Int();
        ExpectComma("after the dialog's width");
        dialog.rect.cy = Int();
        if (extended && TakeComma()) Int();  // the help id

        bool gotStyle = false;
        StyleBits style;
        StyleBits exStyle;
        bool gotCaption = false;
        while (true) {
            const Token t = Peek();
            if (IsWord(t, "STYLE")) {
                Next();
                const StyleBits more = Style();
                style.set |= more.set;
                style.removed |= more.removed;
                gotStyle = true;
            } else if (IsWord(t, "EXSTYLE")) {
                Next();
                const StyleBits more = Style();
                exStyle.set |= more.set;
                exStyle.removed |= more.removed;
            } else if (IsWord(t, "CAPTION")) {
                Next();
                dialog.caption = ExpectString("the caption");
                gotCaption = true;
            } else if (IsWord(t, "FONT")) {
                Next();
                DialogFont font;
                font.pointSize = Int();
                ExpectComma("after the font size");
                font.face = ExpectString("the font name");
                // DIALOGEX fonts may add weight, italic and character set.
                while (extended && TakeComma()) Int();
                dialog.font = font;
            } else if (IsWord(t, "LANGUAGE")) {
                Next();
                Int();
                ExpectComma("between the language and the sublanguage");
                Int();
            } else if (IsWord(t, "CHARACTERISTICS") || IsWord(t, "VERSION")) {
                Next();
                Int();
            } else {
                break;
            }
        }
        // The resource compiler's defaults: a pop-up with border and system
        // menu when no STYLE is given; CAPTION adds a title bar, FONT the
        // flag that tells Windows the template names a font.
        DWORD defaults = gotStyle ? 0 : static_cast<DWORD>(WS_POPUP | WS_BORDER | WS_SYSMENU);
        if (gotCaption) defaults |= WS_CAPTION;
        if (dialog.font) defaults |= DS_SETFONT;
        dialog.style = Apply(defaults, style);
        dialog.exStyle = Apply(0, exStyle);

        ExpectBegin();
        while (!TakeEnd()) {
            if (Peek().kind == Token::Kind::End) Fail(Peek(), "dialog without END");
            dialog.controls.push_back(Control());
        }
        if (!script_.dialogs.emplace(id, std::move(dialog)).second) {
            Fail(at, "dialog " + std::to_string(id) + " defined twice");
        }
    }

    DialogUnitsRect Rect() {
        DialogUnitsRect r;
        r.x = Int();
        ExpectComma("after the control's x");
        r.y = Int();
        ExpectComma("after the control's y");
        r.cx = Int();
        ExpectComma("after the control's width");
        r.cy = Int();
        return r;
    }

    // The optional ", style [, extended style]" that ends most control lines.
    void TrailingStyles(StyleBits& style, StyleBits& exStyle) {
        if (!TakeComma()) return;
        style = Style();
        if (!TakeComma()) return;
        exStyle = Style();
    }

    // Text or a numbered image, as ICON and CONTROL take them.
    void TextOrImage(DialogControl& control) {
        if (Peek().kind == Token::Kind::String) {
            control.text = Next().text;
        } else {
            control.imageId = static_cast<int>(Or(0));
        }
    }

    DialogControl Control() {
        const Token statement = Next();
        if (statement.kind != Token::Kind::Ident) Fail(statement, "expected a control, found " + Describe(statement));
        DialogControl control;
        control.statement = Upper(statement.text);
        const std::string& s = control.statement;
        StyleBits style;
        StyleBits exStyle;
        DWORD defaults = WS_CHILD | WS_VISIBLE;

        struct Labelled {
            const char* name;
            const char* className;
            DWORD defaults;
        };
        static const Labelled kLabelled[] = {
            {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP},
            {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP},
            {"LTEXT", "Static", SS_LEFT | WS_GROUP},
            {"CTEXT", "Static", SS_CENTER | WS_GROUP},
            {"RTEXT", "Static", SS_RIGHT | WS_GROUP},
            {"GROUPBOX", "Button", BS_GROUPBOX},
            {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP},
            {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP},
        };
        for (const Labelled& kind : kLabelled) {
            if (s != kind.name) continue;
            control.className = kind.className;
            control.text = ExpectString("the control's text");
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect = Rect();
            TrailingStyles(style, exStyle);
            control.style = Apply(defaults | kind.defaults, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "EDITTEXT") {
            control.className = "Edit";
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect = Rect();
            TrailingStyles(style, exStyle);
            control.style = Apply(defaults | ES_LEFT | WS_BORDER | WS_TABSTOP, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "ICON") {
            control.className = "Static";
            TextOrImage(control);
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect.x = Int();
            ExpectComma("after the control's x");
            control.rect.y = Int();
            if (TakeComma()) {
                control.rect.cx = Int();
                ExpectComma("after the control's width");
                control.rect.cy = Int();
                TrailingStyles(style, exStyle);
            }
            control.style = Apply(defaults | SS_ICON, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "CONTROL") {
            TextOrImage(control);
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.className = ExpectString("the control's class");
            static const char* const kClasses[] = {"Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"};
            for (const char* known : kClasses) {
                if (EqualNoCase(control.className, known)) control.className = known;
            }
            ExpectComma("after the control's class");
            style = Style();
            ExpectComma("after the control's style");
            control.rect = Rect();
            if (TakeComma()) exStyle = Style();
            control.style = Apply(defaults, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        Fail(statement, "unsupported control statement " + statement.text);
    }

    std::vector<Token> tokens_;
    const std::map<std::string, std::vector<Token>>& defines_;
    size_t pos_ = 0;
    ResourceScript script_;
};

}  // namespace

ResourceScript ParseResourceScript(std::string_view script, std::string_view header, const std::string& scriptName,
                                   const std::string& headerName) {
    Scanner scanner(header, headerName);
    scanner.Scan(script, scriptName);
    Parser parser(scanner.TakeTokens(), scanner.Defines());
    return parser.Parse();
}

const ResourceScript& ApplicationResourceScript() {
    static const ResourceScript script = [] {
        const EmbeddedResources embedded = ApplicationResources();
        return ParseResourceScript(embedded.script, embedded.header);
    }();
    return script;
}

}  // namespace sim
