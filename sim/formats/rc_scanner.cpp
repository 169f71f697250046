// The resource script as tokens, line by line: blanks and comments are
// passed over, strings and numbers decoded, and the preprocessor lines
// carried out (#include of the header, #define and #undef, the #ifdef
// family, #pragma). A problem throws ResourceScriptError with its file
// and line.
#include <algorithm>
#include <cctype>

#include "sim/base/text.h"
#include "sim/formats/lines.h"
#include "sim/formats/rc_scanner.h"

namespace sim::rc {

namespace {

// Files including each other deeper than this are taken for a loop.
constexpr int kMostIncludeDepth = 8;

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string StripComments(const std::string& text) {
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

// The number of the line after the last line end: where the text ends.
int EndLine(std::string_view text) { return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

std::string DecodeString(std::string_view text, size_t* i, const std::string& file, int line) {
    std::string value;
    size_t j = *i + 1;
    while (true) {
        if (j >= text.size()) throw ResourceScriptError(file, line, "string without its end");
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
    *i = j;
    return value;
}

}  // namespace

size_t ReadToken(std::string_view text, size_t i, const std::string& file, int line, std::vector<Token>& out) {
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
        token.kind = Token::Kind::String;
        token.text = DecodeString(text, &i, file, line);
        out.push_back(token);
        return i;
    }
    token.kind = Token::Kind::Punct;
    token.text = std::string(1, c);
    out.push_back(token);
    return i + 1;
}

void Scanner::Scan(std::string_view text, const std::string& file) {
    if (++depth_ > kMostIncludeDepth) throw ResourceScriptError(file, 1, "files include each other too deeply");
    const size_t conditionsAtStart = conditions_.size();
    int commentLine = 0;
    for (const TextLine& line : ReadLines(text)) ScanLine(line.text, file, line.number, commentLine);
    if (commentLine) throw ResourceScriptError(file, commentLine, "comment without its end");
    if (conditions_.size() != conditionsAtStart) throw ResourceScriptError(file, EndLine(text), "#if without #endif");
    --depth_;
}

void Scanner::ScanLine(std::string_view text, const std::string& file, int line, int& commentLine) {
    size_t i = 0;
    bool lineStart = true;  // nothing but blanks and comments so far
    while (i < text.size()) {
        if (commentLine) {
            const size_t end = text.find("*/", i);
            if (end == std::string_view::npos) return;
            commentLine = 0;
            i = end + 2;
            continue;
        }
        const char c = text[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') return;
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            commentLine = line;
            i += 2;
            continue;
        }
        if (c == '#' && lineStart) {
            Directive(std::string(text.substr(i + 1)), file, line);
            return;
        }
        lineStart = false;
        if (!Active()) return;
        i = ReadToken(text, i, file, line, tokens_);
    }
}

std::vector<Token> Scanner::TakeTokens() {
    Token end;
    end.kind = Token::Kind::End;
    end.line = tokens_.empty() ? 1 : tokens_.back().line;
    end.file = tokens_.empty() ? "" : tokens_.back().file;
    tokens_.push_back(end);
    return std::move(tokens_);
}

void Scanner::Directive(const std::string& rawLine, const std::string& file, int line) {
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
        if (!EqualNoCase(path, headerName_)) throw ResourceScriptError(file, line, "cannot open include file " + rest);
        Scan(header_, headerName_);
        return;
    }
    if (name == "define") {
        Define(rest, file, line);
        return;
    }
    if (name == "undef") {
        defines_.erase(rest);
        return;
    }
    throw ResourceScriptError(file, line, "unsupported preprocessor line #" + name);
}

void Scanner::Define(const std::string& rest, const std::string& file, int line) {
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
}

}  // namespace sim::rc
