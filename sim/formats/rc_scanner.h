// The inside of the resource-script parser (resources.h), shared by its
// files:
//
//   rc_scanner.cpp     the script as tokens: comments, strings, numbers,
//                      and the preprocessor lines (#include of the header,
//                      #define, the #ifdef family) carried out on the way
//   rc_statements.cpp  the statements: LANGUAGE, ICON, BITMAP, DIALOG(EX)
//                      with its controls, STRINGTABLE, and expressions
//   resources.cpp      the model's look-ups and the application's script
//
// Each part owns what it builds (tokens, defines, the ResourceScript) and
// hands it on by value. Any problem throws ResourceScriptError with the
// file and line it concerns; the script is then not used at all.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/formats/resources.h"

namespace sim::rc {

struct Token {
    enum class Kind { Ident, Number, String, Punct, End };
    Kind kind = Kind::End;
    std::string text;  // the name, the decoded string, or the punctuation character
    long long number = 0;
    int line = 0;
    std::string file;
};

// The #define lines read so far: name -> the tokens of its value.
using Defines = std::map<std::string, std::vector<Token>>;

// Turns the script into tokens, reading the header where the script
// includes it and keeping its #defines.
class Scanner {
public:
    Scanner(std::string_view header, std::string headerName) : header_(header), headerName_(std::move(headerName)) {}

    void Scan(std::string_view text, const std::string& file);
    // The tokens, ended by an End token.
    std::vector<Token> TakeTokens();
    const Defines& DefinesRead() const { return defines_; }

private:
    struct Condition {
        bool active;  // this branch is read
        bool parentActive;
        bool sawElse;
    };

    bool Active() const { return conditions_.empty() || conditions_.back().active; }
    // One line; `commentLine` is the line an open /* comment began on (0: none).
    void ScanLine(std::string_view text, const std::string& file, int line, int& commentLine);
    void Directive(const std::string& rawLine, const std::string& file, int line);
    void Define(const std::string& rest, const std::string& file, int line);

    std::string_view header_;
    std::string headerName_;
    std::vector<Token> tokens_;
    Defines defines_;
    std::vector<Condition> conditions_;
    int depth_ = 0;
};

// Reads one token at text[i] into `out`; returns the position after it.
size_t ReadToken(std::string_view text, size_t i, const std::string& file, int line, std::vector<Token>& out);

// The statements of a scanned script.
ResourceScript ParseStatements(std::vector<Token> tokens, const Defines& defines);

}  // namespace sim::rc
