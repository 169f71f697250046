// The one line reader of the emulator's text formats (scenario.txt, .reg,
// INF, .rc): splits a text into numbered lines and, through LineRules,
// applies a format's rules for comments and continued lines. It also
// writes the one shape of a message about a line: "<file>: line N: ...".
//
// Lines end at LF; a CR before the LF (or at the very end) is dropped, so
// CRLF and LF texts read alike. A format that writes the text back (INI
// files) asks to keep each line's own end instead. A last line without a
// line end is a line; an empty text has none. Reading never fails: what a
// line means, and whether it is wrong, is for the format's parser to say.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct LineRules {
    // A UTF-8 byte-order mark before the first line is dropped (regedit
    // and Notepad write one).
    bool byteOrderMark = false;
    // A '\' as the last character of a line that is not blank joins the
    // next line to it; the '\' and the blanks after it are dropped. A line
    // whose comment is cut (below) is checked after the cut.
    bool backslashJoins = false;
    // The character that starts a comment, or '\0' for none.
    char comment = '\0';
    // Where a comment may start: anywhere outside double quotes (INF: the
    // comment is cut off the line), or only as the first character that is
    // not blank (.reg: the line stays as it is, but never joins the next).
    enum class CommentPlace { OutsideQuotes, LineStart };
    CommentPlace commentPlace = CommentPlace::LineStart;
    // Each line keeps its own end in TextLine::end, so that an edit can
    // give the lines it did not touch back exactly; a CR alone then ends a
    // line too, as the profile functions read it. Not with backslashJoins.
    bool keepLineEnds = false;
};

// One line as a format reads it: a physical line, or several joined.
struct TextLine {
    int number = 0;    // of its first physical line, from 1
    std::string text;  // without its line end (and without the joining '\'s)
    // With keepLineEnds: "\r\n", "\n", "\r", or "" for a last line without one.
    std::string end;
    // Where each joined physical line starts in `text`, and its number.
    struct Piece {
        size_t offset = 0;
        int number = 0;
    };
    std::vector<Piece> pieces;  // one for a line that was not joined
    // The last physical line asked to join the next, but the text ended.
    bool unfinished = false;

    bool Joined() const { return pieces.size() > 1 || unfinished; }
    // The number of the physical line that holds text[offset].
    int NumberAt(size_t offset) const;
};

std::vector<TextLine> ReadLines(std::string_view text, const LineRules& rules = {});

// How a message about a line is written.
enum class LineStyle {
    Words,     // "scenario.txt: line 5: message" ("line 5: message" without a file)
    Compiler,  // "tavsetup.rc:5: message", as resource compilers write it
};
std::string LineMessage(std::string_view file, int line, std::string_view message,
                        LineStyle style = LineStyle::Words);

}  // namespace sim
