// The line reader: physical lines first, then each format's comment and
// continuation rules. It owns only the lines it returns.
#include "sim/formats/lines.h"

namespace sim {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

struct PhysicalLine {
    std::string_view text;
    std::string_view end;
};

// The physical lines: ended by LF with the CR of CRLF dropped, or, keeping
// their ends, by CRLF, LF or a CR alone.
std::vector<PhysicalLine> PhysicalLines(std::string_view text, bool keepEnds) {
    std::vector<PhysicalLine> lines;
    while (!text.empty()) {
        const size_t end = text.find_first_of(keepEnds ? "\r\n" : "\n");
        if (end == std::string_view::npos) {
            std::string_view line = text;
            if (!keepEnds && line.back() == '\r') line.remove_suffix(1);
            lines.push_back({line, {}});
            break;
        }
        size_t endLength = 1;
        std::string_view line = text.substr(0, end);
        if (keepEnds) {
            if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') endLength = 2;
        } else if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back({line, keepEnds ? text.substr(end, endLength) : std::string_view()});
        text.remove_prefix(end + endLength);
    }
    return lines;
}

// The line without a comment that starts outside quotes; `quoteOpen` says
// whether a quote was left open.
std::string_view CutComment(std::string_view line, char comment, bool* quoteOpen) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == comment && !quoted) {
            *quoteOpen = false;
            return line.substr(0, i);
        }
    }
    *quoteOpen = quoted;
    return line;
}

bool StartsWithComment(std::string_view line, char comment) {
    for (char c : line) {
        if (!IsBlank(c)) return c == comment;
    }
    return false;
}

// Drops a trailing '\' (and the blanks after it) when it joins the next line.
bool TakeJoin(std::string_view* body) {
    size_t last = body->size();
    while (last > 0 && IsBlank((*body)[last - 1])) --last;
    if (last == 0 || (*body)[last - 1] != '\\') return false;
    body->remove_suffix(body->size() - (last - 1));
    return true;
}

}  // namespace

int TextLine::NumberAt(size_t offset) const {
    int found = number;
    for (const Piece& piece : pieces) {
        if (piece.offset > offset) break;
        found = piece.number;
    }
    return found;
}

std::vector<TextLine> ReadLines(std::string_view text, const LineRules& rules) {
    if (rules.byteOrderMark && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    const std::vector<PhysicalLine> physical = PhysicalLines(text, rules.keepLineEnds);
    std::vector<TextLine> out;
    bool joining = false;
    for (size_t i = 0; i < physical.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        std::string_view body = physical[i].text;
        bool quoteOpen = false;
        bool mayJoin = rules.backslashJoins;
        if (rules.comment != '\0') {
            if (rules.commentPlace == LineRules::CommentPlace::OutsideQuotes) {
                body = CutComment(body, rules.comment, &quoteOpen);
            } else if (!joining && StartsWithComment(body, rules.comment)) {
                mayJoin = false;
            }
        }
        const bool joins = mayJoin && !quoteOpen && TakeJoin(&body);
        if (!joining) {
            out.emplace_back();
            out.back().number = number;
        }
        TextLine& line = out.back();
        line.pieces.push_back({line.text.size(), number});
        line.text += body;
        line.end = physical[i].end;
        joining = joins;
    }
    if (joining) out.back().unfinished = true;
    return out;
}

std::string LineMessage(std::string_view file, int line, std::string_view message, LineStyle style) {
    std::string out(file);
    if (style == LineStyle::Compiler) {
        out += ":" + std::to_string(line) + ": ";
    } else {
        if (!out.empty()) out += ": ";
        out += "line " + std::to_string(line) + ": ";
    }
    out += message;
    return out;
}

}  // namespace sim
